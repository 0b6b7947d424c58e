#include "cli/command_line.h"

namespace r38 {

RunSettings parse_command_line(int argc, const char* const* argv) {
  RunSettings settings;
  if (argc < 2) {
    settings.help = true;
    return settings;
  }
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' && arg[0] != '/') {
      // Any other argument, an empty one included, names the input; the last one wins.
      settings.input_index = i;
      continue;
    }
    // Only the letter after the prefix counts; a phase option also reads the character after
    // it. Unknown letters, a bare prefix and anything longer are accepted without a word.
    switch (arg[1]) {
      case '?':
      case 'H':
      case 'h':
        settings.help = true;
        return settings;
      case 'D':
      case 'd':
        settings.dump = true;
        break;
      case 'V':
      case 'v':
        settings.verbose = true;
        break;
      case 'P':
      case 'p':
        if (arg[2] == 'N' || arg[2] == 'n') settings.phase = PHASE_NORMAL;
        if (arg[2] == 'R' || arg[2] == 'r') settings.phase = PHASE_REVERSE;
        break;
      default:  // "T" (the tolerance, kept for compatibility: the sample point is fixed) and all
                // else
        break;
    }
  }
  return settings;
}

void show_usage(std::FILE* out) {
  std::fputs(
      "R38 file to binary file converter for ORV 0.6\n\n"
      "Synopsis: r38dec infile [options]\n\n"
      "Option : -v       Verbose mode\n"
      "         -p[mode] Specify phase\n"
      "                  mode: r=Reverse, n=Normal[default]\n"
      "         -d       full Dump mode(for debug)\n"
      "         -t[val]  Bit recognize torelance[%]. Default is 50%\n"
      "         -h       Show this message\n"
      "Output filename will be generated from original filename\n"
      "ex1. r38dec test.r38 \n"
      "ex2. r38dec test.r38 -v -pr -t60\n",
      out);
}

}  // namespace r38

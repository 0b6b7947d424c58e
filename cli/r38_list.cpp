// r38 list: what is on a tape, without writing anything.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "cli/r38_catalogue_view.h"
#include "cli/r38_common.h"
#include "cli/r38_recording.h"
#include "cli/r38_source.h"

namespace r38::cli {
namespace {

void print_list_help() {
  std::printf(
      "Usage: r38 list [OPTION]... TAPE\n"
      "List the files on a tape without writing anything: name, type, size, machine-language\n"
      "addresses, data blocks, checksum errors, whether the end block came, and the image\n"
      "offset of the header block; then stray and damaged blocks and a total. TAPE is a tape\n"
      "image or an audio recording (WAV, FLAC, AIFF and more), told apart by content.\n"
      "\n"
      "  -p, --phase=MODE  normal, reverse, or auto (the default): normal, or reverse when\n"
      "                    the normal phase finds no good block\n"
      "      --json        print one JSON document instead of the table\n"
      "  -q, --quiet       no progress bar while a recording is read\n"
      "  -h, --help        show this help and exit\n"
      "Recordings:\n"
      "%s"
      "\n"
      "Exit status: 0 every file is complete and undamaged, 1 the tape has damaged or\n"
      "incomplete files, 2 a usage error or the image could not be read.\n",
      RECORDING_OPTIONS_HELP);
}

}  // namespace

int run_list(int argc, char** argv) {
  enum { OPT_JSON = 256 };
  static const option OPTIONS[] = {
      {"phase", required_argument, nullptr, 'p'},
      {"json", no_argument, nullptr, OPT_JSON},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      R38_RECORDING_LONG_OPTIONS,
      {nullptr, 0, nullptr, 0},
  };
  PhaseChoice phase = PhaseChoice::AUTO;
  RecordingOptions recording;
  bool quiet = false;
  bool json = false;
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":p:qh", OPTIONS, nullptr)) != -1;) {
    switch (c) {
      case 'p':
        if (auto choice = parse_phase_choice(optarg)) {
          phase = *choice;
        } else {
          return usage_error("list", "--phase must be normal, reverse or auto");
        }
        break;
      case OPT_JSON:
        json = true;
        break;
      case 'h':
        print_list_help();
        return EXIT_OK;
      case 'q':
        quiet = true;
        break;
      default:
        if (c >= OPT_CHANNEL && c < RECORDING_OPTION_END) {
          std::string why;
          if (!apply_recording_option(c, optarg, recording, why)) return usage_error("list", why);
          break;
        }
        return usage_error("list", option_problem(c, argv));
    }
  }
  if (optind != argc - 1) {
    return usage_error("list", optind == argc ? "no image named" : "one image at a time");
  }
  const std::string image = argv[optind];

  TapeCatalogue catalogue;
  const TapeScan scan = scan_tape(image, phase, catalogue, nullptr, recording, quiet);
  if (!scan.error.empty()) {
    report(image, scan.error);
    return EXIT_ERROR;
  }
  if (json) {
    std::fputs(catalogue_json(image, catalogue, scan).c_str(), stdout);
  } else {
    print_catalogue(stdout, catalogue, scan);
  }
  if (!stdout_ok()) return EXIT_ERROR;
  return catalogue.all_intact() ? EXIT_OK : EXIT_DAMAGED;
}

}  // namespace r38::cli

// r38 import: an audio recording of a tape to a tape image.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/importer.h"
#include "cli/r38_common.h"
#include "cli/r38_recording.h"

namespace r38::cli {
namespace {

constexpr char COMMAND[] = "import";

void print_help() {
  std::printf(
      "Usage: r38 import RECORDING -o IMAGE [OPTION]...\n"
      "Turn an audio recording of a tape (WAV, FLAC, AIFF and more; 8 to 32-bit or\n"
      "floating-point samples) into a tape image. The speed is found from the signal\n"
      "and followed along the tape.\n\n"
      "  -o, --output IMAGE    the tape image to write\n"
      "%s"
      "  -q, --quiet           no progress bar\n"
      "  -h, --help            show this help and exit\n\n"
      "Exit status: 0 when every block read well, 1 when some were damaged (the image\n"
      "is written all the same), 2 when no image could be made.\n",
      RECORDING_OPTIONS_HELP);
}

// Writes the whole file or reports why not.
bool write_image(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    report(path, std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    report(path, std::strerror(written ? errno : write_errno));
    return false;
  }
  return true;
}

}  // namespace

int run_import(int argc, char** argv) {
  static const option LONG_OPTIONS[] = {
      {"output", required_argument, nullptr, 'o'},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      R38_RECORDING_LONG_OPTIONS,
      {nullptr, 0, nullptr, 0},
  };
  RecordingOptions options;
  std::string output;
  bool quiet = false;
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":o:qh", LONG_OPTIONS, nullptr)) != -1) {
    std::string why;
    switch (c) {
      case 'o':
        output = optarg;
        break;
      case 'q':
        quiet = true;
        break;
      case 'h':
        print_help();
        return EXIT_OK;
      case ':':
      case '?':
        return usage_error(COMMAND, option_problem(c, argv));
      default:
        if (!apply_recording_option(c, optarg, options, why)) return usage_error(COMMAND, why);
    }
  }
  if (optind + 1 != argc) return usage_error(COMMAND, "name one recording");
  if (output.empty()) return usage_error(COMMAND, "name the image to write with -o");
  const std::string input = argv[optind];

  audio::Recording recording;
  audio::ImportResult result;
  const std::string error = import_file(input, options, recording, result, quiet);
  if (!error.empty()) {
    report(input, error);
    return EXIT_ERROR;
  }
  if (!write_image(output, result.image)) return EXIT_ERROR;
  const double seconds = static_cast<double>(recording.samples.size()) / recording.sample_rate;
  std::printf("recording  %s (%s, %.0f Hz, %.2f s)\n", input.c_str(), recording.format.c_str(),
              recording.sample_rate, seconds);
  std::printf("speed      %.0f baud\n", recording.sample_rate / (4 * result.short_half_cycle));
  std::printf("polarity   %s\n", result.inverted ? "inverted" : "normal");
  std::printf("blocks     %d good, %d damaged\n", result.good_blocks, result.damaged_blocks);
  std::printf("image      %s\n", output.c_str());
  if (std::fflush(stdout) != 0) return EXIT_ERROR;
  return result.damaged_blocks > 0 ? EXIT_DAMAGED : EXIT_OK;
}

}  // namespace r38::cli

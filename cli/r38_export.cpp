// r38 export: a tape image to audio.
#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/exporter.h"
#include "audio/recording.h"
#include "cli/r38_common.h"
#include "cli/r38_progress.h"
#include "cli/r38_recording.h"
#include "decode/tape_format.h"

namespace r38::cli {
namespace {

constexpr char COMMAND[] = "export";
enum : int { OPT_RATE = 0x200, OPT_BAUD, OPT_SHAPE, OPT_BITS, OPT_PHASE };

void print_help() {
  std::printf(
      "Usage: r38 export IMAGE -o AUDIO [OPTION]...\n"
      "Play a tape image into an audio file that a machine or an emulator can load.\n"
      "The container follows AUDIO's extension: .wav (the default), .flac, .aiff, .au, .caf.\n\n"
      "  -o, --output AUDIO    the audio file to write\n"
      "      --rate HZ         sample rate, 8000 to 192000 (default 44100)\n"
      "      --baud N          bit cells a second, 100 to 20000 (default 1200)\n"
      "      --shape S         square (default) or sine\n"
      "      --bits B          8, 16 (default), 24, 32 or float\n"
      "      --phase P         normal (default) or reverse: every level the other way up\n"
      "  -q, --quiet           no progress bar\n"
      "  -h, --help            show this help and exit\n");
}

}  // namespace

int run_export(int argc, char** argv) {
  static const option LONG_OPTIONS[] = {
      {"output", required_argument, nullptr, 'o'},
      {"rate", required_argument, nullptr, OPT_RATE},
      {"baud", required_argument, nullptr, OPT_BAUD},
      {"shape", required_argument, nullptr, OPT_SHAPE},
      {"bits", required_argument, nullptr, OPT_BITS},
      {"phase", required_argument, nullptr, OPT_PHASE},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  audio::ExportSettings settings;
  audio::SampleType type = audio::SampleType::PCM_16;
  std::string output;
  bool quiet = false;
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":o:qh", LONG_OPTIONS, nullptr)) != -1) {
    const std::string_view value = optarg ? optarg : "";
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
      case OPT_RATE: {
        const auto rate = parse_number(value, 192000);
        if (!rate || *rate < 8000) return usage_error(COMMAND, "--rate takes 8000 to 192000");
        settings.sample_rate = *rate;
        break;
      }
      case OPT_BAUD: {
        const auto baud = parse_decimal(value, 100, 20000);
        if (!baud) return usage_error(COMMAND, "--baud takes 100 to 20000");
        settings.baud = *baud;
        break;
      }
      case OPT_SHAPE:
        if (value == "square") {
          settings.shape = audio::Shape::SQUARE;
        } else if (value == "sine") {
          settings.shape = audio::Shape::SINE;
        } else {
          return usage_error(COMMAND, "--shape takes square or sine");
        }
        break;
      case OPT_BITS:
        if (value == "8") {
          type = audio::SampleType::PCM_8;
        } else if (value == "16") {
          type = audio::SampleType::PCM_16;
        } else if (value == "24") {
          type = audio::SampleType::PCM_24;
        } else if (value == "32") {
          type = audio::SampleType::PCM_32;
        } else if (value == "float") {
          type = audio::SampleType::FLOAT;
        } else {
          return usage_error(COMMAND, "--bits takes 8, 16, 24, 32 or float");
        }
        break;
      case OPT_PHASE:
        if (value == "normal") {
          settings.invert = false;
        } else if (value == "reverse") {
          settings.invert = true;
        } else {
          return usage_error(COMMAND, "--phase takes normal or reverse");
        }
        break;
      default:
        return usage_error(COMMAND, option_problem(c, argv));
    }
  }
  if (optind + 1 != argc) return usage_error(COMMAND, "name one tape image");
  if (output.empty()) return usage_error(COMMAND, "name the audio file to write with -o");
  const std::string input = argv[optind];

  std::string why;
  const std::vector<std::uint8_t> image = read_whole_file(input, why);
  if (!why.empty()) {
    report(input, why);
    return EXIT_ERROR;
  }
  if (!is_tape_image(image.data(), image.size())) {
    report(input, "not a tape image");
    return EXIT_ERROR;
  }
  audio::RecordingWriter writer;
  why = writer.open(output, settings.sample_rate, type);
  if (!why.empty()) {
    report(output, why);
    return EXIT_ERROR;
  }
  Progress progress("exporting", quiet);
  why = audio::export_image(
      image, settings, [&](std::span<const float> samples) { return writer.write(samples); },
      progress.callback());
  progress.finish();
  const std::string closing = writer.close();
  if (why.empty()) why = closing;
  if (!why.empty()) {
    report(output, why);
    return EXIT_ERROR;
  }
  return EXIT_OK;
}

}  // namespace r38::cli

// r38 extract: every file on a tape to a directory, as the converter writes them.
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/r38_catalogue_view.h"
#include "cli/r38_common.h"
#include "cli/r38_recording.h"
#include "cli/r38_source.h"
#include "extract/directory_writer.h"

namespace r38::cli {
namespace {

void print_extract_help() {
  std::printf(
      "Usage: r38 extract [OPTION]... TAPE\n"
      "Write every file on a tape to a file of its own, named and cut exactly as r38dec\n"
      "does, and list them as 'r38 list' does, with the name each was written to. TAPE is a\n"
      "tape image or an audio recording (WAV, FLAC, AIFF and more), told apart by content.\n"
      "\n"
      "  -C, --directory=DIR  write into DIR (it must exist) instead of the current directory\n"
      "  -n, --no-clobber     keep existing files: a new one is written as NAME-1.EXT,\n"
      "                       NAME-2.EXT and so on\n"
      "  -p, --phase=MODE     normal, reverse, or auto (the default): normal, or reverse when\n"
      "                       the normal phase finds no good block\n"
      "  -q, --quiet          no progress bar while a recording is read\n"
      "  -h, --help           show this help and exit\n"
      "Recordings:\n"
      "%s"
      "\n"
      "An existing file of the same name is replaced unless --no-clobber is given. Symbolic\n"
      "links in DIR are never followed.\n"
      "\n"
      "Exit status: 0 every file is complete and undamaged, 1 the tape has damaged or\n"
      "incomplete files (what was found is written), 2 a usage error, or the image could not be\n"
      "read or a file could not be written.\n",
      RECORDING_OPTIONS_HELP);
}

}  // namespace

int run_extract(int argc, char** argv) {
  static const option OPTIONS[] = {
      {"directory", required_argument, nullptr, 'C'},
      {"no-clobber", no_argument, nullptr, 'n'},
      {"phase", required_argument, nullptr, 'p'},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      R38_RECORDING_LONG_OPTIONS,
      {nullptr, 0, nullptr, 0},
  };
  PhaseChoice phase = PhaseChoice::AUTO;
  RecordingOptions recording;
  bool quiet = false;
  std::string directory = ".";
  bool no_clobber = false;
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":C:np:qh", OPTIONS, nullptr)) != -1;) {
    switch (c) {
      case 'C':
        directory = optarg;
        break;
      case 'n':
        no_clobber = true;
        break;
      case 'p':
        if (auto choice = parse_phase_choice(optarg)) {
          phase = *choice;
        } else {
          return usage_error("extract", "--phase must be normal, reverse or auto");
        }
        break;
      case 'h':
        print_extract_help();
        return EXIT_OK;
      case 'q':
        quiet = true;
        break;
      default:
        if (c >= OPT_CHANNEL && c < RECORDING_OPTION_END) {
          std::string why;
          if (!apply_recording_option(c, optarg, recording, why))
            return usage_error("extract", why);
          break;
        }
        return usage_error("extract", option_problem(c, argv));
    }
  }
  if (optind != argc - 1) {
    return usage_error("extract", optind == argc ? "no image named" : "one image at a time");
  }
  const std::string image = argv[optind];

  const int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) {
    report(directory, std::strerror(errno));
    return EXIT_ERROR;
  }
  DirectoryWriter writer(dir_fd, no_clobber);
  TapeCatalogue catalogue;
  const TapeScan scan = scan_tape(image, phase, catalogue, &writer, recording, quiet);
  ::close(dir_fd);
  if (!scan.error.empty() && writer.written().empty()) {
    report(image, scan.error);
    return EXIT_ERROR;
  }
  print_catalogue(stdout, catalogue, scan, &writer.written());
  const bool printed = stdout_ok();
  bool ok = printed && scan.error.empty();
  // The image could not be read to its end: what came before it is written and listed.
  if (!scan.error.empty()) report(image, scan.error);
  const std::string prefix = directory == "." ? "" : directory + "/";
  for (const DirectoryWriter::Failure& failure : writer.failures()) {
    report(prefix + failure.name,
           std::string("cannot ") + failure.action + ": " + std::strerror(failure.error));
    ok = false;
  }
  if (!ok) return EXIT_ERROR;
  return catalogue.all_intact() ? EXIT_OK : EXIT_DAMAGED;
}

}  // namespace r38::cli

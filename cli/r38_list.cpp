// r38 list: what is on a tape, without writing anything.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "cli/r38_catalogue_view.h"
#include "cli/r38_common.h"
#include "cli/r38_source.h"

namespace r38::cli {
namespace {

void print_list_help() {
  std::printf(
      "Usage: r38 list [OPTION]... IMAGE\n"
      "List the files on a tape image without writing anything: name, type, size, machine-\n"
      "language addresses, data blocks, checksum errors, whether the end block came, and the\n"
      "image offset of the header block; then stray and damaged blocks and a total.\n"
      "\n"
      "  -p, --phase=MODE  normal, reverse, or auto (the default): normal, or reverse when\n"
      "                    the normal phase finds no good block\n"
      "      --json        print one JSON document instead of the table\n"
      "  -h, --help        show this help and exit\n"
      "\n"
      "Exit status: 0 every file is complete and undamaged, 1 the tape has damaged or\n"
      "incomplete files, 2 a usage error or the image could not be read.\n");
}

}  // namespace

int run_list(int argc, char** argv) {
  enum { OPT_JSON = 256 };
  static const option OPTIONS[] = {
      {"phase", required_argument, nullptr, 'p'},
      {"json", no_argument, nullptr, OPT_JSON},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  PhaseChoice phase = PhaseChoice::AUTO;
  bool json = false;
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":p:h", OPTIONS, nullptr)) != -1;) {
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
      default:
        return usage_error("list", option_problem(c, argv));
    }
  }
  if (optind != argc - 1) {
    return usage_error("list", optind == argc ? "no image named" : "one image at a time");
  }
  const std::string image = argv[optind];

  TapeCatalogue catalogue;
  const TapeScan scan = scan_tape(image, phase, catalogue);
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

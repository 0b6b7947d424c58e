// r38: the tape toolkit. Each subcommand lives in a file of its own (cli/r38_<name>.cpp) and is
// listed once in the table below.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/r38_common.h"

namespace r38::cli {

int run_build(int argc, char** argv);
int run_list(int argc, char** argv);
int run_extract(int argc, char** argv);
int run_export(int argc, char** argv);
int run_import(int argc, char** argv);
int run_scope(int argc, char** argv);

namespace {

struct Subcommand {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
};

// Subcommands, in the order `r38 --help` lists them.
constexpr Subcommand SUBCOMMANDS[] = {
    {"build", "write a tape image holding the given files", run_build},
    {"list", "list the files on a tape image or recording", run_list},
    {"extract", "write the files on a tape image or recording to a directory", run_extract},
    {"import", "turn an audio recording of a tape into a tape image", run_import},
    {"export", "play a tape image into an audio file", run_export},
    {"scope", "show why a tape reads badly, as text or a picture", run_scope},
    {"help", "show this help", nullptr},
};

void print_help() {
  std::printf(
      "Usage: r38 COMMAND [OPTION]... [ARGUMENT]...\n"
      "Work with cassette tape images and audio recordings of tapes.\n\n"
      "Commands:\n");
  for (const Subcommand& s : SUBCOMMANDS) std::printf("  %-10s %s\n", s.name, s.summary);
  std::printf(
      "\n"
      "Options:\n"
      "  -h, --help     show this help and exit\n"
      "      --version  show the version and exit\n"
      "\n"
      "'r38 COMMAND --help' describes each command.\n"
      "\n"
      "Exit status:\n"
      "  0  success\n"
      "  1  the tape holds damaged or incomplete files\n"
      "  2  a usage error, or input or output failed\n");
}

}  // namespace
}  // namespace r38::cli

int main(int argc, char** argv) {
  using namespace r38::cli;
  if (argc < 2) {
    print_help();
    return EXIT_ERROR;
  }
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    print_help();
    return EXIT_OK;
  }
  if (command == "--version") {
    std::printf("r38 %s\n", R38_VERSION);
    return EXIT_OK;
  }
  for (const Subcommand& s : SUBCOMMANDS) {
    if (s.run != nullptr && command == s.name) return s.run(argc - 1, argv + 1);
  }
  report(command, "no such command (see 'r38 --help')");
  return EXIT_ERROR;
}

// r38dec's command-line scan over arbitrary argument lists: the input is split at zero bytes
// into arguments, after the program's own name.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each argument in an allocation of its own, so that reading past its terminator is caught.
  std::vector<std::string> texts = {"r38dec"};
  if (size > 0) {
    texts.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
      if (data[i] == 0) {
        texts.emplace_back();
      } else {
        texts.back().push_back(static_cast<char>(data[i]));
      }
    }
  }
  std::vector<char*> argv;
  for (const std::string& text : texts) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    argv.push_back(copy);
  }
  argv.push_back(nullptr);
  const int argc = static_cast<int>(texts.size());

  const r38::RunSettings settings = r38::parse_command_line(argc, argv.data());
  // What any scan must give: an input that names an argument, never an option, and the last
  // such argument unless a help option stopped the scan.
  bool ok = settings.input_index >= 0 && settings.input_index < argc;
  ok = ok && (settings.phase == r38::PHASE_NORMAL || settings.phase == r38::PHASE_REVERSE);
  if (ok && settings.input_index > 0) {
    const char first = argv[settings.input_index][0];
    ok = first != '-' && first != '/';
  }
  if (ok && !settings.help) {
    for (int i = settings.input_index + 1; i < argc; ++i) {
      ok = ok && (argv[i][0] == '-' || argv[i][0] == '/');
    }
  }
  if (argc < 2) ok = ok && settings.help;
  for (char* copy : argv) std::free(copy);
  if (!ok) std::abort();
  return 0;
}

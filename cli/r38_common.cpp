#include "cli/r38_common.h"

#include <getopt.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace r38::cli {

void report(std::string_view what, std::string_view why) {
  std::fflush(stdout);
  std::fprintf(stderr, "r38: %.*s: %.*s\n", static_cast<int>(what.size()), what.data(),
               static_cast<int>(why.size()), why.data());
}

int usage_error(std::string_view command, std::string_view why) {
  report(command, why);
  std::fprintf(stderr, "Try 'r38 %.*s --help' for more information.\n",
               static_cast<int>(command.size()), command.data());
  return EXIT_ERROR;
}

std::string option_problem(int c, char** argv) {
  std::string option = argv[optind - 1];
  if (optopt != 0 && !option.starts_with("--")) option = std::string("-") + char(optopt);
  if (const auto equals = option.find('='); equals != std::string::npos) option.resize(equals);
  if (c == ':') return "option '" + option + "' needs a value";
  return "unknown option '" + option + "'";
}

bool stdout_ok() {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  report("standard output", std::strerror(errno ? errno : EIO));
  return false;
}

std::optional<unsigned> parse_number(std::string_view text, unsigned max) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  } else if (text.starts_with("$")) {
    text.remove_prefix(1);
    base = 16;
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max) {
    return std::nullopt;
  }
  return value;
}

}  // namespace r38::cli

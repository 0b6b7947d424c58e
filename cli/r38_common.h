// What every r38 subcommand shares: exit statuses, error messages, option values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace r38::cli {

// Exit statuses of r38, the same for every subcommand.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_DAMAGED = 1;  // the tape holds damaged or incomplete files
inline constexpr int EXIT_ERROR = 2;    // a usage error, or input or output failed

// "r38: <what>: <why>" on standard error.
void report(std::string_view what, std::string_view why);
// The same, followed by a hint to the subcommand's --help; returns EXIT_ERROR.
int usage_error(std::string_view command, std::string_view why);

// What was wrong with the option getopt_long just refused (it returned `c`, ':' or '?'), for
// usage_error. The option parsers run with opterr = 0 and a leading ':' in their short options.
std::string option_problem(int c, char** argv);

// Flushes standard output; reports a failure and returns false when it could not be written.
bool stdout_ok();

// A 16-bit address or number: hexadecimal as 0x1000 or $1000, otherwise decimal.
std::optional<unsigned> parse_number(std::string_view text, unsigned max = 0xFFFF);

}  // namespace r38::cli

// The converter's command line: options decided by their second character, after "-" or "/".
#pragma once

#include <cstdio>

#include "decode/tape_format.h"

namespace r38 {

struct RunSettings {
  bool verbose = false;
  bool dump = false;
  Phase phase = PHASE_NORMAL;
  int input_index = 0;  // position of the argument that names the image; 0 when none does
  bool help = false;    // a help option was met: show the usage text and stop
};

// Scans the arguments in order (position 0 is the program's own path). A help option ends the
// scan at once; arguments after it are never looked at.
RunSettings parse_command_line(int argc, const char* const* argv);

void show_usage(std::FILE* out = stdout);

}  // namespace r38

// The converter's two run modes over an open image: the normal mode (every file on the tape to a
// file of its own) and the dump mode (every decoded byte to FULLDUMP.BIN).
#pragma once

#include <fcntl.h>

#include "cli/command_line.h"
#include "decode/image_reader.h"

namespace r38 {

inline constexpr int EXIT_USAGE = 0;
inline constexpr int EXIT_NOT_AN_IMAGE = 1;
inline constexpr int EXIT_FAILURE_IO = 2;

// Checks that `reader` (standing on the image's first byte) holds a tape image and runs the mode
// `settings` asks for to the end of the image, writing the output files into the directory
// `output_dir` (AT_FDCWD: the current directory). The report goes to standard output, errors to
// standard error. Returns the exit status: 0, EXIT_NOT_AN_IMAGE, or EXIT_FAILURE_IO when the
// image could not be read or an output file could not be made or written. Closing the image
// and flushing standard output are left to the caller.
int decode_image(ImageReader& reader, const RunSettings& settings, int output_dir = AT_FDCWD);

}  // namespace r38

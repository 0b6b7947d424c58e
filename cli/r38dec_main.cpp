// r38dec: writes every file on a cassette tape image to a file of its own in the current
// directory, or with -d the whole decoded byte stream to FULLDUMP.BIN.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "cli/r38dec_modes.h"
#include "decode/image_reader.h"

namespace {

using namespace r38;

void print_banner(const RunSettings& settings) {
  std::fputs("R38 file decoder version 0.6\n", stdout);
  std::fputs("Cassette tape images to files, exact to the last byte\n", stdout);
  std::printf("Phase = %s\n", settings.phase == PHASE_NORMAL ? "Normal" : "Reverse");
}

// A standard stream the program was started without must not be taken over by the image or an
// output file, whose descriptors would otherwise get its number: the report would then be
// written into an output file. Each missing one is held by /dev/null opened for reading only,
// so that writing to it still fails and is reported.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    // The lowest free number is taken, and all below `fd` are in use by now.
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

int run(int argc, const char* const* argv) {
  const RunSettings settings = parse_command_line(argc, argv);
  if (settings.help) {
    show_usage();
    return EXIT_USAGE;
  }
  if (settings.verbose) print_banner(settings);
  if (settings.input_index == 0) {
    // Only options: there is no image to read, and the program's own file is not one.
    std::fflush(stdout);
    std::fputs("No input file named\n", stderr);
    show_usage();
    return EXIT_FAILURE_IO;
  }

  const int fd = ::open(argv[settings.input_index], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fflush(stdout);
    std::fprintf(stderr, "Source file open: %s\n", std::strerror(errno));
    return EXIT_FAILURE_IO;
  }
  ImageReader reader(fd);
  const int status = decode_image(reader, settings);
  if (status == EXIT_NOT_AN_IMAGE) return status;
  const int closed = ::close(fd);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "Standard output write: %s\n", std::strerror(errno ? errno : EIO));
    return EXIT_FAILURE_IO;
  }
  return status != 0 ? status : closed;
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
  return run(argc, argv);
}

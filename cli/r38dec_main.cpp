// r38dec: writes every file on a cassette tape image to a file of its own in the current
// directory, or with -d the whole decoded byte stream to FULLDUMP.BIN.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/command_line.h"
#include "cli/console_report.h"
#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "extract/extractor.h"
#include "extract/output_files.h"

namespace {

using namespace r38;

constexpr int EXIT_USAGE = 0;
constexpr int EXIT_NOT_AN_IMAGE = 1;
constexpr int EXIT_FAILURE_IO = 2;

// Errors in the standard error-report form: the text, ": ", the system's reason.
void report_error(const char* what, int error) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", what, std::strerror(error));
}

// Every byte the byte decoder yields, in tape order; a damaged byte is written as 0xFE, the low
// 8 bits of FRAMING_ERROR. Returns false when FULLDUMP.BIN could not be made or written.
bool dump_bytes(TapeDecoder& decoder) {
  OutputFile dump;
  if (const int error = dump.open("FULLDUMP.BIN"); error != 0) {
    report_error("output file open", error);
    std::exit(EXIT_FAILURE_IO);
  }
  std::uint8_t chunk[4096];
  std::size_t used = 0;
  for (;;) {
    const int byte = decoder.read_byte();
    if (byte == END_OF_INPUT) break;
    chunk[used++] = static_cast<std::uint8_t>(byte & 0xFF);
    if (used == sizeof chunk) {
      dump.write(chunk, used);
      used = 0;
    }
  }
  dump.write(chunk, used);
  if (const int error = dump.close(); error != 0) {
    report_error("output file write", error);
    return false;
  }
  return true;
}

void print_banner(const RunSettings& settings) {
  std::fputs("R38 file decoder version 0.6\n", stdout);
  std::fputs("Cassette tape images to files, exact to the last byte\n", stdout);
  std::printf("Phase = %s\n", settings.phase == PHASE_NORMAL ? "Normal" : "Reverse");
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
    report_error("Source file open", errno);
    return EXIT_FAILURE_IO;
  }
  ImageReader reader(fd);

  BlockBuffer buffer;
  const std::size_t available = reader.peek(FIRST_LINE_LENGTH);
  if (reader.read_error() != 0 && available < FIRST_LINE_LENGTH) {
    report_error("Source file read", reader.read_error());
    return EXIT_FAILURE_IO;
  }
  load_first_line(reader.data(), available, buffer);
  if (!is_tape_image(reader.data(), available)) {
    std::fputs("Source file is not a valid ORV tape image file\n", stdout);
    return EXIT_NOT_AN_IMAGE;
  }
  reader.skip(IMAGE_DATA_OFFSET);

  TapeDecoder decoder(reader, settings.phase);
  bool ok = true;
  if (settings.dump) {
    ok = dump_bytes(decoder);
  } else {
    ConsoleReport report(settings.verbose);
    extract_files(decoder, buffer, report);
    ok = !report.failed();
  }
  if (reader.read_error() != 0) {
    // Decoding stopped where the image could not be read: what came before is kept, but the
    // run did not succeed.
    report_error("Source file read", reader.read_error());
    ok = false;
  }
  const int closed = ::close(fd);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "Standard output write: %s\n", std::strerror(errno ? errno : EIO));
    return EXIT_FAILURE_IO;
  }
  return ok ? closed : EXIT_FAILURE_IO;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}

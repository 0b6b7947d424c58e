#include "cli/r38dec_modes.h"

#include <cstdio>
#include <cstring>

#include "cli/console_report.h"
#include "decode/tape_decoder.h"
#include "extract/extractor.h"
#include "extract/output_files.h"

namespace r38 {
namespace {

// Errors in the standard error-report form: the text, ": ", the system's reason.
void report_error(const char* what, int error) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", what, output_error_text(error));
}

// Every byte the byte decoder yields, in tape order, into the open `dump`; a damaged byte is
// written as 0xFE, the low 8 bits of FRAMING_ERROR. Returns false when a byte could not be
// written.
bool dump_bytes(TapeDecoder& decoder, OutputFile& dump) {
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

}  // namespace

int decode_image(ImageReader& reader, const RunSettings& settings, int output_dir) {
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
    OutputFile dump;
    if (const int error = dump.open("FULLDUMP.BIN", output_dir); error != 0) {
      // Without its one output file the dump mode has nothing to do.
      report_error("output file open", error);
      return EXIT_FAILURE_IO;
    }
    ok = dump_bytes(decoder, dump);
  } else {
    ConsoleReport report(settings.verbose, output_dir);
    extract_files(decoder, buffer, report);
    ok = !report.failed();
  }
  if (reader.read_error() != 0) {
    // Decoding stopped where the image could not be read: what came before is kept, but the
    // run did not succeed.
    report_error("Source file read", reader.read_error());
    ok = false;
  }
  return ok ? 0 : EXIT_FAILURE_IO;
}

}  // namespace r38

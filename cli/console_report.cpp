#include "cli/console_report.h"

#include <cstdio>

namespace r38 {
namespace {

void report_error(const char* what, int error) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", what, output_error_text(error));
}

}  // namespace

void ConsoleReport::checksum_error(bool, std::uint64_t) {
  std::fputs("Check sum error\n", stdout);
}

bool ConsoleReport::file_started(const FileHeader& header) {
  std::fputs("\nFOUND:\"", stdout);
  std::fwrite(header.output_name, 1, header.name_length, stdout);
  std::fputs("\"  ", stdout);
  if (header.known_type) {
    if (verbose_) {
      switch (header.file_type) {
        case FILE_BASIC:
          std::fputs(header.ascii ? "BASIC program(ASCII)" : "BASIC program(I-code)", stdout);
          break;
        case FILE_BASIC_DATA:
          std::fputs("BASIC data file", stdout);
          break;
        default:
          std::fputs("Machine language program", stdout);
          break;
      }
    }
  } else {
    std::printf("Unknown file type (%d)\n", header.file_type);
  }
  if (verbose_) std::printf("\nOutput filename:\"%s\"\n", header.output_name);

  if (const int error = output_.open(header.output_name, output_dir_); error != 0) {
    // The file is skipped: the search for the next header goes on.
    report_error("output file open", error);
    failed_ = true;
    return false;
  }
  return true;
}

void ConsoleReport::file_data(const std::uint8_t* bytes, std::size_t count) {
  output_.write(bytes, count);
}

void ConsoleReport::file_ended(const FileSummary& summary) {
  if (verbose_) {
    std::printf("LENGTH=$%04lx", static_cast<unsigned long>(summary.bytes_written));
    if (summary.file_type == FILE_MACHINE) {
      std::printf(" START=$%04X END=$%04X EXEC=$%04x\n", summary.load_address & 0xFFFF,
                  (summary.program_length + summary.load_address - 1) & 0xFFFF,
                  summary.exec_address & 0xFFFF);
    } else {
      std::fputs("\n", stdout);
    }
  }
  close_output();
}

void ConsoleReport::input_ended(const FileSummary*) {
  // A file whose end block never came keeps what was written to it.
  close_output();
}

void ConsoleReport::close_output() {
  if (!output_.is_open()) return;
  if (const int error = output_.close(); error != 0) {
    report_error("output file write", error);
    failed_ = true;
  }
}

}  // namespace r38

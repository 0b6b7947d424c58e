// The converter's normal mode: every file on the tape to a file of its own, with the report on
// standard output.
#pragma once

#include <fcntl.h>

#include "extract/extractor.h"
#include "extract/output_files.h"

namespace r38 {

class ConsoleReport : public ExtractorEvents {
 public:
  // Output files are made in the directory `output_dir` (AT_FDCWD: the current directory).
  explicit ConsoleReport(bool verbose, int output_dir = AT_FDCWD)
      : verbose_(verbose), output_dir_(output_dir) {}

  void checksum_error(bool in_file, std::uint64_t offset) override;
  bool file_started(const FileHeader& header) override;
  void file_data(const std::uint8_t* bytes, std::size_t count) override;
  void file_ended(const FileSummary& summary) override;
  void input_ended(const FileSummary* open_file) override;

  // Whether an output file could not be made or written.
  bool failed() const { return failed_; }

 private:
  void close_output();

  bool verbose_;
  int output_dir_;
  bool failed_ = false;
  OutputFile output_;
};

}  // namespace r38

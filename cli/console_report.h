// The converter's normal mode: every file on the tape to a file of its own, with the report on
// standard output.
#pragma once

#include "extract/extractor.h"
#include "extract/output_files.h"

namespace r38 {

class ConsoleReport : public ExtractorEvents {
 public:
  explicit ConsoleReport(bool verbose) : verbose_(verbose) {}

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
  bool failed_ = false;
  OutputFile output_;
};

}  // namespace r38

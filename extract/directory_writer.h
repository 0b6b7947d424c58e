// Writes every file on a tape to a directory of its own choosing, under the names the converter
// gives them, optionally keeping files that are already there.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "extract/extractor.h"
#include "extract/output_files.h"

namespace r38 {

class DirectoryWriter : public ExtractorEvents {
 public:
  // `dir_fd` is an open directory (or AT_FDCWD), owned by the caller. With `no_clobber`, an
  // existing file is kept and the new one is named NAME-1.EXT, NAME-2.EXT and so on.
  DirectoryWriter(int dir_fd, bool no_clobber) : dir_fd_(dir_fd), no_clobber_(no_clobber) {}

  void checksum_error(bool, std::uint64_t) override {}
  bool file_started(const FileHeader& header) override;
  void file_data(const std::uint8_t* bytes, std::size_t count) override;
  void file_ended(const FileSummary&) override { close_output(); }
  void input_ended(const FileSummary*) override { close_output(); }

  // The name each accepted file was written under, in tape order.
  const std::vector<std::string>& written() const { return written_; }

  struct Failure {
    std::string name;
    const char* action;  // "create" or "write"
    int error;           // errno
  };
  // Files that could not be created (they were skipped) or written completely.
  const std::vector<Failure>& failures() const { return failures_; }

 private:
  void close_output();

  int dir_fd_;
  bool no_clobber_;
  OutputFile output_;
  std::vector<std::string> written_;
  std::unordered_map<std::string, int> next_number_;  // per output name, under no_clobber
  std::vector<Failure> failures_;
};

}  // namespace r38

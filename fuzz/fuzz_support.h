// What the fuzz targets share: a private sandbox directory for the files a target writes, and
// the check that nothing was written anywhere but where it was asked to be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace r38::fuzz {

// A directory of its own under the temporary directory, with an empty `out` directory inside it
// that the code under test writes into. The current directory is left as it is (the fuzzer reads
// its corpus relative to it) and must stay unchanged.
//
// The code under test reports on standard output; run the targets with -close_fd_mask=1 to
// keep that away. A failed check is told on standard error before the abort.
class Sandbox {
 public:
  Sandbox();
  // A descriptor of the `out` directory.
  int out_dir() const { return out_fd_; }
  // Aborts (a finding) unless `out` holds only regular files whose names `allowed` accepts,
  // the sandbox holds nothing but `out` and the current directory holds what it held at the
  // start; then empties `out` for the next input.
  void check_and_clear(bool (*allowed)(const std::string& name));
  // The names in `out`, sorted, and the bytes of one of them.
  std::vector<std::string> outputs() const;
  std::vector<std::uint8_t> read_output(const std::string& name) const;

 private:
  std::string root_;
  int root_fd_ = -1;
  int out_fd_ = -1;
  int cwd_fd_ = -1;
  std::vector<std::string> cwd_names_;
};

// r38dec's run over `image` as the program runs it (the image read from a file descriptor),
// writing into the sandbox's `out`. Returns the exit status, which must be 0, 1 or 2.
int run_r38dec(Sandbox& sandbox, const std::uint8_t* image, std::size_t size,
               const RunSettings& settings);

// An in-memory file holding `data`, positioned at its start, as the programs read their input.
int file_with(const std::uint8_t* data, std::size_t size);

}  // namespace r38::fuzz

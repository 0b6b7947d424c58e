// Runs a real executable in a directory of its own and captures what it prints.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace r38::test {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs `program` with `args` (not counting argv[0]) in `cwd`, standard input from /dev/null.
// `stdout_path`, when given, receives standard output instead of the capture. The descriptors in
// `closed` (of 0, 1 and 2) are closed in the program instead.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const std::string& stdout_path = "",
                      const std::vector<int>& closed = {});

inline RunResult run_r38dec(const std::vector<std::string>& args,
                            const std::filesystem::path& cwd) {
  return run_program(R38DEC_PATH, args, cwd);
}

inline RunResult run_r38(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
  return run_program(R38_PATH, args, cwd);
}

// A fresh empty directory, removed again when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  TempDir(TempDir&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_file(const std::filesystem::path& path);
std::string read_text(const std::filesystem::path& path);
std::vector<std::uint8_t> bytes_of(const std::string& text);

}  // namespace r38::test

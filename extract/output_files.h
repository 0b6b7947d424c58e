// One output file, written through a buffer, that remembers the first error it met.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace r38 {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { close(); }

  // Creates `name` in the directory `dir_fd` (AT_FDCWD: the current directory), or empties it
  // where it exists. `extra_flags` are added to the open flags (O_EXCL to keep an existing file,
  // O_NOFOLLOW to refuse a symbolic link). Returns 0, or the errno of the failure.
  int open(const char* name, int dir_fd = AT_FDCWD, int extra_flags = 0);
  bool is_open() const { return file_ != nullptr; }

  // Writes the bytes. After the first failure the file takes nothing more.
  void write(const std::uint8_t* bytes, std::size_t count);
  // Flushes and closes the file. Returns 0, or the errno of the first write, flush or close
  // that failed since open().
  int close();
  // The errno of the first failed write since open(), 0 while none failed.
  int error() const { return error_; }

 private:
  std::FILE* file_ = nullptr;
  int error_ = 0;
};

}  // namespace r38

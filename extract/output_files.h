// One output file, written through a buffer, that remembers the first error it met.
#pragma once

#include <fcntl.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace r38 {

// OutputFile::open's error for a symbolic link that leads to no file.
inline constexpr int DANGLING_LINK = ELOOP;

// The text of an error from OutputFile: the system's, or a plain word for DANGLING_LINK.
const char* output_error_text(int error);

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { close(); }

  // Creates `name` in the directory `dir_fd` (AT_FDCWD: the current directory), or empties it
  // where it exists. `extra_flags` are added to the open flags (O_EXCL to keep an existing file,
  // O_NOFOLLOW to refuse a symbolic link). Returns 0, or the errno of the failure.
  //
  // Without O_NOFOLLOW, a symbolic link of that name that leads to an existing file is
  // followed: that file is emptied and written (a link to /dev/null or /dev/full, say, is the
  // user's own choice). A new file is never created through a link, though, since that would put
  // it wherever the link points, outside the directory: a link that leads to no file fails with
  // DANGLING_LINK.
  int open(const char* name, int dir_fd = AT_FDCWD, int extra_flags = 0);
  bool is_open() const { return fd_ >= 0; }

  // Writes the bytes. After the first failure the file takes nothing more.
  void write(const std::uint8_t* bytes, std::size_t count);
  // Flushes and closes the file. Returns 0, or the errno of the first write, flush or close
  // that failed since open().
  int close();
  // The errno of the first failed write since open(), 0 while none failed.
  int error() const { return error_; }

 private:
  // The bytes go out in large writes through a buffer of the object's own, made once and kept
  // for every file it writes.
  static constexpr std::size_t BUFFER_SIZE = 64 * 1024;
  void flush_buffer();
  void write_all(const std::uint8_t* bytes, std::size_t count);

  int fd_ = -1;
  int error_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t buffered_ = 0;
};

}  // namespace r38

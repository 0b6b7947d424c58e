#include "extract/output_files.h"

#include <unistd.h>

#include <cerrno>

namespace r38 {

int OutputFile::open(const char* name, int dir_fd, int extra_flags) {
  close();
  error_ = 0;
  const int fd =
      ::openat(dir_fd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | extra_flags, 0666);
  if (fd < 0) return errno;
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  return 0;
}

void OutputFile::write(const std::uint8_t* bytes, std::size_t count) {
  if (file_ == nullptr || error_ != 0 || count == 0) return;
  if (std::fwrite(bytes, 1, count, file_) != count) error_ = errno ? errno : EIO;
}

int OutputFile::close() {
  if (file_ == nullptr) return error_;
  errno = 0;
  if (std::fflush(file_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
  if (std::fclose(file_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
  file_ = nullptr;
  return error_;
}

}  // namespace r38

#include "extract/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace r38 {
namespace {

// Opens `name` for writing, emptied, as a file of `dir` itself: a missing one is created with
// O_EXCL, which never follows a link; an existing file (or one that a link leads to) is opened as
// it is. Returns the descriptor or minus the errno.
int open_in(int dir, const char* name, int extra_flags) {
  const int flags = O_WRONLY | O_CLOEXEC | extra_flags;
  if (extra_flags & O_EXCL) {
    const int fd = ::openat(dir, name, flags | O_CREAT, 0666);
    return fd >= 0 ? fd : -errno;
  }
  // A name that comes and goes between the two steps is tried again a few times.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::openat(dir, name, flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -errno;
    // Opening does not wait: a FIFO that nobody reads fails with ENXIO instead of stopping the
    // run for good. Writes block again as usual.
    fd = ::openat(dir, name, flags | O_TRUNC | O_NONBLOCK);
    if (fd >= 0) {
      const int status = ::fcntl(fd, F_GETFL);
      if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        return -error;
      }
      return fd;
    }
    // A link that loops, or any link under O_NOFOLLOW.
    if (errno == ELOOP) return -DANGLING_LINK;
    if (errno != ENOENT) return -errno;
    // The name is there but leads nowhere: a link to no file, or a file removed meanwhile.
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      if (::fstatat(dir, name, &st, 0) != 0) return -DANGLING_LINK;
    }
  }
  return -EEXIST;
}

}  // namespace

const char* output_error_text(int error) {
  return error == DANGLING_LINK ? "Symbolic link to no file, not followed" : std::strerror(error);
}

int OutputFile::open(const char* name, int dir_fd, int extra_flags) {
  close();
  error_ = 0;
  const int fd = open_in(dir_fd, name, extra_flags);
  if (fd < 0) return -fd;
  fd_ = fd;
  if (!buffer_) buffer_ = std::make_unique<std::uint8_t[]>(BUFFER_SIZE);
  buffered_ = 0;
  return 0;
}

void OutputFile::write(const std::uint8_t* bytes, std::size_t count) {
  if (fd_ < 0 || error_ != 0 || count == 0) return;
  if (buffered_ + count > BUFFER_SIZE) flush_buffer();
  if (count >= BUFFER_SIZE) {
    write_all(bytes, count);
  } else {
    std::memcpy(buffer_.get() + buffered_, bytes, count);
    buffered_ += count;
  }
}

void OutputFile::flush_buffer() {
  const std::size_t count = buffered_;
  buffered_ = 0;
  write_all(buffer_.get(), count);
}

void OutputFile::write_all(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, bytes, count);
    if (n > 0) {
      bytes += n;
      count -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      error_ = errno;
    } else if (n == 0) {
      error_ = EIO;
    }
  }
}

int OutputFile::close() {
  if (fd_ < 0) return error_;
  if (error_ == 0) flush_buffer();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return error_;
}

}  // namespace r38

#include "extract/output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace r38 {
namespace {

// Opens `name` for writing, emptied, as a file of `dir` itself: an existing file (or one that a
// link leads to) is opened as it is, a missing one is created with O_EXCL, which never follows
// a link. Returns the descriptor or minus the errno.
int open_in(int dir, const char* name, int extra_flags) {
  const int flags = O_WRONLY | O_CLOEXEC | extra_flags;
  if (extra_flags & O_EXCL) {
    const int fd = ::openat(dir, name, flags | O_CREAT, 0666);
    return fd >= 0 ? fd : -errno;
  }
  // A name that comes and goes between the two steps is tried again a few times.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::openat(dir, name, flags | O_TRUNC);
    if (fd >= 0) return fd;
    // A link that loops, or any link under O_NOFOLLOW.
    if (errno == ELOOP) return -DANGLING_LINK;
    if (errno != ENOENT) return -errno;
    fd = ::openat(dir, name, flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -errno;
    // Something is there after all: a link that leads to no file, or a file made meanwhile.
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

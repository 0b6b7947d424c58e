#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "cli/r38dec_modes.h"

namespace r38::fuzz {
namespace {

[[noreturn]] void finding(const char* what, const std::string& name) {
  std::fprintf(stderr, "fuzz check failed: %s: \"%s\"\n", what, name.c_str());
  std::abort();
}

// The names in the directory `dir_fd`, "." and ".." aside.
std::vector<std::string> names_in(int dir_fd) {
  std::vector<std::string> names;
  const int fd = ::dup(dir_fd);
  DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (dir == nullptr) finding("cannot list a directory", "");
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "r38fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) finding("cannot make the sandbox", pattern);
  root_ = pattern;
  root_fd_ = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_fd_ < 0 || ::mkdirat(root_fd_, "out", 0700) != 0) {
    finding("cannot make the output directory", root_);
  }
  out_fd_ = ::openat(root_fd_, "out", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  cwd_fd_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (out_fd_ < 0 || cwd_fd_ < 0) finding("cannot open the sandbox", root_);
  cwd_names_ = names_in(cwd_fd_);
}

std::vector<std::string> Sandbox::outputs() const {
  return names_in(out_fd_);
}

std::vector<std::uint8_t> Sandbox::read_output(const std::string& name) const {
  std::vector<std::uint8_t> bytes;
  const int fd = ::openat(out_fd_, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) finding("cannot open an output", name);
  std::uint8_t chunk[4096];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + n);
  ::close(fd);
  return bytes;
}

int run_r38dec(Sandbox& sandbox, const std::uint8_t* image, std::size_t size,
               const RunSettings& settings) {
  const int fd = file_with(image, size);
  int status;
  {
    ImageReader reader(fd);
    status = decode_image(reader, settings, sandbox.out_dir());
  }
  ::close(fd);
  if (status < 0 || status > 2)
    finding("an exit status that should not be", std::to_string(status));
  return status;
}

void Sandbox::check_and_clear(bool (*allowed)(const std::string& name)) {
  for (const std::string& name : names_in(root_fd_)) {
    if (name != "out") finding("written beside the output directory", name);
  }
  if (names_in(cwd_fd_) != cwd_names_) {
    finding("the current directory changed", "");
  }
  for (const std::string& name : names_in(out_fd_)) {
    struct stat st;
    if (::fstatat(out_fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
      finding("not a regular file in the output directory", name);
    }
    if (!allowed(name)) finding("an output name that should not be", name);
    if (::unlinkat(out_fd_, name.c_str(), 0) != 0) finding("cannot remove an output", name);
  }
}

int file_with(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("image", MFD_CLOEXEC);
  if (fd < 0) finding("cannot make an in-memory file", "");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) finding("cannot fill an in-memory file", "");
    done += static_cast<std::size_t>(n);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

}  // namespace r38::fuzz

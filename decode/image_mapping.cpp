#include "decode/image_mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif

namespace r38 {

namespace {

// A page of a mapped file can fail to read long after it was mapped: the file may be shortened
// by somebody else, which takes the pages beyond its new end away again even once they were made
// readable. Touching such a page raises SIGBUS. So that this never ends the process, the mapped
// ranges are guarded: a fault inside one puts zero bytes in place of the rest of the range and
// notes where they begin. Zero bytes are image words of count 0, which stand for nothing, so the
// decoder passes over them as if they were not there, and the reader, seeing the note at its
// next window, goes on reading from the file itself at that page, which reports where the file
// now ends, or what it holds there after all. (A cut inside a page leaves that page readable,
// with zero bytes past the new end; a cut at an odd length thus still yields one more word.)
struct GuardedRange {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::uintptr_t> zeros_from{0};  // the first page put in place, or 0
};

constexpr int GUARDED_RANGES = 16;
GuardedRange guarded[GUARDED_RANGES];
std::mutex guard_mutex;
struct sigaction earlier_action;
std::uintptr_t page_size = 4096;
bool handler_installed = false;

void on_bus_error(int signal, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardedRange& range : guarded) {
    const std::uintptr_t begin = range.begin.load(std::memory_order_acquire);
    const std::uintptr_t end = range.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    const std::uintptr_t page = address & ~(page_size - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      const std::uintptr_t earlier = range.zeros_from.load(std::memory_order_relaxed);
      if (earlier == 0 || page < earlier) range.zeros_from.store(page, std::memory_order_release);
      errno = saved_errno;
      return;  // the access is made again and now reads zeros
    }
    break;
  }
  // Not one of ours: whatever would have happened without this handler.
  errno = saved_errno;
  if ((earlier_action.sa_flags & SA_SIGINFO) != 0) {
    earlier_action.sa_sigaction(signal, info, context);
  } else if (earlier_action.sa_handler != SIG_DFL && earlier_action.sa_handler != SIG_IGN) {
    earlier_action.sa_handler(signal);
  } else {
    // The access is made again and the fault now ends the process, as it would have.
    ::signal(SIGBUS, SIG_DFL);
  }
}

// Guards [begin, end) and returns its place, or -1 when no place is free or no handler can be
// installed.
int guard_range(const std::uint8_t* begin, std::size_t size) {
  std::lock_guard lock(guard_mutex);
  if (!handler_installed) {
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGBUS, &action, &earlier_action) != 0) return -1;
    page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    handler_installed = true;
  }
  for (int i = 0; i < GUARDED_RANGES; ++i) {
    if (guarded[i].begin.load(std::memory_order_relaxed) != 0) continue;
    guarded[i].zeros_from.store(0, std::memory_order_relaxed);
    guarded[i].end.store(reinterpret_cast<std::uintptr_t>(begin) + size, std::memory_order_relaxed);
    guarded[i].begin.store(reinterpret_cast<std::uintptr_t>(begin), std::memory_order_release);
    return i;
  }
  return -1;
}

void unguard_range(int place) {
  std::lock_guard lock(guard_mutex);
  guarded[place].begin.store(0, std::memory_order_release);
  guarded[place].end.store(0, std::memory_order_release);
}

}  // namespace

ImageMapping::ImageMapping(int fd, std::size_t min_size) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) return;
  if (static_cast<std::uintmax_t>(status.st_size) < min_size) return;
  // A descriptor that has been read from already is read on from where it stands.
  if (::lseek(fd, 0, SEEK_CUR) != 0) return;
  // Where the address space is too small for the whole file, it is read instead.
  if (static_cast<std::uintmax_t>(status.st_size) > SIZE_MAX / 4) return;
  const auto size = static_cast<std::size_t>(status.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) return;
  guard_ = guard_range(static_cast<const std::uint8_t*>(mapped), size);
  if (guard_ < 0) {
    ::munmap(mapped, size);
    return;
  }
  ::madvise(mapped, size, MADV_SEQUENTIAL);
  data_ = static_cast<std::uint8_t*>(mapped);
  size_ = size;
}

ImageMapping::~ImageMapping() {
  if (data_ == nullptr) return;
  unguard_range(guard_);
  ::munmap(data_, size_);
}

std::size_t ImageMapping::intact() const {
  const std::uintptr_t zeros = guarded[guard_].zeros_from.load(std::memory_order_acquire);
  if (zeros == 0) return readable_;
  const std::size_t from = zeros - reinterpret_cast<std::uintptr_t>(data_);
  return from < readable_ ? from : readable_;
}

bool ImageMapping::advance(std::size_t reading_at) {
  if (data_ == nullptr || readable_ == size_) return false;
  if (intact() < readable_) return false;
  // Let go of the pages behind, so that memory use stays the same for any size of image.
  if (reading_at > WINDOW_SIZE) {
    const std::size_t behind = (reading_at - WINDOW_SIZE) & ~(page_size - 1);
    if (behind > released_) {
      ::madvise(data_ + released_, behind - released_, MADV_DONTNEED);
      released_ = behind;
    }
  }
  // Making the pages readable up front reports a page that cannot be read as an error here,
  // where touching it would raise SIGBUS.
  const std::size_t length = size_ - readable_ < WINDOW_SIZE ? size_ - readable_ : WINDOW_SIZE;
  if (::madvise(data_ + readable_, length, MADV_POPULATE_READ) != 0) return false;
  readable_ += length;
  return true;
}

}  // namespace r38

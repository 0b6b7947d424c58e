// A regular file's bytes mapped into memory and made readable a window at a time, so that a large
// image is decoded where the page cache holds it instead of being copied into a buffer first.
//
// The first mapping installs a SIGBUS handler for the whole process, so that a page that falls
// away while it is read (the file shortened by another program) cannot end it; bus errors
// outside mapped images go on to the handler it replaced, or end the process as before.
#pragma once

#include <cstddef>
#include <cstdint>

namespace r38 {

class ImageMapping {
 public:
  // Bytes made readable, and kept readable behind the reading position, at a time.
  static constexpr std::size_t WINDOW_SIZE = 1024 * 1024;

  // Maps the whole of the regular file open on `fd` (which stays owned by the caller and stands
  // at its start), with no byte readable yet. Fails (is_mapped() false) for anything else: a file
  // smaller than `min_size` or empty, a descriptor read from already, a pipe, a terminal, or a
  // file system that cannot map. A system that cannot report a failed page fails the first
  // window instead.
  explicit ImageMapping(int fd, std::size_t min_size = 1);
  ~ImageMapping();
  ImageMapping(const ImageMapping&) = delete;
  ImageMapping& operator=(const ImageMapping&) = delete;

  bool is_mapped() const { return data_ != nullptr; }
  const std::uint8_t* data() const { return data_; }
  // The file's size when it was mapped.
  std::size_t size() const { return size_; }
  // Bytes from the start that are readable now.
  std::size_t readable() const { return readable_; }

  // How many of the readable bytes still hold the file's bytes. A page that falls away after it
  // was made readable (the file has been shortened since) reads as zero bytes from there on,
  // instead of ending the process, and is no longer counted here.
  std::size_t intact() const;

  // Makes the next window readable and lets go of what lies more than a window behind
  // `reading_at`, which must not go back later. Returns false, and makes nothing more readable,
  // once the mapping has nothing more to give: the end of the mapped size, a page that cannot be
  // read (a read error, or a file that has since become shorter) or pages that fell away. What
  // follows is then to be read from the file itself, from intact() on.
  bool advance(std::size_t reading_at);

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t readable_ = 0;
  std::size_t released_ = 0;
  int guard_ = -1;  // this mapping's place among the guarded ranges
};

}  // namespace r38

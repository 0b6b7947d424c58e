// Reads a tape image's bytes in large chunks, from a file descriptor or from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/image_mapping.h"

namespace r38 {

// How an ImageReader takes the bytes of a file: AUTOMATIC maps a regular file of at least
// MAP_THRESHOLD bytes and reads anything else; MAP maps every regular file (tests use it to
// check the mapped path on small images); READ always reads into the reader's own buffer.
enum class ReadMethod { AUTOMATIC, MAP, READ };

class ImageReader {
 public:
  static constexpr std::size_t CHUNK_SIZE = 256 * 1024;
  // Below this size reading costs less than mapping.
  static constexpr std::size_t MAP_THRESHOLD = 4 * 1024 * 1024;

  // Reads from an open descriptor standing at the start of the file, which stays owned by the
  // caller. Pipes work as well as files. A large file is mapped instead, so that its bytes are
  // decoded where the system holds them rather than copied first; what the reader hands out,
  // and where it meets the end or a read error, is the same either way.
  explicit ImageReader(int fd, ReadMethod method = ReadMethod::AUTOMATIC);
  // Reads from bytes held in memory, which must outlive the reader.
  ImageReader(const std::uint8_t* data, std::size_t size);

  ImageReader(const ImageReader&) = delete;
  ImageReader& operator=(const ImageReader&) = delete;

  // The next byte, 0..255, or END_OF_INPUT once the image is exhausted or a read failed. Once
  // the end has been met, every later call meets it again.
  int read_image_byte() {
    if (pos_ < end_) return *pos_++;
    return refill_and_read();
  }

  // Makes up to `count` further bytes available without consuming them (fewer where the image
  // ends first) and returns how many are there; they start at `data()`.
  std::size_t peek(std::size_t count);
  const std::uint8_t* data() const { return pos_; }
  std::size_t buffered() const { return static_cast<std::size_t>(end_ - pos_); }
  // Consumes `count` bytes already made available by peek() or present in the buffer.
  void skip(std::size_t count) { pos_ += count; }

  // Offset in the image of the next byte read_image_byte() returns.
  std::uint64_t offset() const {
    return consumed_before_ + static_cast<std::uint64_t>(pos_ - begin_);
  }

  bool at_end() const { return at_end_; }
  // Whether the bytes are taken from a mapping of the file at present.
  bool is_mapped() const { return mapping_ != nullptr; }
  // The errno of a failed read, 0 when the image has been read without error.
  int read_error() const { return error_; }

 private:
  int refill_and_read();
  bool refill(std::size_t keep);
  bool map_more();
  bool leave_mapping();

  int fd_ = -1;
  std::unique_ptr<ImageMapping> mapping_;
  std::unique_ptr<std::uint8_t[]> storage_;
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* pos_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint64_t consumed_before_ = 0;
  bool at_end_ = false;
  int error_ = 0;
};

}  // namespace r38

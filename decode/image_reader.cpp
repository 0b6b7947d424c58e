#include "decode/image_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "decode/tape_format.h"

namespace r38 {

void load_first_line(const std::uint8_t* head, std::size_t available, BlockBuffer& buffer) {
  std::size_t line = 0;
  while (line < available && line < FIRST_LINE_LENGTH) {
    buffer[line] = head[line];
    if (buffer[line++] == '\n') break;
  }
  buffer[line] = 0;
}

bool is_tape_image(const std::uint8_t* head, std::size_t length) {
  if (length < IMAGE_MAGIC_LENGTH) return false;
  if (std::memcmp(head, IMAGE_MAGIC, IMAGE_MAGIC_LENGTH) != 0) return false;
  // The magic is read as a text line and compared as a string, so a file that goes on after it
  // matches only when the next byte ends that string.
  return length == IMAGE_MAGIC_LENGTH || head[IMAGE_MAGIC_LENGTH] == 0x00;
}

ImageReader::ImageReader(int fd, ReadMethod method) : fd_(fd) {
  if (method != ReadMethod::READ) {
    auto mapping =
        std::make_unique<ImageMapping>(fd, method == ReadMethod::MAP ? 1 : MAP_THRESHOLD);
    if (mapping->is_mapped()) {
      mapping_ = std::move(mapping);
      begin_ = pos_ = end_ = mapping_->data();
      return;
    }
  }
  storage_.reset(new std::uint8_t[CHUNK_SIZE]);
  begin_ = pos_ = end_ = storage_.get();
}

ImageReader::ImageReader(const std::uint8_t* data, std::size_t size)
    : begin_(data), pos_(data), end_(data + size), at_end_(false) {}

int ImageReader::refill_and_read() {
  if (!refill(0)) return END_OF_INPUT;
  return *pos_++;
}

// Moves the `keep` unread bytes to the front of the buffer and reads more behind them. Returns
// false when nothing more could be read.
bool ImageReader::refill(std::size_t keep) {
  if (at_end_) return false;
  if (mapping_ != nullptr) {
    if (map_more()) return true;
    if (!leave_mapping()) return false;
    keep = buffered();
  }
  if (!storage_) {  // an image in memory has nothing more to read
    at_end_ = true;
    return false;
  }
  std::uint8_t* base = storage_.get();
  consumed_before_ += static_cast<std::uint64_t>(pos_ - begin_);
  if (keep > 0 && pos_ != base) std::memmove(base, pos_, keep);
  begin_ = pos_ = base;
  end_ = base + keep;
  for (;;) {
    ssize_t n = ::read(fd_, base + keep, CHUNK_SIZE - keep);
    if (n > 0) {
      end_ = base + keep + n;
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    at_end_ = true;
    return false;
  }
}

// Makes the mapping's next window readable, keeping every byte not consumed yet where it is.
bool ImageReader::map_more() {
  if (!mapping_->advance(static_cast<std::size_t>(pos_ - begin_))) return false;
  end_ = mapping_->data() + mapping_->readable();
  return true;
}

// The mapping has nothing more to give: the rest of the file (anything it gained since it was
// mapped, or the error or end that made a window fail) is read from the file itself into the
// reader's own buffer, which takes along the bytes not consumed yet. Where pages fell
// away, reading goes on from the first of them, and any of their zero bytes already consumed are
// forgotten: as image words they stood for nothing. Returns false when reading cannot be set up,
// which ends the image with the error.
bool ImageReader::leave_mapping() {
  const std::size_t resume = mapping_->intact();
  const auto at = static_cast<std::size_t>(pos_ - begin_);
  // Called only with fewer than CHUNK_SIZE bytes left before the readable end, and resume lies
  // at or before that end, so the bytes kept fit the buffer.
  const std::size_t keep = resume > at ? resume - at : 0;
  consumed_before_ += resume > at ? at : resume;
  storage_.reset(new std::uint8_t[CHUNK_SIZE]);
  std::memcpy(storage_.get(), pos_, keep);
  begin_ = pos_ = storage_.get();
  end_ = begin_ + keep;
  mapping_.reset();
  if (::lseek(fd_, static_cast<off_t>(resume), SEEK_SET) < 0) {
    error_ = errno;
    at_end_ = true;
    return false;
  }
  return true;
}

std::size_t ImageReader::peek(std::size_t count) {
  if (count > CHUNK_SIZE) count = CHUNK_SIZE;
  while (buffered() < count && refill(buffered())) {
  }
  return buffered() < count ? buffered() : count;
}

}  // namespace r38

#include "encode/tape_encoder.h"

#include <algorithm>
#include <utility>

namespace r38 {

TapeEncoder::TapeEncoder(Phase phase) : phase_(phase) {
  image_.assign(IMAGE_MAGIC, IMAGE_MAGIC + IMAGE_MAGIC_LENGTH);
  // An image is only accepted when its first word is stored low with a count below 256.
  raw_word(LONG_HALF_CYCLE);
  // Under the reverse phase that stored low word reads as high: a low run must come before the
  // first bit cell's rising edge.
  if (phase_ == PHASE_REVERSE) word(0, LONG_HALF_CYCLE);
}

TapeEncoder& TapeEncoder::raw_word(std::uint16_t word) {
  image_.push_back(static_cast<std::uint8_t>(word >> 8));
  image_.push_back(static_cast<std::uint8_t>(word & 0xFF));
  return *this;
}

TapeEncoder& TapeEncoder::raw_bytes(std::span<const std::uint8_t> bytes) {
  image_.insert(image_.end(), bytes.begin(), bytes.end());
  return *this;
}

TapeEncoder& TapeEncoder::word(int level, unsigned count) {
  const int stored = phase_ == PHASE_NORMAL ? level : 1 - level;
  const unsigned level_bit = stored ? LEVEL_BIT : 0;
  do {
    const unsigned part = std::min(count, COUNT_MASK);
    raw_word(static_cast<std::uint16_t>(level_bit | part));
    count -= part;
  } while (count > 0);
  return *this;
}

TapeEncoder& TapeEncoder::bit(int value) {
  if (value) {
    word(1, SHORT_HALF_CYCLE).word(0, SHORT_HALF_CYCLE);
    word(1, SHORT_HALF_CYCLE).word(0, SHORT_HALF_CYCLE);
  } else {
    word(1, LONG_HALF_CYCLE).word(0, LONG_HALF_CYCLE);
  }
  return *this;
}

TapeEncoder& TapeEncoder::idle_bits(int count) {
  for (int i = 0; i < count; ++i) bit(1);
  return *this;
}

TapeEncoder& TapeEncoder::frame(int value, int stop1, int stop2) {
  bit(0);
  for (int i = 0; i < 8; ++i) bit((value >> i) & 1);
  return bit(stop1).bit(stop2);
}

TapeEncoder& TapeEncoder::block(int type, std::span<const std::uint8_t> data, int lead_in) {
  idle_bits(lead_in);
  byte(SYNC_MARK_FIRST).byte(SYNC_MARK_SECOND).byte(type).byte(static_cast<int>(data.size()));
  for (std::uint8_t b : data) byte(b);
  return byte(block_checksum(type, data));
}

std::array<std::uint8_t, 11> header_block_data(const TapeFile& file) {
  std::array<std::uint8_t, 11> header{};
  std::copy(file.name.begin(), file.name.end(), header.begin());
  header[8] = static_cast<std::uint8_t>(file.file_type);
  header[9] = file.ascii_mark[0];
  header[10] = file.ascii_mark[1];
  return header;
}

std::vector<std::vector<std::uint8_t>> file_data_blocks(const TapeFile& file) {
  std::vector<std::vector<std::uint8_t>> blocks;
  const std::vector<std::uint8_t>& data = file.data;
  if (file.file_type != FILE_MACHINE) {
    for (std::size_t at = 0; at < data.size(); at += MAX_BLOCK_DATA) {
      const std::size_t n = std::min<std::size_t>(MAX_BLOCK_DATA, data.size() - at);
      blocks.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                          data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    return blocks;
  }
  const std::size_t length = data.size();
  std::vector<std::uint8_t> current = {0, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length & 0xFF),
                                       static_cast<std::uint8_t>(file.load_address >> 8),
                                       static_cast<std::uint8_t>(file.load_address & 0xFF)};
  for (std::uint8_t b : data) {
    if (current.size() == MAX_BLOCK_DATA) blocks.push_back(std::exchange(current, {}));
    current.push_back(b);
  }
  // The decoder reads the execution address from bytes 3 and 4 of the trailer within the block
  // in which the program ends, so the trailer must fit whole: otherwise it opens the next block.
  const std::array<std::uint8_t, 5> trailer = {0, 0, 0,
                                               static_cast<std::uint8_t>(file.exec_address >> 8),
                                               static_cast<std::uint8_t>(file.exec_address & 0xFF)};
  if (current.size() + trailer.size() > MAX_BLOCK_DATA)
    blocks.push_back(std::exchange(current, {}));
  current.insert(current.end(), trailer.begin(), trailer.end());
  blocks.push_back(std::move(current));
  return blocks;
}

void encode_file(TapeEncoder& encoder, const TapeFile& file) {
  const auto header = header_block_data(file);
  encoder.block(BLOCK_HEADER, header, HEADER_LEAD_IN_BITS);
  for (const auto& data : file_data_blocks(file)) encoder.block(BLOCK_DATA, data);
  encoder.block(BLOCK_END, {});
  encoder.idle_bits(8);
}

}  // namespace r38

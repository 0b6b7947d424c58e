// Writes tape images: the mirror of the decoding chain, layer for layer (words, bit cells,
// framed bytes, checksummed blocks, whole files).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "decode/tape_format.h"

namespace r38 {

// Standard bit cells, in counts: a 0 is one long cycle, a 1 two short ones. Both cells span 56
// counts, and the decoder samples them at count 35 from the edge.
inline constexpr unsigned LONG_HALF_CYCLE = 28;
inline constexpr unsigned SHORT_HALF_CYCLE = 14;
// Idle 1 bits written before each block, so that a loader can settle on the signal.
inline constexpr int HEADER_LEAD_IN_BITS = 256;
inline constexpr int BLOCK_LEAD_IN_BITS = 32;

class TapeEncoder {
 public:
  // Starts an image: the magic and a first low word. Under PHASE_REVERSE every level is stored
  // inverted, so that a decoder reading with that phase sees the signal as written.
  explicit TapeEncoder(Phase phase = PHASE_NORMAL);

  // One word of `count` counts at `level` as the decoder will see it. Counts above COUNT_MASK
  // are split over several words of the same level.
  TapeEncoder& word(int level, unsigned count);
  // A word written exactly as given, without the phase applied.
  TapeEncoder& raw_word(std::uint16_t word);
  // Bytes appended as they are (an odd final byte, say).
  TapeEncoder& raw_bytes(std::span<const std::uint8_t> bytes);
  TapeEncoder& bit(int value);
  TapeEncoder& idle_bits(int count);
  // A framed byte with the given stop bits (both 1 for a well-formed frame).
  TapeEncoder& frame(int value, int stop1 = 1, int stop2 = 1);
  TapeEncoder& byte(int value) { return frame(value); }
  // A block preceded by `lead_in` idle bits: sync mark, type, length, data and checksum.
  TapeEncoder& block(int type, std::span<const std::uint8_t> data,
                     int lead_in = BLOCK_LEAD_IN_BITS);

  const std::vector<std::uint8_t>& image() const { return image_; }
  std::vector<std::uint8_t> take() { return std::move(image_); }

 private:
  std::vector<std::uint8_t> image_;
  Phase phase_;
};

inline int block_checksum(int type, std::span<const std::uint8_t> data) {
  int sum = type + static_cast<int>(data.size());
  for (std::uint8_t b : data) sum += b;
  return sum & 0xFF;
}

// A file as it is recorded on tape.
struct TapeFile {
  std::array<std::uint8_t, 8> name{};  // exactly as stored: no terminator, padding included
  int file_type = 0;
  std::array<std::uint8_t, 2> ascii_mark{};
  std::vector<std::uint8_t> data;  // for a machine-language program, the program bytes alone
  std::uint16_t load_address = 0;  // machine-language programs only
  std::uint16_t exec_address = 0;
};

// The data blocks' contents of a file, in order, each at most MAX_BLOCK_DATA bytes. A machine-
// language program gets its preamble and trailer, and its trailer is never split over two
// blocks.
std::vector<std::vector<std::uint8_t>> file_data_blocks(const TapeFile& file);
std::array<std::uint8_t, 11> header_block_data(const TapeFile& file);

// Header block, data blocks, end block.
void encode_file(TapeEncoder& encoder, const TapeFile& file);

}  // namespace r38

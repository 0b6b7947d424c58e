// Builds tape images for tests so that a test reads like the tape it describes: raw words, bit
// cells, framed bytes (good or damaged), blocks (with a right or wrong checksum) and files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "encode/tape_encoder.h"

namespace r38::test {

// In a list of frames: a byte whose second stop bit is 0, which the decoder reads as a framing
// error. Its data bits hold 0xFE, so only the stop bit tells it apart.
inline constexpr int DAMAGED = -2;

class TapeBuilder : public TapeEncoder {
 public:
  explicit TapeBuilder(Phase phase = PHASE_NORMAL) : TapeEncoder(phase) {}

  // The encoder's steps, returning the builder so that chains can mix both.
  TapeBuilder& word(int level, unsigned count) { return step(TapeEncoder::word(level, count)); }
  TapeBuilder& raw_word(std::uint16_t w) { return step(TapeEncoder::raw_word(w)); }
  TapeBuilder& bit(int value) { return step(TapeEncoder::bit(value)); }
  TapeBuilder& idle_bits(int count) { return step(TapeEncoder::idle_bits(count)); }
  TapeBuilder& frame(int value, int stop1 = 1, int stop2 = 1) {
    return step(TapeEncoder::frame(value, stop1, stop2));
  }

  // Framed bytes in order; DAMAGED stands for a damaged byte.
  TapeBuilder& frames(std::initializer_list<int> values);
  TapeBuilder& frames(const std::vector<int>& values);
  // A good block (lead-in, sync mark, type, length, data, checksum).
  TapeBuilder& good_block(int type, const std::vector<std::uint8_t>& data);
  // A block whose checksum byte is the given one, right or wrong.
  TapeBuilder& block_with_checksum(int type, const std::vector<std::uint8_t>& data, int checksum);
  TapeBuilder& file(const TapeFile& file);

  std::vector<std::uint8_t> bytes() const { return image(); }

 private:
  TapeBuilder& step(TapeEncoder&) { return *this; }
};

// The 8 stored name bytes: the text, padded with zero bytes.
std::array<std::uint8_t, 8> tape_name(const std::string& text, std::uint8_t pad = 0);

TapeFile basic_file(const std::string& name, const std::string& text, bool ascii = true);
TapeFile data_file(const std::string& name, const std::vector<std::uint8_t>& data);
TapeFile machine_file(const std::string& name, const std::vector<std::uint8_t>& program,
                      std::uint16_t load, std::uint16_t exec);
TapeFile unknown_file(const std::string& name, int type, const std::vector<std::uint8_t>& data);

// The magic followed by the given bytes, for tests of the word and tick level.
std::vector<std::uint8_t> image_with(std::initializer_list<std::uint8_t> after_magic);

// `count` bytes of a fixed pseudo-random pattern.
std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed = 1);

}  // namespace r38::test

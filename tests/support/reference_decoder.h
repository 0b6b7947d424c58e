// The decoding chain written literally, one tick at a time, exactly as the rules describe it.
// It is the yardstick the word-level decoder is checked against and the slow side of the
// benchmarks; nothing in the tools uses it.
#pragma once

#include <cstdint>

#include "decode/image_reader.h"
#include "decode/tape_format.h"

namespace r38::test {

class ReferenceDecoder {
 public:
  // `reader` must stand on the first image word.
  ReferenceDecoder(ImageReader& reader, Phase phase) : reader_(reader), phase_(phase) {}

  int take_tick();
  int read_bit();
  int read_byte();
  int read_block(BlockBuffer& buffer, int& block_type);

  std::uint64_t block_offset() const { return block_offset_; }
  std::int32_t pulse_ticks() const { return pulse_ticks_; }
  int pulse_level() const { return pulse_level_; }

 private:
  ImageReader& reader_;
  const Phase phase_;
  std::int32_t pulse_ticks_ = 0;
  int pulse_level_ = 0;
  std::uint64_t block_offset_ = 0;
  std::uint64_t byte_offset_ = 0;
};

}  // namespace r38::test

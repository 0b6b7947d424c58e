// The decoding chain: image words to ticks, ticks to bits, bits to bytes, bytes to blocks.
#pragma once

#include <cstdint>

#include "decode/image_reader.h"
#include "decode/tape_format.h"

namespace r38 {

// One pass over one image. Each layer asks the layer below for its next item; nothing is queued
// and nothing is read twice. The only memory between calls is the position within the current
// image word (`pulse_ticks`, `pulse_level`), so decoding continues seamlessly across bit, byte
// and block boundaries and after every error.
class TapeDecoder {
 public:
  // `reader` must stand on the first image word.
  TapeDecoder(ImageReader& reader, Phase phase) : reader_(reader), phase_(phase) {}

  // The level of the next tick with the phase applied, 0 or 1, or END_OF_INPUT.
  int take_tick();
  // The level sampled SAMPLE_DELAY ticks after the next rising edge, or END_OF_INPUT.
  int read_bit();
  // The next framed byte (start bit 0, eight data bits least significant first, two stop bits
  // 1), FRAMING_ERROR when a stop bit was 0, or END_OF_INPUT.
  int read_byte();
  // Finds the next block and stores its data bytes in `buffer` from position 0 onwards. Returns
  // the number of data bytes, CHECKSUM_ERROR or END_OF_INPUT. `block_type` receives the type byte
  // as soon as it has been read.
  int read_block(BlockBuffer& buffer, int& block_type);

  Phase phase() const { return phase_; }
  ImageReader& reader() { return reader_; }
  // Where the block read last begins: the image offset of the word in which the start bit of
  // its sync mark was sampled.
  std::uint64_t block_offset() const { return block_offset_; }

  std::int32_t pulse_ticks() const { return pulse_ticks_; }
  int pulse_level() const { return pulse_level_; }

 private:
  ImageReader& reader_;
  const Phase phase_;
  std::int32_t pulse_ticks_ = 0;  // ticks still to be taken from the current word
  int pulse_level_ = 0;           // stored level of the current word, before the phase
  std::uint64_t block_offset_ = 0;
  std::uint64_t byte_offset_ = 0;  // offset of the word holding the last start bit's sample
};

}  // namespace r38

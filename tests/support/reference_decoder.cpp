#include "support/reference_decoder.h"

namespace r38::test {

int ReferenceDecoder::take_tick() {
  while (pulse_ticks_ <= 0) {
    const int high = reader_.read_image_byte();
    if (high == END_OF_INPUT) return END_OF_INPUT;
    // A word cut short by the end of the image is never used.
    const int low = reader_.read_image_byte();
    if (low == END_OF_INPUT) return END_OF_INPUT;
    const unsigned word = static_cast<unsigned>(high) << 8 | static_cast<unsigned>(low);
    pulse_ticks_ += TICKS_PER_COUNT * static_cast<std::int32_t>(word & COUNT_MASK);
    pulse_level_ = (word & LEVEL_BIT) ? 1 : 0;
  }
  --pulse_ticks_;
  return phase_ == PHASE_NORMAL ? pulse_level_ : 1 - pulse_level_;
}

int ReferenceDecoder::read_bit() {
  int level;
  do {  // wait for a low tick
    level = take_tick();
    if (level == END_OF_INPUT) return END_OF_INPUT;
  } while (level != 0);
  do {  // wait for the rising edge: the first high tick after a low one
    level = take_tick();
    if (level == END_OF_INPUT) return END_OF_INPUT;
  } while (level != 1);
  // Sample. The stage always makes all its steps, so a sample point beyond the end of the image
  // is reported as END_OF_INPUT rather than as the level of the last tick seen.
  for (int step = 0; step < SAMPLE_DELAY; ++step) level = take_tick();
  return level;
}

int ReferenceDecoder::read_byte() {
  int bit;
  do {  // idle 1 bits before the start bit are skipped
    bit = read_bit();
    if (bit == END_OF_INPUT) return END_OF_INPUT;
  } while (bit != 0);
  // A bit returns with its sampled word still current, so that word is the last one read.
  byte_offset_ = reader_.offset() - 2;
  int value = 0;
  for (int i = 0; i < 8; ++i) {
    bit = read_bit();
    if (bit == END_OF_INPUT) return END_OF_INPUT;
    value = (value >> 1) | (bit << 7);
  }
  const int stop1 = read_bit();
  if (stop1 == END_OF_INPUT) return END_OF_INPUT;
  const int stop2 = read_bit();
  if (stop2 == END_OF_INPUT) return END_OF_INPUT;
  return (stop1 == 1 && stop2 == 1) ? value : FRAMING_ERROR;
}

int ReferenceDecoder::read_block(BlockBuffer& buffer, int& block_type) {
  // Both bytes of the sync mark must be read within this call: a 0x01 that ended the previous
  // block does not pair with a 0x3C read first here.
  int previous = 0;
  for (;;) {
    const int byte = read_byte();
    if (byte == END_OF_INPUT) return END_OF_INPUT;
    if (previous == SYNC_MARK_FIRST && byte == SYNC_MARK_SECOND) break;
    if (byte == SYNC_MARK_FIRST) block_offset_ = byte_offset_;
    previous = byte;
  }
  const int type = read_byte();
  block_type = type;
  if (type == END_OF_INPUT) return END_OF_INPUT;
  const int length = read_byte();
  if (length == END_OF_INPUT) return END_OF_INPUT;
  // A damaged byte counts in the sum as -2, which agrees with 0xFE in its low 8 bits. A damaged
  // length reads no data at all.
  int sum = type + length;
  int count = 0;
  while (count < length) {
    const int byte = read_byte();
    if (byte == END_OF_INPUT) return END_OF_INPUT;
    buffer[static_cast<std::size_t>(count)] = static_cast<std::uint8_t>(byte & 0xFF);
    sum += byte;
    ++count;
  }
  const int checksum = read_byte();
  if (checksum == END_OF_INPUT) return END_OF_INPUT;
  return checksum == (sum & 0xFF) ? count : CHECKSUM_ERROR;
}

}  // namespace r38::test

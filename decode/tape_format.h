// The tape image format and the values every layer of the decoding chain shares.
#pragma once

#include <cstddef>
#include <cstdint>

namespace r38 {

// Every decoder operation returns a plain signed integer: a value (a level, a bit, a byte, a
// count of data bytes) when it is 0 or more, one of these conditions when it is negative.
inline constexpr int END_OF_INPUT = -1;    // the image holds nothing more (or could not be read)
inline constexpr int FRAMING_ERROR = -2;   // a byte whose stop bits were not both 1
inline constexpr int CHECKSUM_ERROR = -3;  // a block whose checksum did not match

// How stored levels are read: as they stand, or inverted (a recording made with the opposite
// polarity). The flag values are part of the format's history and kept as they are.
enum Phase : int {
  PHASE_REVERSE = 0,
  PHASE_NORMAL = 1,
};

// Every tape image begins with these 16 characters, without a terminator; its first word
// follows at IMAGE_DATA_OFFSET.
inline constexpr char IMAGE_MAGIC[] = "ORV TAPE IMAGE 0";
inline constexpr std::size_t IMAGE_MAGIC_LENGTH = sizeof(IMAGE_MAGIC) - 1;
inline constexpr std::size_t IMAGE_DATA_OFFSET = 16;

// An image word is 16 bits, big-endian: the level in bit 15, a count in bits 14..0. A word of
// count n stands for TICKS_PER_COUNT * n ticks of its level.
inline constexpr unsigned LEVEL_BIT = 0x8000;
inline constexpr unsigned COUNT_MASK = 0x7FFF;
inline constexpr int TICKS_PER_COUNT = 9;

// A bit is the level sampled this many ticks after the tick that marks a rising edge.
inline constexpr int SAMPLE_DELAY = 312;
// Counting the edge's word as the first, the sampled tick lies in the first word at which the
// counts summed from the edge reach this many: every word begins 9k ticks after the edge, and
// tick 313 is the 7th tick of the 35th count. That word then keeps at least two ticks.
inline constexpr unsigned SAMPLE_COUNT = SAMPLE_DELAY / TICKS_PER_COUNT + 1;

// Blocks begin with this two-byte mark; the type byte that follows says what the block holds.
inline constexpr int SYNC_MARK_FIRST = 0x01;
inline constexpr int SYNC_MARK_SECOND = 0x3C;
inline constexpr int BLOCK_HEADER = 0x00;
inline constexpr int BLOCK_DATA = 0x01;
inline constexpr int BLOCK_END = 0xFF;
inline constexpr int MAX_BLOCK_DATA = 255;

// File types, from byte 8 of a header block.
inline constexpr int FILE_BASIC = 0;       // a BASIC program, as ASCII text or as I-code
inline constexpr int FILE_BASIC_DATA = 1;  // a data file written by a BASIC program
inline constexpr int FILE_MACHINE = 2;  // a machine-language program with load and exec addresses

// The one buffer that receives each block's data. It is larger than any block because the
// extractor reads header and preamble fields at fixed positions, some of which may lie past a
// short block's data; those positions then keep whatever an earlier block left there.
inline constexpr std::size_t BLOCK_BUFFER_SIZE = 1024;
struct BlockBuffer {
  std::uint8_t bytes[BLOCK_BUFFER_SIZE] = {};
  std::uint8_t& operator[](std::size_t i) { return bytes[i]; }
  std::uint8_t operator[](std::size_t i) const { return bytes[i]; }
};

// The magic is read as the image's first text line, at most FIRST_LINE_LENGTH bytes up to a line
// feed, into the block buffer; fields of a short first block are later read at their fixed
// positions in that buffer, so what the line leaves there matters. `head` holds the image's first
// `available` bytes.
inline constexpr std::size_t FIRST_LINE_LENGTH = 19;
void load_first_line(const std::uint8_t* head, std::size_t available, BlockBuffer& buffer);

// Whether a file's first bytes make it a tape image: the magic, then either the end of the file
// or a zero byte. `head` holds the file's first `length` bytes (at least 17 where the file has
// them).
bool is_tape_image(const std::uint8_t* head, std::size_t length);

}  // namespace r38

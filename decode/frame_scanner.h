// Decodes whole byte frames ahead over a regular stretch of image words, many words at a time.
//
// Where the signal is regular (levels alternate and no word has count 0) the bit decisions reduce
// to comparisons on pairs of words. Counting from an edge, a pair of high count h and low count l
// with h + l >= 35 holds the whole bit (1 when h >= 35, else 0) and the next bit begins at the
// next pair. A "short" pair (h + l < 35) takes the following pair as well: 1 when the counts
// reach 35 in its high word, 0 in its low word, and the next bit begins one pair later. Which
// pairs begin a bit is then a matter of runs of short pairs, solved for 64 pairs at a time by one
// addition (see skipped_pairs). A bit the scan cannot be sure of in this way (an irregular word,
// or a 0 after a short pair whose next pair is short too, which could reach further) ends the
// scan at the exact bit where it begins, and the word-at-a-time machine takes over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/tape_format.h"

namespace r38 {

// Word pairs looked at by one scan at most, in chunks of 64.
inline constexpr unsigned SCAN_PAIRS = 1024;
inline constexpr unsigned SCAN_CHUNK_PAIRS = 64;
inline constexpr unsigned SCAN_CHUNKS = SCAN_PAIRS / SCAN_CHUNK_PAIRS;
// A frame takes eleven bits and every bit at least one pair.
inline constexpr unsigned MAX_SCANNED_BYTES = SCAN_PAIRS / 11 + 1;

// What one scan found, from a read_byte boundary on. Offsets count bytes from the first word the
// scan was given. Only the frames' values are written out per byte; where a byte's bits were
// sampled is worked out from the bits and their pairs when somebody asks (see sample_point).
struct FrameScan {
  unsigned bytes = 0;                           // complete frames
  std::int16_t values[MAX_SCANNED_BYTES];       // 0..255 or FRAMING_ERROR
  std::uint16_t start_bits[MAX_SCANNED_BYTES];  // the bit index of each frame's start bit
  int idle_through = -1;  // with no frame: the last idle 1 bit passed over, or -1

  // The bits decided, in order, and the pairs that began them.
  std::uint32_t edge = 0;  // the edge word of bit 0, where pair 0 begins
  unsigned phase_flip = 0;
  unsigned count = 0;
  unsigned chunks = 0;
  std::uint64_t bits[SCAN_CHUNKS + 1];
  std::uint64_t starts[SCAN_CHUNKS];  // per chunk, the pairs that begin a bit
  std::uint16_t first_bit[SCAN_CHUNKS + 1];

  void clear_bits() {
    count = chunks = 0;
    for (auto& b : bits) b = 0;
  }
  void append_bits(std::uint64_t value, unsigned n) {
    const unsigned at = count % 64;
    bits[count / 64] |= value << at;
    if (at != 0 && at + n > 64) bits[count / 64 + 1] = value >> (64 - at);
    count += n;
  }
  int bit(unsigned k) const { return static_cast<int>(bits[k / 64] >> (k % 64) & 1); }
  // `n` (at most 57) bits from bit `k` on.
  std::uint64_t take(unsigned k, unsigned n) const {
    const unsigned at = k % 64;
    std::uint64_t v = bits[k / 64] >> at;
    if (at != 0 && at + n > 64) v |= bits[k / 64 + 1] << (64 - at);
    return v & ((std::uint64_t{1} << n) - 1);
  }
  // The first 0 bit at `k` or later, or `count` when there is none.
  unsigned next_zero(unsigned k) const {
    while (k < count) {
      const std::uint64_t zeros = ~bits[k / 64] >> (k % 64);
      if (zeros != 0) {
        const unsigned z = k + static_cast<unsigned>(__builtin_ctzll(zeros));
        return z < count ? z : count;
      }
      k = (k | 63) + 1;
    }
    return count;
  }
};

// Where bit `k` of a scan was sampled: the word's offset and the ticks it keeps after the
// sample. `words` is what the scan was given.
struct SamplePoint {
  std::uint32_t word;
  std::int32_t pulse_ticks;
};
SamplePoint sample_point(const FrameScan& scan, const std::uint8_t* words, unsigned k);

// Scans `size` bytes of image words from a read_byte boundary with the given tick-stream state,
// never reading beyond `size`.
using ScanFunction = void (*)(const std::uint8_t* words, std::size_t size, std::int32_t pulse_ticks,
                              int pulse_level, Phase phase, FrameScan& scan);

// The vector scanner when this processor can run it (x86-64 with AVX2 and BMI2), else nullptr.
ScanFunction vector_frame_scanner();

// Of 64 pairs, the ones a bit beginning before them takes as its second pair: a pair that
// begins a bit and is short skips the next one. `short_pairs` has bit p set for a short pair p;
// `carry` says on entry whether pair 0 is skipped and on return whether pair 64 is.
//
// In a run of short pairs whose first pair begins a bit, every second pair is skipped, and so is
// the pair after the run when the run is odd. Runs that start on an odd position are moved onto
// the even grid by adding their first bit to them: the carry walks through the run and lands
// just past it.
inline std::uint64_t skipped_pairs(std::uint64_t short_pairs, std::uint64_t& carry) {
  constexpr std::uint64_t EVEN = 0x5555555555555555ULL;
  // A skipped pair begins no bit, so whether it is short does not matter.
  short_pairs &= ~carry;
  const std::uint64_t follows_short = short_pairs << 1 | carry;
  const std::uint64_t odd_run_starts = short_pairs & ~EVEN & ~follows_short;
  std::uint64_t runs_from_even = 0;
  carry = __builtin_add_overflow(odd_run_starts, short_pairs, &runs_from_even) ? 1 : 0;
  const std::uint64_t invert = runs_from_even << 1;
  return (EVEN ^ invert) & follows_short;
}

}  // namespace r38

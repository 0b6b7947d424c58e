// Decodes whole byte frames ahead over a regular stretch of image words, many words at a time.
//
// Where the signal is regular (levels alternate, no word of count 0, every bit sampled within
// two high/low pairs of its edge) the bit decisions reduce to comparisons on pairs of words:
// counting from an edge, a pair of high count h and low count l with h + l >= 35 holds the
// whole bit (1 when h >= 35, else 0) and the next bit begins at the next pair; a "short" pair
// (h + l < 35) also takes the following pair (1 when the sum reaches 35 in its high word, 0 in
// its low word) and the next bit begins one pair later. Which pairs begin a bit is then a
// matter of runs of short pairs, solved for 64 pairs at a time by one addition (see
// skipped_pairs). Anything else ends the scan at the exact bit where it begins, and the
// word-at-a-time machine takes over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/tape_format.h"

namespace r38 {

// Word pairs looked at by one scan at most.
inline constexpr unsigned SCAN_PAIRS = 1024;
// A frame takes eleven bits and every bit at least one pair.
inline constexpr unsigned MAX_SCANNED_BYTES = SCAN_PAIRS / 11 + 1;

// A byte decoded ahead and the decoder's state right after it. Offsets count bytes from the
// first word the scan was given.
struct ScannedByte {
  std::int32_t value;        // 0..255 or FRAMING_ERROR
  std::uint32_t start_word;  // the word in which the start bit was sampled
  std::uint32_t end;         // just past the word in which the second stop bit was sampled
  std::int32_t pulse_ticks;  // ticks still left in that word
  std::int32_t pulse_level;  // its stored level
};

struct ScanResult {
  unsigned bytes = 0;  // complete frames written to the output
  // When no frame was complete but idle 1 bits were passed over: the state after the last of
  // them, which a search for a start bit may take as its own.
  bool advanced = false;
  std::uint32_t end = 0;
  std::int32_t pulse_ticks = 0;
  int pulse_level = 0;
};

// Scans `size` bytes of image words from a read_byte boundary with the given tick-stream state.
// Never reads beyond `size`; writes at most MAX_SCANNED_BYTES bytes to `out`.
using ScanFunction = ScanResult (*)(const std::uint8_t* words, std::size_t size,
                                    std::int32_t pulse_ticks, int pulse_level, Phase phase,
                                    ScannedByte* out);

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

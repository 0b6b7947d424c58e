#include "decode/frame_scanner.h"

namespace r38 {

namespace {
unsigned count_at(const std::uint8_t* p) {
  return (unsigned{p[0]} << 8 | p[1]) & COUNT_MASK;
}
}  // namespace

SamplePoint sample_point(const FrameScan& scan, const std::uint8_t* words, unsigned k) {
  // The pair that began bit k: the k-th pair set in the chunks' start masks.
  unsigned chunk = 0;
  while (scan.first_bit[chunk + 1] <= k) ++chunk;
  std::uint64_t starts = scan.starts[chunk];
  for (unsigned rank = k - scan.first_bit[chunk]; rank > 0; --rank) starts &= starts - 1;
  const std::uint32_t pair =
      chunk * SCAN_CHUNK_PAIRS + static_cast<unsigned>(__builtin_ctzll(starts));
  // The sample lies in the first word at which the counts from the pair's high word reach
  // SAMPLE_COUNT; a 1 is sampled in a high word, a 0 in a low one.
  const std::uint32_t at = scan.edge + 4 * pair;
  const int bit = scan.bit(k);
  unsigned sum = count_at(words + at);
  std::uint32_t word = at;
  if (!(bit == 1 && sum >= SAMPLE_COUNT)) {
    sum += count_at(words + at + 2);
    word = at + 2;
    if (sum < SAMPLE_COUNT) {
      sum += count_at(words + at + 4);
      word = at + 4;
      if (bit == 0) {
        sum += count_at(words + at + 6);
        word = at + 6;
      }
    }
  }
  return {word, static_cast<std::int32_t>(TICKS_PER_COUNT * sum) - (SAMPLE_DELAY + 1)};
}

}  // namespace r38

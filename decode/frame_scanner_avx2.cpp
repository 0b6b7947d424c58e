// The frame scanner in AVX2 and BMI2. Only the functions marked R38_AVX2 use those instructions,
// and they run only after the processor has been asked, so the rest of the build stays
// portable.
#include "decode/frame_scanner.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#define R38_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace r38 {
namespace {

constexpr unsigned CHUNK_PAIRS = 64;
constexpr std::size_t CHUNK_BYTES = CHUNK_PAIRS * 4;
constexpr unsigned MAX_CHUNKS = SCAN_PAIRS / CHUNK_PAIRS;

inline unsigned word_at(const std::uint8_t* p) {
  return unsigned{p[0]} << 8 | p[1];
}
inline unsigned count_at(const std::uint8_t* p) {
  return word_at(p) & COUNT_MASK;
}

// What 64 pairs of words say, one bit per pair p (the pair's high word at 4p bytes).
struct PairMasks {
  std::uint64_t valid = 0;       // high then low, as the phase sees them, neither of count 0
  std::uint64_t next_valid = 0;  // pair p + 1 is valid
  std::uint64_t short_pair = 0;  // h + l < 35: the bit's sample lies in the next pair
  std::uint64_t long_high = 0;   // h >= 35: the sample lies in the high word itself
  std::uint64_t next_high = 0;   // h + l + next h >= 35: a short pair's sample in the next high
  std::uint64_t reached = 0;     // h + l + next h + next l >= 35: a short pair's sample in reach
};

R38_AVX2 inline __m256i words_of(const std::uint8_t* p) {
  const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                        1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), swap);
}

// 32-bit lanes of all ones where a pair (high word in the low half) has the expected levels
// and no count 0.
R38_AVX2 inline __m256i valid_pairs(__m256i words, __m256i expected_levels) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i levels = _mm256_and_si256(words, _mm256_set1_epi32(0x80008000));
  const __m256i counts = _mm256_and_si256(words, _mm256_set1_epi16(0x7FFF));
  const __m256i no_zero_count = _mm256_cmpeq_epi32(_mm256_cmpeq_epi16(counts, zero), zero);
  return _mm256_and_si256(_mm256_cmpeq_epi32(levels, expected_levels), no_zero_count);
}

// Counts capped at 35: sums compared with 35 come out the same, and never overflow.
R38_AVX2 inline __m256i capped_counts(__m256i words) {
  const __m256i counts = _mm256_and_si256(words, _mm256_set1_epi16(0x7FFF));
  return _mm256_min_epu16(counts, _mm256_set1_epi16(SAMPLE_COUNT));
}

R38_AVX2 inline std::uint64_t lanes(__m256i mask) {
  return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(mask)));
}

R38_AVX2 PairMasks pair_masks(const std::uint8_t* p, __m256i expected_levels) {
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i low_half = _mm256_set1_epi32(0xFFFF);
  const __m256i below = _mm256_set1_epi32(SAMPLE_COUNT - 1);
  const __m256i reach = _mm256_set1_epi32(SAMPLE_COUNT);
  PairMasks m;
  for (unsigned i = 0; i < CHUNK_PAIRS / 8; ++i, p += 32) {
    const __m256i here = words_of(p);
    const __m256i next = words_of(p + 4);  // the same lanes one pair later
    const __m256i counts = capped_counts(here);
    const __m256i next_counts = capped_counts(next);
    const __m256i pair_sum = _mm256_madd_epi16(counts, ones);
    const __m256i next_pair_sum = _mm256_madd_epi16(next_counts, ones);
    const __m256i high = _mm256_and_si256(counts, low_half);
    const __m256i next_high = _mm256_and_si256(next_counts, low_half);
    const unsigned shift = 8 * i;
    m.valid |= lanes(valid_pairs(here, expected_levels)) << shift;
    m.next_valid |= lanes(valid_pairs(next, expected_levels)) << shift;
    m.short_pair |= lanes(_mm256_cmpgt_epi32(reach, pair_sum)) << shift;
    m.long_high |= lanes(_mm256_cmpgt_epi32(high, below)) << shift;
    m.next_high |= lanes(_mm256_cmpgt_epi32(_mm256_add_epi32(pair_sum, next_high), below)) << shift;
    m.reached |= lanes(_mm256_cmpgt_epi32(_mm256_add_epi32(pair_sum, next_pair_sum), below))
                 << shift;
  }
  return m;
}

// The bits of the scanned pairs, in order, and the pairs that began them.
struct BitRun {
  std::uint64_t bits[MAX_CHUNKS + 1] = {};
  std::uint64_t starts[MAX_CHUNKS] = {};  // per chunk, the pairs that begin a bit
  unsigned first_bit[MAX_CHUNKS + 1] = {};
  unsigned chunks = 0;
  unsigned count = 0;

  void append(std::uint64_t value, unsigned n) {
    const unsigned at = count % 64;
    bits[count / 64] |= value << at;
    if (at != 0 && at + n > 64) bits[count / 64 + 1] = value >> (64 - at);
    count += n;
  }
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

R38_AVX2 unsigned pair_of_bit(const BitRun& run, unsigned k, unsigned& chunk) {
  while (run.first_bit[chunk + 1] <= k) ++chunk;
  const unsigned rank = k - run.first_bit[chunk];
  const std::uint64_t start = _pdep_u64(std::uint64_t{1} << rank, run.starts[chunk]);
  return chunk * CHUNK_PAIRS + static_cast<unsigned>(__builtin_ctzll(start));
}

// The word in which the bit beginning at pair offset `o` was sampled, and the ticks it keeps.
struct Sample {
  std::uint32_t word;
  std::int32_t pulse_ticks;
};

Sample sample_of(const std::uint8_t* words, std::uint32_t o, int bit) {
  unsigned sum = count_at(words + o);
  if (bit == 1 && sum >= SAMPLE_COUNT) return {o, static_cast<std::int32_t>(9 * sum - 313)};
  sum += count_at(words + o + 2);
  if (sum >= SAMPLE_COUNT) return {o + 2, static_cast<std::int32_t>(9 * sum - 313)};
  sum += count_at(words + o + 4);
  if (bit == 1) return {o + 4, static_cast<std::int32_t>(9 * sum - 313)};
  sum += count_at(words + o + 6);
  return {o + 6, static_cast<std::int32_t>(9 * sum - 313)};
}

R38_AVX2 ScanResult scan_avx2(const std::uint8_t* words, std::size_t size, std::int32_t pulse_ticks,
                              int pulse_level, Phase phase, ScannedByte* out) {
  static_assert(SAMPLE_DELAY + 1 == 313 && TICKS_PER_COUNT == 9);
  const unsigned flip = phase == PHASE_NORMAL ? 0 : 1;
  ScanResult result;

  // Find the first rising edge word by word, as a bit does: a low tick, then a high one.
  std::size_t i = 0;
  if (!(pulse_ticks > 0 && (static_cast<unsigned>(pulse_level) ^ flip) == 0)) {
    for (;; i += 2) {
      if (i + 2 > size) return result;
      const unsigned w = word_at(words + i);
      if ((w & COUNT_MASK) != 0 && ((w >> 15) ^ flip) == 0) break;
    }
    i += 2;
  }
  for (;; i += 2) {
    if (i + 2 > size) return result;
    const unsigned w = word_at(words + i);
    if ((w & COUNT_MASK) != 0 && ((w >> 15) ^ flip) == 1) break;
  }
  const std::uint32_t edge = static_cast<std::uint32_t>(i);

  // Decide the bits of whole chunks of pairs, up to the first bit that begins at a pair the
  // rules above do not cover.
  const __m256i expected_levels = _mm256_set1_epi32(flip == 0 ? 0x00008000 : 0x80000000);
  BitRun run;
  std::uint64_t carry = 0;
  while (run.chunks < MAX_CHUNKS && edge + (run.chunks + 1) * CHUNK_BYTES + 4 <= size) {
    const PairMasks m = pair_masks(words + edge + run.chunks * CHUNK_BYTES, expected_levels);
    const std::uint64_t covered = m.valid & (~m.short_pair | (m.next_valid & m.reached));
    const std::uint64_t bit_values = (m.short_pair & m.next_high) | (~m.short_pair & m.long_high);
    std::uint64_t starts = ~skipped_pairs(m.short_pair, carry);
    const std::uint64_t uncovered = starts & ~covered;
    if (uncovered != 0) starts &= (uncovered & (0 - uncovered)) - 1;
    const unsigned n = static_cast<unsigned>(__builtin_popcountll(starts));
    run.starts[run.chunks] = starts;
    run.first_bit[run.chunks] = run.count;
    run.append(_pext_u64(bit_values, starts), n);
    ++run.chunks;
    run.first_bit[run.chunks] = run.count;
    if (uncovered != 0) break;
  }

  // Frame the bits into bytes. A frame the bits end inside is left for the next scan.
  unsigned chunk = 0;
  unsigned k = 0;
  int last_taken = -1;  // the last bit passed over or framed
  for (;;) {
    const unsigned start = run.next_zero(k);
    if (start == run.count) {
      last_taken = static_cast<int>(run.count) - 1;
      break;
    }
    if (start + 10 >= run.count || result.bytes == MAX_SCANNED_BYTES) {
      last_taken = static_cast<int>(start) - 1;
      break;
    }
    const std::uint64_t frame = run.take(start + 1, 10);
    const unsigned stop_bits = static_cast<unsigned>(frame >> 8);
    const int last_bit = static_cast<int>(stop_bits >> 1);
    const std::uint32_t first_pair = edge + 4 * pair_of_bit(run, start, chunk);
    const std::uint32_t last_pair = edge + 4 * pair_of_bit(run, start + 10, chunk);
    const Sample last = sample_of(words, last_pair, last_bit);
    ScannedByte& b = out[result.bytes++];
    b.value = stop_bits == 3 ? static_cast<std::int32_t>(frame & 0xFF) : FRAMING_ERROR;
    b.start_word = sample_of(words, first_pair, 0).word;
    b.end = last.word + 2;
    b.pulse_ticks = last.pulse_ticks;
    b.pulse_level = static_cast<std::int32_t>(static_cast<unsigned>(last_bit) ^ flip);
    k = start + 11;
    last_taken = static_cast<int>(start) + 10;
  }
  if (result.bytes == 0 && last_taken >= 0) {
    // Only idle bits: hand back the state after the last of them.
    unsigned c = 0;
    const Sample last =
        sample_of(words, edge + 4 * pair_of_bit(run, static_cast<unsigned>(last_taken), c), 1);
    result.advanced = true;
    result.end = last.word + 2;
    result.pulse_ticks = last.pulse_ticks;
    result.pulse_level = static_cast<int>(1 ^ flip);
  }
  return result;
}

}  // namespace

ScanFunction vector_frame_scanner() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")) return scan_avx2;
  return nullptr;
}

}  // namespace r38

#else

namespace r38 {
ScanFunction vector_frame_scanner() {
  return nullptr;
}
}  // namespace r38

#endif

// The frame scanner in AVX2 and BMI2. Only the functions marked R38_AVX2 use those instructions,
// and they run only after the processor has been asked, so the rest of the build stays
// portable.
#include "decode/frame_scanner.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#include <cstring>

#define R38_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace r38 {
namespace {

constexpr unsigned CHUNK_PAIRS = SCAN_CHUNK_PAIRS;
constexpr std::size_t CHUNK_BYTES = CHUNK_PAIRS * 4;
constexpr std::size_t PREFETCH_DISTANCE = 3072;

inline unsigned word_at(const std::uint8_t* p) {
  return unsigned{p[0]} << 8 | p[1];
}

// What 64 pairs of words say, one bit per pair p (the pair's high word at 4p bytes).
struct PairMasks {
  std::uint64_t valid;       // high then low, as the phase sees them, neither of count 0
  std::uint64_t next_valid;  // pair p + 1 is valid
  std::uint64_t short_pair;  // h + l < 35: the bit's sample lies in the next pair
  // The bit a pair begins: h >= 35 for a pair that is not short, h + l + next h >= 35 for a
  // short one.
  std::uint64_t bit;
  std::uint64_t next_short;  // pair p + 1 is short
};

R38_AVX2 inline __m256i words_of(const std::uint8_t* p) {
  const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                        1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), swap);
}

// Eight pairs, one per 32-bit lane, the high word in the low half.
struct PairGroup {
  __m256i valid;  // all ones where the pair is valid
  __m256i high;   // the high word's count, capped at 35
  __m256i sum;    // the pair's counts summed, each capped at 35
};

// Counts are capped at 35: sums compared with 35 come out the same and never overflow.
R38_AVX2 inline PairGroup pair_group(const std::uint8_t* p, __m256i level_bits) {
  // With the expected level bits cleared, a valid word is a positive 16-bit number.
  const __m256i words = _mm256_xor_si256(words_of(p), level_bits);
  const __m256i valid_words = _mm256_cmpgt_epi16(words, _mm256_setzero_si256());
  const __m256i capped = _mm256_min_epu16(words, _mm256_set1_epi16(SAMPLE_COUNT));
  return {_mm256_cmpeq_epi32(valid_words, _mm256_set1_epi32(-1)),
          _mm256_and_si256(capped, _mm256_set1_epi32(0xFFFF)),
          _mm256_madd_epi16(capped, _mm256_set1_epi16(1))};
}

// The lanes of `here` moved down by one pair, the first lane of `after` entering at the top.
R38_AVX2 inline __m256i next_pairs(__m256i here, __m256i after) {
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(here, after, 0x21), here, 4);
}

R38_AVX2 inline unsigned lanes(__m256i mask) {
  return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(mask)));
}

// Reads 64 pairs and the 8 after them.
R38_AVX2 PairMasks pair_masks(const std::uint8_t* p, __m256i level_bits) {
  const __m256i below = _mm256_set1_epi32(SAMPLE_COUNT - 1);
  const __m256i reach = _mm256_set1_epi32(SAMPLE_COUNT);
  std::uint8_t valid[CHUNK_PAIRS / 8 + 1], short_pair[CHUNK_PAIRS / 8 + 1], bit[CHUNK_PAIRS / 8];
  PairGroup here = pair_group(p, level_bits);
  for (unsigned i = 0; i < CHUNK_PAIRS / 8; ++i) {
    p += 32;
    const PairGroup after = pair_group(p, level_bits);
    const __m256i next_high = next_pairs(here.high, after.high);
    const __m256i is_short = _mm256_cmpgt_epi32(reach, here.sum);
    const __m256i bit_sum =
        _mm256_blendv_epi8(here.high, _mm256_add_epi32(here.sum, next_high), is_short);
    valid[i] = static_cast<std::uint8_t>(lanes(here.valid));
    short_pair[i] = static_cast<std::uint8_t>(lanes(is_short));
    bit[i] = static_cast<std::uint8_t>(lanes(_mm256_cmpgt_epi32(bit_sum, below)));
    here = after;
  }
  valid[CHUNK_PAIRS / 8] = static_cast<std::uint8_t>(lanes(here.valid));
  short_pair[CHUNK_PAIRS / 8] =
      static_cast<std::uint8_t>(lanes(_mm256_cmpgt_epi32(reach, here.sum)));
  PairMasks m;
  std::memcpy(&m.valid, valid, 8);
  std::memcpy(&m.short_pair, short_pair, 8);
  std::memcpy(&m.bit, bit, 8);
  m.next_valid = m.valid >> 1 | std::uint64_t{valid[CHUNK_PAIRS / 8] & 1u} << 63;
  m.next_short = m.short_pair >> 1 | std::uint64_t{short_pair[CHUNK_PAIRS / 8] & 1u} << 63;
  return m;
}

R38_AVX2 void scan_avx2(const std::uint8_t* words, std::size_t size, std::int32_t pulse_ticks,
                        int pulse_level, Phase phase, FrameScan& scan) {
  const unsigned flip = phase == PHASE_NORMAL ? 0 : 1;
  scan.bytes = 0;
  scan.idle_through = -1;
  scan.phase_flip = flip;
  scan.clear_bits();

  // Find the first rising edge word by word, as a bit does: a low tick, then a high one.
  std::size_t i = 0;
  if (!(pulse_ticks > 0 && (static_cast<unsigned>(pulse_level) ^ flip) == 0)) {
    for (;; i += 2) {
      if (i + 2 > size) return;
      const unsigned w = word_at(words + i);
      if ((w & COUNT_MASK) != 0 && ((w >> 15) ^ flip) == 0) break;
    }
    i += 2;
  }
  for (;; i += 2) {
    if (i + 2 > size) return;
    const unsigned w = word_at(words + i);
    if ((w & COUNT_MASK) != 0 && ((w >> 15) ^ flip) == 1) break;
  }
  scan.edge = static_cast<std::uint32_t>(i);

  // Decide the bits of whole chunks of pairs, up to the first bit that begins at a pair the
  // rules above do not cover.
  const __m256i level_bits = _mm256_set1_epi32(flip == 0 ? 0x00008000 : 0x80000000);
  std::uint64_t carry = 0;
  scan.first_bit[0] = 0;
  while (scan.chunks < SCAN_CHUNKS && scan.edge + (scan.chunks + 1) * CHUNK_BYTES + 32 <= size) {
    const std::uint8_t* chunk = words + scan.edge + scan.chunks * CHUNK_BYTES;
    // Ask for the words a little ahead: a mapped image is read straight from memory, and the
    // processor's own prefetching stops at each page boundary. Prefetching never faults, so it
    // may reach past the end.
    for (std::size_t line = 0; line < CHUNK_BYTES; line += 64) {
      _mm_prefetch(reinterpret_cast<const char*>(chunk + PREFETCH_DISTANCE + line), _MM_HINT_T0);
    }
    const PairMasks m = pair_masks(chunk, level_bits);
    // A short pair's sample lies in the next pair when it is a 1 (in the next high word) or
    // when the next pair is not short (in its low word at the latest). A 0 after a short pair
    // followed by another short one is left to the word machine.
    const std::uint64_t covered =
        m.valid & (~m.short_pair | (m.next_valid & (m.bit | ~m.next_short)));
    std::uint64_t starts = ~skipped_pairs(m.short_pair, carry);
    const std::uint64_t uncovered = starts & ~covered;
    if (uncovered != 0) starts &= (uncovered & (0 - uncovered)) - 1;
    scan.starts[scan.chunks] = starts;
    scan.append_bits(_pext_u64(m.bit, starts), static_cast<unsigned>(__builtin_popcountll(starts)));
    scan.first_bit[++scan.chunks] = static_cast<std::uint16_t>(scan.count);
    if (uncovered != 0) break;
  }

  // Frame the bits into bytes. A frame the bits end inside is left for the next scan.
  unsigned k = 0;
  for (;;) {
    // Mostly the frame lies within the 57 bits from k on.
    std::uint64_t ahead;
    std::memcpy(&ahead, reinterpret_cast<const unsigned char*>(scan.bits) + k / 8, 8);
    ahead >>= k % 8;
    const unsigned idle = static_cast<unsigned>(__builtin_ctzll(~ahead | std::uint64_t{1} << 63));
    // Within a block the frames follow one another without idle bits: five at once.
    constexpr std::uint64_t FIVE_STARTS =
        1 | 1 << 11 | 1 << 22 | std::uint64_t{1} << 33 | std::uint64_t{1} << 44;
    if ((ahead & FIVE_STARTS) == 0 && k + 55 <= scan.count && scan.bytes + 5 <= MAX_SCANNED_BYTES) {
      for (unsigned j = 0; j < 5; ++j) {
        const std::uint64_t frame = ahead >> (11 * j + 1);
        scan.values[scan.bytes + j] = static_cast<std::int16_t>(
            (frame >> 8 & 3) == 3 ? static_cast<int>(frame & 0xFF) : FRAMING_ERROR);
        scan.start_bits[scan.bytes + j] = static_cast<std::uint16_t>(k + 11 * j);
      }
      scan.bytes += 5;
      k += 55;
      continue;
    }
    if (idle + 11 <= 57 && k + idle + 11 <= scan.count) {
      const std::uint64_t frame = ahead >> (idle + 1);
      scan.values[scan.bytes] = static_cast<std::int16_t>(
          (frame >> 8 & 3) == 3 ? static_cast<int>(frame & 0xFF) : FRAMING_ERROR);
      scan.start_bits[scan.bytes++] = static_cast<std::uint16_t>(k + idle);
      k += idle + 11;
      continue;
    }
    const unsigned start = scan.next_zero(k);
    if (start + 10 >= scan.count) {
      if (scan.bytes == 0) scan.idle_through = static_cast<int>(start) - 1;
      return;
    }
    const std::uint64_t frame = scan.take(start + 1, 10);
    scan.values[scan.bytes] =
        static_cast<std::int16_t>(frame >> 8 == 3 ? static_cast<int>(frame & 0xFF) : FRAMING_ERROR);
    scan.start_bits[scan.bytes++] = static_cast<std::uint16_t>(start);
    k = start + 11;
  }
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

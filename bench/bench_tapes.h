// Large generated tape images for the benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace r38::bench {

// Images of exactly `bytes` bytes, the magic included. A realistic image holds whole files
// (header, data blocks of 255 bytes, end block) of standard cells with ±2 jitter per count; a
// pathological one mixes realistic blocks (some bytes damaged) with floods of count-0 words and
// noise of random levels and counts, longest words among them. Returns false when the image could
// not be written.
bool write_tape(std::FILE* out, bool pathological, std::uint64_t bytes, std::uint64_t seed);
std::vector<std::uint8_t> tape_in_memory(bool pathological, std::uint64_t bytes,
                                         std::uint64_t seed);

}  // namespace r38::bench

// Writes large tape images for the benchmarks:
//   r38_make_tape realistic MIB FILE [SEED]     files of standard cells with jitter, 255-byte
//                                               blocks with lead-ins, like a real recording
//   r38_make_tape pathological MIB FILE [SEED]  realistic stretches between floods of count-0
//                                               words, longest words and random words
// The image is written as it is generated, so any size takes little memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_tapes.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: r38_make_tape realistic|pathological MIB FILE [SEED]\n", stderr);
    return 2;
  }
  const std::string kind = argv[1];
  const std::uint64_t bytes = std::strtoull(argv[2], nullptr, 10) << 20;
  const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
  if (kind != "realistic" && kind != "pathological") {
    std::fputs("r38_make_tape: the kind is realistic or pathological\n", stderr);
    return 2;
  }
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) {
    std::perror(argv[3]);
    return 2;
  }
  const bool ok = r38::bench::write_tape(out, kind == "pathological", bytes, seed);
  if (std::fclose(out) != 0 || !ok) {
    std::perror(argv[3]);
    return 2;
  }
  return 0;
}

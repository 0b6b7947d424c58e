#include "bench/bench_tapes.h"

#include <cstdio>
#include <string>

#include "encode/tape_encoder.h"
#include "support/random_tapes.h"

namespace r38::bench {

namespace {

// One file of random data: a header block, `blocks` data blocks and an end block.
void realistic_file(test::RandomTape& tape, int number, int blocks) {
  TapeFile file;
  const std::string name = "FILE" + std::to_string(number % 10000);
  std::copy(name.begin(), name.end(), file.name.begin());
  file.file_type = FILE_BASIC_DATA;
  file.data.resize(static_cast<std::size_t>(blocks) * MAX_BLOCK_DATA);
  for (auto& b : file.data) b = static_cast<std::uint8_t>(tape.rng()());
  const auto header = header_block_data(file);
  tape.block(BLOCK_HEADER, header, HEADER_LEAD_IN_BITS);
  for (const auto& data : file_data_blocks(file)) tape.block(BLOCK_DATA, data, BLOCK_LEAD_IN_BITS);
  tape.block(BLOCK_END, {}, BLOCK_LEAD_IN_BITS);
}

// Noise: random levels and short random counts (one in ten 0), and one word in 75 of count
// 0x7FFF, which alone costs 294,903 steps tick by tick.
void noise(test::RandomTape& tape, int words) {
  auto& rng = tape.rng();
  for (int i = 0; i < words; ++i) {
    const int level = static_cast<int>(rng() & 1);
    const unsigned kind = static_cast<unsigned>(rng() % 150);
    if (kind < 2) {
      tape.word(level, COUNT_MASK);
    } else if (kind < 17) {
      tape.word(level, 0);
    } else {
      tape.word(level, 1 + static_cast<unsigned>(rng() % 63));
    }
  }
}

}  // namespace

template <typename Sink>
bool generate_tape(bool pathological, std::uint64_t bytes, std::uint64_t seed, Sink&& sink) {
  test::RandomTape tape(seed, PHASE_NORMAL);
  std::uint64_t written = 0;
  for (int number = 0; written < bytes; ++number) {
    if (!pathological) {
      realistic_file(tape, number, 16);
    } else {
      switch (tape.rng()() % 4) {
        case 0:
          tape.realistic_block(50);
          break;
        case 1:  // a flood of count-0 words
          for (int i = 0; i < 20000; ++i) tape.word(static_cast<int>(tape.rng()() & 1), 0);
          break;
        default:
          noise(tape, 20000);
          break;
      }
    }
    auto& image = tape.image();
    if (written + image.size() > bytes) image.resize(bytes - written);
    if (!sink(image.data(), image.size())) return false;
    written += image.size();
    image.clear();
  }
  return true;
}

bool write_tape(std::FILE* out, bool pathological, std::uint64_t bytes, std::uint64_t seed) {
  return generate_tape(pathological, bytes, seed, [out](const std::uint8_t* data, std::size_t n) {
    return std::fwrite(data, 1, n, out) == n;
  });
}

std::vector<std::uint8_t> tape_in_memory(bool pathological, std::uint64_t bytes,
                                         std::uint64_t seed) {
  std::vector<std::uint8_t> image;
  image.reserve(bytes);
  generate_tape(pathological, bytes, seed, [&image](const std::uint8_t* data, std::size_t n) {
    image.insert(image.end(), data, data + n);
    return true;
  });
  return image;
}

}  // namespace r38::bench

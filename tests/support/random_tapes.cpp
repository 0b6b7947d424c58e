#include "support/random_tapes.h"

#include <algorithm>

namespace r38::test {

namespace {
constexpr unsigned LONG_HALF = 28;
constexpr unsigned SHORT_HALF = 14;
}  // namespace

RandomTape::RandomTape(std::uint64_t seed, Phase phase, unsigned jitter)
    : rng_(seed), phase_(phase), jitter_(jitter) {
  image_.assign(IMAGE_MAGIC, IMAGE_MAGIC + IMAGE_MAGIC_LENGTH);
  raw_word(LONG_HALF);
  if (phase_ == PHASE_REVERSE) word(0, LONG_HALF);
}

RandomTape& RandomTape::raw_word(std::uint16_t word) {
  image_.push_back(static_cast<std::uint8_t>(word >> 8));
  image_.push_back(static_cast<std::uint8_t>(word & 0xFF));
  return *this;
}

RandomTape& RandomTape::word(int level, unsigned count) {
  if (glitch_one_in_ > 0 && !in_glitch_ && rng_() % glitch_one_in_ == 0) {
    in_glitch_ = true;
    glitch();
    in_glitch_ = false;
  }
  const int stored = phase_ == PHASE_NORMAL ? level : 1 - level;
  return raw_word(
      static_cast<std::uint16_t>((stored ? LEVEL_BIT : 0) | std::min(count, COUNT_MASK)));
}

unsigned RandomTape::jittered(unsigned count) {
  if (jitter_ == 0) return count;
  std::uniform_int_distribution<int> offset(-static_cast<int>(jitter_), static_cast<int>(jitter_));
  return static_cast<unsigned>(static_cast<int>(count) + offset(rng_));
}

RandomTape& RandomTape::bit(int value) {
  const unsigned half = value ? SHORT_HALF : LONG_HALF;
  for (int cycle = 0; cycle < (value ? 2 : 1); ++cycle) {
    word(1, jittered(half));
    word(0, jittered(half));
  }
  return *this;
}

RandomTape& RandomTape::frame(int value, int stop1, int stop2) {
  bit(0);
  for (int i = 0; i < 8; ++i) bit((value >> i) & 1);
  return bit(stop1).bit(stop2);
}

RandomTape& RandomTape::block(int type, std::span<const std::uint8_t> data, int lead_in) {
  for (int i = 0; i < lead_in; ++i) bit(1);
  int sum = type + static_cast<int>(data.size());
  frame(SYNC_MARK_FIRST).frame(SYNC_MARK_SECOND).frame(type).frame(static_cast<int>(data.size()));
  for (std::uint8_t b : data) {
    frame(b);
    sum += b;
  }
  return frame(sum & 0xFF);
}

RandomTape& RandomTape::realistic_block(int damage_one_in) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> data(rng_() % 8 == 0 ? rng_() % 256 : MAX_BLOCK_DATA);
  for (auto& b : data) b = static_cast<std::uint8_t>(byte(rng_));
  const int type = rng_() % 16 == 0 ? BLOCK_HEADER : rng_() % 16 == 0 ? BLOCK_END : BLOCK_DATA;
  const int lead_in = 16 + static_cast<int>(rng_() % 32);
  for (int i = 0; i < lead_in; ++i) bit(1);
  int sum = type + static_cast<int>(data.size());
  std::vector<int> frames = {SYNC_MARK_FIRST, SYNC_MARK_SECOND, type,
                             static_cast<int>(data.size())};
  for (std::uint8_t b : data) {
    frames.push_back(b);
    sum += b;
  }
  frames.push_back(sum & 0xFF);
  for (int f : frames) {
    if (damage_one_in > 0 && static_cast<int>(rng_() % static_cast<unsigned>(damage_one_in)) == 0) {
      frame(f, 1, 0);
    } else {
      frame(f);
    }
  }
  return *this;
}

RandomTape& RandomTape::glitch() {
  const int level = static_cast<int>(rng_() & 1);
  switch (rng_() % 5) {
    case 0:
      return word(level, 0);
    case 1:
      return word(level, 1 + static_cast<unsigned>(rng_() % 3));
    case 2:
      return word(level, 1 + static_cast<unsigned>(rng_() % 20)).word(level, 1 + rng_() % 20);
    case 3:
      return word(level, rng_() % 2 ? COUNT_MASK : 35 + static_cast<unsigned>(rng_() % 2000));
    default:
      return raw_word(static_cast<std::uint16_t>(rng_()));
  }
}

RandomTape& RandomTape::word_soup(std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const int level = static_cast<int>(rng_() & 1);
    const unsigned kind = static_cast<unsigned>(rng_() % 40);
    if (kind < 12) {
      word(level, 0);
    } else if (kind == 12) {
      word(level, COUNT_MASK);
    } else if (kind < 32) {
      word(level, 1 + static_cast<unsigned>(rng_() % 45));
    } else {
      raw_word(static_cast<std::uint16_t>(rng_()));
    }
  }
  return *this;
}

}  // namespace r38::test

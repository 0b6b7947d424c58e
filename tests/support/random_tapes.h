// Seeded random tape images: realistic recordings (standard cells with jitter, blocks with
// lead-ins, now and then a damaged byte), glitches that break the regular signal, and soups of
// arbitrary words. The decoder identity tests and the benchmarks' image generator use them.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "decode/tape_format.h"

namespace r38::test {

class RandomTape {
 public:
  // Starts an image: the magic and a first low word (one more under PHASE_REVERSE, so that the
  // first cell has a low run before its edge, as the encoder writes it).
  RandomTape(std::uint64_t seed, Phase phase, unsigned jitter = 2);

  std::vector<std::uint8_t>& image() { return image_; }
  // From now on, one in `one_in` words gets a glitch before it (0 for none).
  void set_glitch_rate(unsigned one_in) { glitch_one_in_ = one_in; }
  std::mt19937_64& rng() { return rng_; }

  // A word of `level` as a decoder with this tape's phase sees it.
  RandomTape& word(int level, unsigned count);
  RandomTape& raw_word(std::uint16_t word);
  // A standard bit cell, every count moved by up to the jitter.
  RandomTape& bit(int value);
  RandomTape& frame(int value, int stop1 = 1, int stop2 = 1);
  RandomTape& block(int type, std::span<const std::uint8_t> data, int lead_in);
  // A block of random type and data (255 bytes, or fewer now and then) after a lead-in; one in
  // `damage_one_in` bytes has a bad stop bit (0 for none).
  RandomTape& realistic_block(int damage_one_in = 0);
  // One word that breaks the regular signal: a word of count 0, a short spike, a run split in
  // two words, a very long word or a random word.
  RandomTape& glitch();
  // `count` arbitrary words: many of count 0, some 0x7FFF, random levels and counts.
  RandomTape& word_soup(std::size_t count);

 private:
  unsigned jittered(unsigned count);

  std::vector<std::uint8_t> image_;
  std::mt19937_64 rng_;
  Phase phase_;
  unsigned jitter_;
  unsigned glitch_one_in_ = 0;
  bool in_glitch_ = false;
};

}  // namespace r38::test

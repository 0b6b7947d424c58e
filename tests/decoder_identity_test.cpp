// The decoder reads words, not ticks, and decodes regular stretches many words at a time; the
// tick-by-tick reference decoder is the rules written out literally. Both must agree on every
// result and on the state left after every call, on any image, read from memory or a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "support/random_tapes.h"
#include "support/reference_decoder.h"
#include "support/run_program.h"

namespace r38 {
namespace {

using test::RandomTape;
using test::ReferenceDecoder;

constexpr DecodePath PATHS[] = {DecodePath::AUTOMATIC, DecodePath::PORTABLE};

const char* path_name(DecodePath path) {
  return path == DecodePath::AUTOMATIC ? "automatic" : "portable";
}

// What a call returned and where it left the decoder.
struct After {
  int result;
  std::int32_t pulse_ticks;
  int pulse_level;
  std::uint64_t offset;
  std::uint64_t block_offset;
  int block_type;
  std::vector<std::uint8_t> buffer;  // the block buffer after a read_block
  bool operator==(const After&) const = default;
};

std::ostream& operator<<(std::ostream& os, const After& a) {
  return os << "{result " << a.result << ", ticks " << a.pulse_ticks << ", level " << a.pulse_level
            << ", offset " << a.offset << ", block at " << a.block_offset << ", type "
            << a.block_type << ", buffer " << a.buffer.size() << " bytes}";
}

enum class Calls { BYTES, BLOCKS, MIXED };

struct FileDescriptor {
  int fd = -1;
  void open(const std::filesystem::path& path, int flags) {
    fd = ::open(path.c_str(), flags);
    if (fd < 0) throw std::runtime_error("cannot open " + path.string());
  }
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Feeds an image through a pipe in pieces of random size, so that the reader's buffer ends at
// arbitrary places, odd ones included.
class PipeFeed {
 public:
  PipeFeed(const std::vector<std::uint8_t>& image, std::uint64_t seed) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    read_fd_ = fds[0];
    writer_ = std::thread([&image, seed, fd = fds[1]] {
      std::mt19937_64 rng(seed);
      for (std::size_t at = 0; at < image.size();) {
        const std::size_t n = std::min<std::size_t>(image.size() - at, 1 + rng() % 70000);
        const ssize_t w = ::write(fd, image.data() + at, n);
        if (w <= 0) break;
        at += static_cast<std::size_t>(w);
      }
      ::close(fd);
    });
  }
  ~PipeFeed() {
    ::close(read_fd_);
    writer_.join();
  }
  int fd() const { return read_fd_; }

 private:
  int read_fd_ = -1;
  std::thread writer_;
};

// Makes calls of the given kinds on a decoder to the end of the image and three calls past it,
// and records what each returned and where it left the decoder. The same seed makes the same
// calls.
template <typename Decoder>
std::vector<After> trace(Decoder& decoder, const ImageReader& reader, Calls calls,
                         std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  BlockBuffer buffer;
  std::vector<After> steps;
  for (int ends = 0; ends < 3;) {
    int kind = calls == Calls::BLOCKS ? 3 : 0;
    if (calls == Calls::MIXED) {
      const unsigned r = static_cast<unsigned>(rng() % 100);
      kind = r < 70 ? 0 : r < 85 ? 1 : r < 95 ? 2 : 3;
    }
    After a{};
    a.block_type = 77;
    if (kind == 0) a.result = decoder.read_byte();
    if (kind == 1) a.result = decoder.read_bit();
    if (kind == 2) a.result = decoder.take_tick();
    if (kind == 3) {
      a.result = decoder.read_block(buffer, a.block_type);
      a.buffer.assign(buffer.bytes, buffer.bytes + BLOCK_BUFFER_SIZE);
    }
    a.pulse_ticks = decoder.pulse_ticks();
    a.pulse_level = decoder.pulse_level();
    a.offset = reader.offset();
    a.block_offset = decoder.block_offset();
    steps.push_back(std::move(a));
    if (steps.back().result == END_OF_INPUT) ++ends;
  }
  return steps;
}

std::vector<After> reference_trace(const std::vector<std::uint8_t>& image, Phase phase, Calls calls,
                                   std::uint64_t seed) {
  ImageReader reader(image.data(), image.size());
  reader.skip(IMAGE_DATA_OFFSET);
  ReferenceDecoder decoder(reader, phase);
  return trace(decoder, reader, calls, seed);
}

// Where the decoder under test takes the image from.
enum class Source { MEMORY, PIPE, MAPPED_FILE };

// Runs the decoder the same way and compares it with the reference's trace, step by step.
void expect_trace(const std::vector<After>& expected, const std::vector<std::uint8_t>& image,
                  Phase phase, DecodePath path, Calls calls, std::uint64_t seed,
                  const std::string& what, Source source = Source::MEMORY) {
  std::unique_ptr<PipeFeed> feed;
  std::unique_ptr<test::TempDir> dir;
  FileDescriptor file;
  std::unique_ptr<ImageReader> reader;
  if (source == Source::PIPE) {
    feed = std::make_unique<PipeFeed>(image, seed);
    reader = std::make_unique<ImageReader>(feed->fd());
  } else if (source == Source::MAPPED_FILE) {
    dir = std::make_unique<test::TempDir>();
    test::write_file(*dir / "image.r38", image);
    file.open(*dir / "image.r38", O_RDONLY);
    reader = std::make_unique<ImageReader>(file.fd, ReadMethod::MAP);
    ASSERT_TRUE(reader->is_mapped()) << what;
  } else {
    reader = std::make_unique<ImageReader>(image.data(), image.size());
  }
  reader->peek(IMAGE_DATA_OFFSET);
  reader->skip(IMAGE_DATA_OFFSET);
  TapeDecoder decoder(*reader, phase, path);
  const std::vector<After> got = trace(decoder, *reader, calls, seed);
  const std::size_t n = std::min(got.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    ASSERT_EQ(got[i], expected[i]) << what << ", " << path_name(path) << ", call " << i;
  }
  ASSERT_EQ(got.size(), expected.size()) << what << ", " << path_name(path);
}

// Both decoders, every path, the same calls.
void expect_identical(const std::vector<std::uint8_t>& image, Phase phase, Calls calls,
                      std::uint64_t seed, const std::string& what, Source source = Source::MEMORY) {
  const auto expected = reference_trace(image, phase, calls, seed);
  for (DecodePath path : PATHS) {
    expect_trace(expected, image, phase, path, calls, seed, what, source);
  }
}

// A realistic recording: blocks of standard cells with jitter.
std::vector<std::uint8_t> realistic_tape(std::uint64_t seed, Phase phase, int blocks,
                                         unsigned glitch_one_in, int damage_one_in) {
  RandomTape tape(seed, phase);
  tape.set_glitch_rate(glitch_one_in);
  for (int i = 0; i < blocks; ++i) tape.realistic_block(damage_one_in);
  for (int i = 0; i < 4; ++i) tape.bit(1);
  if (seed % 3 == 0) tape.image().push_back(0x80);  // an odd final byte
  return tape.image();
}

TEST(DecoderIdentity, RealisticTapesWithGlitchesAndDamagedBytes) {
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    for (Phase phase : {PHASE_NORMAL, PHASE_REVERSE}) {
      const unsigned glitch_one_in = seed % 4 == 0 ? 0 : 200 * static_cast<unsigned>(seed);
      const auto image = realistic_tape(seed, phase, 2, glitch_one_in, seed % 2 ? 0 : 40);
      for (Calls calls : {Calls::BYTES, Calls::BLOCKS, Calls::MIXED}) {
        std::ostringstream what;
        what << "seed " << seed << " phase " << phase << " calls " << static_cast<int>(calls);
        expect_identical(image, phase, calls, seed, what.str());
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

TEST(DecoderIdentity, WordSoupsWithCountZeroLongestWordsAndRandomLevels) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    for (Phase phase : {PHASE_NORMAL, PHASE_REVERSE}) {
      // Soup alone, and soup between regular stretches so that scanning starts and stops on it.
      RandomTape tape(seed, phase);
      tape.word_soup(50 + seed * 7);
      if (seed % 2 == 0) {
        for (int i = 0; i < 30; ++i) tape.frame(static_cast<int>(tape.rng()() & 0xFF));
        tape.word_soup(seed * 5);
        for (int i = 0; i < 30; ++i) tape.frame(static_cast<int>(tape.rng()() & 0xFF));
      }
      if (seed % 5 == 0) tape.image().push_back(static_cast<std::uint8_t>(seed));
      std::ostringstream what;
      what << "soup seed " << seed << " phase " << phase;
      expect_identical(tape.image(), phase, seed % 2 ? Calls::BYTES : Calls::MIXED, seed,
                       what.str());
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// Frames are decoded ahead in chunks of 64 word pairs counted from an edge: one glitch is moved
// word by word over several chunk boundaries, in every kind of glitch, in both phases.
TEST(DecoderIdentity, AGlitchAtEveryWordAcrossScanChunkBoundaries) {
  for (Phase phase : {PHASE_NORMAL, PHASE_REVERSE}) {
    for (std::size_t at = 0; at < 420; at += (at % 128 < 8 || at % 128 > 120) ? 1 : 5) {
      RandomTape tape(at * 31 + 7, phase, at % 2 ? 2 : 0);
      const std::size_t glitch_at = tape.image().size() + 2 * at;
      for (int i = 0; i < 20; ++i)
        tape.frame(static_cast<int>(tape.rng()() & 0xFF), 1, i % 9 ? 1 : 0);
      RandomTape glitch(at, phase);
      glitch.image().clear();
      glitch.glitch();
      auto image = tape.image();
      image.insert(image.begin() + static_cast<std::ptrdiff_t>(glitch_at), glitch.image().begin(),
                   glitch.image().end());
      std::ostringstream what;
      what << "glitch at word " << at << " phase " << phase;
      expect_identical(image, phase, Calls::BYTES, at, what.str());
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// Cells other than the standard two, each still one bit: the scan decides some of them itself
// and hands the others over to the word machine at the exact bit.
TEST(DecoderIdentity, UnusualCellShapesAgree) {
  // Counts from the edge: high, low, high, low.
  const std::vector<std::vector<unsigned>> cells = {
      {28, 28},                  // standard 0
      {14, 14, 14, 14},          // standard 1
      {40, 10},                  // 1 in one long high word
      {34, 1},                   // the shortest 0
      {10, 10, 15, 5},           // 1 reaching 35 exactly in the second high word
      {10, 10, 10, 10},          // 0 after a short pair with another short pair after it
      {10, 10, 5, 40},           // 0 after a short pair with a long pair after it
      {17, 17, 1, 3},            // 1 sampled in a high word of one count
      {5, 5, 5, 5, 5, 5, 5, 5},  // 1 sampled in the fourth pair
      {6, 6, 6, 6, 6, 6},        // 0 sampled in the third pair
  };
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    for (Phase phase : {PHASE_NORMAL, PHASE_REVERSE}) {
      RandomTape tape(seed, phase, 0);
      auto& rng = tape.rng();
      for (int i = 0; i < 3000; ++i) {
        // Mostly standard cells, so that scanning runs into the unusual ones.
        const auto& cell = cells[rng() % 4 == 0 ? rng() % cells.size() : rng() % 2];
        for (std::size_t w = 0; w < cell.size(); ++w) tape.word(w % 2 == 0 ? 1 : 0, cell[w]);
      }
      std::ostringstream what;
      what << "cells seed " << seed << " phase " << phase;
      expect_identical(tape.image(), phase, Calls::BYTES, seed, what.str());
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// Read through a pipe, the reader's buffer ends wherever a read happens to end; the decoder must
// cross those ends word by word exactly like the reference.
TEST(DecoderIdentity, ReadingThroughAPipeCrossesBufferEnds) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const Phase phase = seed == 1 ? PHASE_NORMAL : PHASE_REVERSE;
    const auto image = realistic_tape(seed + 100, phase, 40, 3000, 200);
    ASSERT_GT(image.size(), 2 * ImageReader::CHUNK_SIZE);
    std::ostringstream what;
    what << "pipe seed " << seed;
    expect_identical(image, phase, Calls::BYTES, seed, what.str(), Source::PIPE);
    if (::testing::Test::HasFailure()) return;
  }
}

// A large file is mapped and made readable a window at a time instead of being read; the decoder
// must run over window ends as over buffer ends, in the middle of words and frames.
TEST(DecoderIdentity, ReadingAMappedFileCrossesWindowEnds) {
  for (std::uint64_t seed = 1; seed <= 2; ++seed) {
    const Phase phase = seed == 1 ? PHASE_NORMAL : PHASE_REVERSE;
    const auto image = realistic_tape(seed + 200, phase, 190, 3000, 200);
    ASSERT_GT(image.size(), 2 * ImageMapping::WINDOW_SIZE + ImageReader::CHUNK_SIZE);
    std::ostringstream what;
    what << "mapped seed " << seed;
    expect_identical(image, phase, seed == 1 ? Calls::BYTES : Calls::MIXED, seed, what.str(),
                     Source::MAPPED_FILE);
    if (::testing::Test::HasFailure()) return;
  }
}

// A mapped file that changes while it is read: bytes it gains are still read, and where it is
// cut short (whether the pages beyond the cut were already readable or not) decoding ends as on
// the shorter file, without a signal ending the process. Zero bytes stand in for pages that fell
// away, and words of count 0 leave no trace but the level of the current word, which no result
// depends on; so that is all that may differ.
TEST(DecoderIdentity, AMappedFileThatGrowsOrIsCutShortWhileItIsRead) {
  const auto image = realistic_tape(300, PHASE_NORMAL, 190, 0, 0);
  struct Case {
    const char* what;
    std::size_t written;  // bytes in the file when the reader maps it
    std::size_t kept;     // bytes left in it once the reader has made its first window readable
  };
  const Case cases[] = {
      {"grows by a third", image.size() * 2 / 3, image.size()},
      {"cut within the readable window", image.size(), 512 * 1024},
      {"cut beyond the readable window", image.size(), 1536 * 1024},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> seen(image.begin(), image.begin() + c.kept);
    auto expected = reference_trace(seen, PHASE_NORMAL, Calls::BYTES, 1);
    for (DecodePath path : PATHS) {
      test::TempDir dir;
      test::write_file(dir / "image.r38", {image.begin(), image.begin() + c.written});
      FileDescriptor file;
      file.open(dir / "image.r38", O_RDWR);
      ImageReader reader(file.fd, ReadMethod::MAP);
      ASSERT_TRUE(reader.is_mapped());
      reader.peek(IMAGE_DATA_OFFSET);
      reader.skip(IMAGE_DATA_OFFSET);
      if (c.kept > c.written) {
        ASSERT_EQ(::pwrite(file.fd, image.data() + c.written, c.kept - c.written,
                           static_cast<off_t>(c.written)),
                  static_cast<ssize_t>(c.kept - c.written));
      } else {
        ASSERT_EQ(::ftruncate(file.fd, static_cast<off_t>(c.kept)), 0);
      }
      TapeDecoder decoder(reader, PHASE_NORMAL, path);
      auto got = trace(decoder, reader, Calls::BYTES, 1);
      ASSERT_EQ(got.size(), expected.size()) << c.what << ", " << path_name(path);
      for (std::size_t i = 0; i < got.size(); ++i) {
        got[i].pulse_level = expected[i].pulse_level;
        ASSERT_EQ(got[i], expected[i]) << c.what << ", " << path_name(path) << ", call " << i;
      }
      EXPECT_EQ(reader.read_error(), 0) << c.what;
    }
  }
}

// A whole run of the real program: the dump holds every byte the reference decodes, damaged ones
// as 0xFE, whether the image is read through a buffer or, being large, mapped.
TEST(DecoderIdentity, TheDumpOfAWholeRunHoldsTheReferencesBytes) {
  RandomTape soup(7, PHASE_REVERSE);
  for (int i = 0; i < 40; ++i) {
    soup.word_soup(300);
    for (int j = 0; j < 50; ++j)
      soup.frame(static_cast<int>(soup.rng()() & 0xFF), 1, j % 13 ? 1 : 0);
  }
  struct Case {
    const char* what;
    std::vector<std::uint8_t> image;
    Phase phase;
  };
  const Case cases[] = {
      {"realistic, glitches and damage", realistic_tape(11, PHASE_NORMAL, 30, 500, 60),
       PHASE_NORMAL},
      {"word soup between frames", soup.image(), PHASE_REVERSE},
      {"large enough to be mapped", realistic_tape(12, PHASE_NORMAL, 330, 2000, 200), PHASE_NORMAL},
  };
  ASSERT_GE(cases[2].image.size(), ImageReader::MAP_THRESHOLD);
  for (const Case& c : cases) {
    std::vector<std::uint8_t> expected;
    ImageReader reader(c.image.data(), c.image.size());
    reader.skip(IMAGE_DATA_OFFSET);
    ReferenceDecoder reference(reader, c.phase);
    for (int byte; (byte = reference.read_byte()) != END_OF_INPUT;) {
      expected.push_back(static_cast<std::uint8_t>(byte & 0xFF));
    }
    ASSERT_GT(expected.size(), 100u) << c.what;

    test::TempDir dir;
    test::write_file(dir / "tape.r38", c.image);
    std::vector<std::string> args = {"tape.r38", "-d"};
    if (c.phase == PHASE_REVERSE) args.push_back("-pr");
    const test::RunResult run = test::run_r38dec(args, dir.path());
    EXPECT_EQ(run.status, 0) << c.what << ": " << run.err;
    EXPECT_TRUE(test::read_file(dir / "FULLDUMP.BIN") == expected) << c.what;
  }
}

TEST(DecoderIdentity, TheVectorPathIsUsedWhereTheProcessorHasIt) {
  const std::vector<std::uint8_t> image(IMAGE_MAGIC, IMAGE_MAGIC + IMAGE_MAGIC_LENGTH);
  ImageReader reader(image.data(), image.size());
  EXPECT_FALSE(TapeDecoder(reader, PHASE_NORMAL, DecodePath::PORTABLE).scans_frames());
  EXPECT_EQ(TapeDecoder(reader, PHASE_NORMAL).scans_frames(), vector_frame_scanner() != nullptr);
}

TEST(SkippedPairs, MatchesTheRuleOnePairAtATime) {
  std::mt19937_64 rng(5);
  for (int round = 0; round < 20000; ++round) {
    std::uint64_t carry = 0;
    bool skipped = false;
    for (int chunk = 0; chunk < 4; ++chunk) {
      std::uint64_t short_pairs = rng();
      if (round % 3 == 0) short_pairs |= rng();
      if (round % 7 == 0) short_pairs = ~std::uint64_t{0} << (rng() % 64);
      std::uint64_t expected = 0;
      for (int p = 0; p < 64; ++p) {
        if (skipped) expected |= std::uint64_t{1} << p;
        skipped = ((short_pairs >> p) & 1) != 0 && !skipped;
      }
      ASSERT_EQ(skipped_pairs(short_pairs, carry), expected) << "round " << round;
      ASSERT_EQ(carry != 0, skipped) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace r38

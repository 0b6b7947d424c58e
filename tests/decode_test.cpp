// The tick stream, the bit decision and byte framing, driven by images built word by word.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using test::image_with;
using test::TapeBuilder;

// A decoder standing on the first word of an image, as the driver leaves it.
struct Chain {
  explicit Chain(std::vector<std::uint8_t> bytes, Phase phase = PHASE_NORMAL)
      : image(std::move(bytes)), reader(image.data(), image.size()), decoder(reader, phase) {
    reader.skip(IMAGE_DATA_OFFSET);
  }
  std::vector<std::uint8_t> image;
  ImageReader reader;
  TapeDecoder decoder;
};

// Ticks as runs of (level, length), up to the end of the image.
std::vector<std::pair<int, int>> tick_runs(Chain& chain) {
  std::vector<std::pair<int, int>> runs;
  for (int level; (level = chain.decoder.take_tick()) != END_OF_INPUT;) {
    if (!runs.empty() && runs.back().first == level) {
      ++runs.back().second;
    } else {
      runs.emplace_back(level, 1);
    }
  }
  return runs;
}

struct TickCase {
  const char* what;
  std::vector<std::uint8_t> image;
  Phase phase;
  std::vector<std::pair<int, int>> runs;
};

TEST(TickStream, WordsBecomeRunsOfTicks) {
  const std::vector<TickCase> cases = {
      {"low 10, high 35", image_with({0x00, 0x0A, 0x80, 0x23}), PHASE_NORMAL, {{0, 90}, {1, 315}}},
      {"reverse inverts", image_with({0x00, 0x0A, 0x80, 0x23}), PHASE_REVERSE, {{1, 90}, {0, 315}}},
      {"count-0 words add nothing",
       image_with({0x00, 0x00, 0x80, 0x00, 0x00, 0x05}),
       PHASE_NORMAL,
       {{0, 45}}},
      {"odd final byte unused", image_with({0x00, 0x0A, 0x80}), PHASE_NORMAL, {{0, 90}}},
      {"same-level words join",
       image_with({0x00, 0x01, 0x80, 0x14, 0x80, 0x14}),
       PHASE_NORMAL,
       {{0, 9}, {1, 360}}},
      {"magic alone", image_with({}), PHASE_NORMAL, {}},
      {"magic and one zero byte", image_with({0x00}), PHASE_NORMAL, {}},
      {"longest word", image_with({0x00, 0x00, 0xFF, 0xFF}), PHASE_NORMAL, {{1, 294903}}},
  };
  for (const auto& c : cases) {
    Chain chain(c.image, c.phase);
    EXPECT_EQ(tick_runs(chain), c.runs) << c.what;
    // Once exhausted, the stream stays exhausted.
    EXPECT_EQ(chain.decoder.take_tick(), END_OF_INPUT) << c.what;
    EXPECT_EQ(chain.decoder.pulse_ticks(), 0) << c.what;
  }
}

TEST(TickStream, LongestWordLeavesItsTicksForLaterCalls) {
  Chain chain(image_with({0xFF, 0xFF}));
  EXPECT_EQ(chain.decoder.take_tick(), 1);
  EXPECT_EQ(chain.decoder.pulse_ticks(), 294902);
}

std::vector<int> bits_until_end(Chain& chain, int limit = 64) {
  std::vector<int> bits;
  for (int i = 0; i < limit; ++i) {
    bits.push_back(chain.decoder.read_bit());
    if (bits.back() == END_OF_INPUT) break;
  }
  return bits;
}

constexpr int END = END_OF_INPUT;

struct BitCase {
  const char* what;
  std::vector<std::uint8_t> image;
  Phase phase;
  std::vector<int> bits;
};

TEST(BitDecoder, SamplesTick313AfterTheRisingEdge) {
  const std::vector<BitCase> cases = {
      {"high 35 is a 1", image_with({0x00, 0x01, 0x80, 0x23, 0x00, 0x01}), PHASE_NORMAL, {1, END}},
      {"high 34 then low is a 0",
       image_with({0x00, 0x01, 0x80, 0x22, 0x00, 0x01}),
       PHASE_NORMAL,
       {0, END}},
      {"count 0 does not break a run",
       image_with({0x00, 0x01, 0x80, 0x22, 0x00, 0x00, 0x80, 0x01, 0x00, 0x01}),
       PHASE_NORMAL,
       {1, END}},
      {"sample in a later high word",
       image_with({0x00, 0x01, 0x80, 0x0A, 0x00, 0x18, 0x80, 0x05, 0x00, 0x01}),
       PHASE_NORMAL,
       {1, END}},
      {"sample in the low word",
       image_with({0x00, 0x01, 0x80, 0x0A, 0x00, 0x19, 0x80, 0x05, 0x00, 0x01}),
       PHASE_NORMAL,
       {0, END}},
      {"sample past the end", image_with({0x00, 0x01, 0x80, 0x22}), PHASE_NORMAL, {END}},
      {"sample in the last word", image_with({0x00, 0x01, 0x80, 0x23}), PHASE_NORMAL, {1, END}},
      {"never low after the start",
       image_with({0x00, 0x00, 0x80, 0x40, 0x80, 0x40}),
       PHASE_NORMAL,
       {END}},
      {"never high", image_with({0x00, 0x40, 0x00, 0x40}), PHASE_NORMAL, {END}},
      {"a leading high run is passed over",
       image_with({0x00, 0x00, 0x80, 0x28, 0x00, 0x01, 0x80, 0x28, 0x00, 0x28}),
       PHASE_NORMAL,
       {1, END}},
      {"reverse: stored low is high",
       image_with({0x00, 0x01, 0x80, 0x01, 0x00, 0x23, 0x80, 0x01}),
       PHASE_REVERSE,
       {1, END}},
      {"reverse: stored low 34",
       image_with({0x00, 0x01, 0x80, 0x01, 0x00, 0x22, 0x80, 0x01}),
       PHASE_REVERSE,
       {0, END}},
      {"an edge inside the sample window begins no bit",
       image_with({0x00, 0x01, 0x80, 0x05, 0x00, 0x05, 0x80, 0x40, 0x00, 0x01}),
       PHASE_NORMAL,
       {1, END}},
  };
  for (const auto& c : cases) {
    Chain chain(c.image, c.phase);
    EXPECT_EQ(bits_until_end(chain), c.bits) << c.what;
  }
}

TEST(BitDecoder, StandardCellsReadBackOneBitEach) {
  for (Phase phase : {PHASE_NORMAL, PHASE_REVERSE}) {
    TapeBuilder tape(phase);
    const std::vector<int> sent = {1, 0, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1};
    for (int b : sent) tape.bit(b);
    Chain chain(tape.bytes(), phase);
    std::vector<int> expected = sent;
    expected.push_back(END);
    EXPECT_EQ(bits_until_end(chain), expected) << "phase " << phase;
  }
}

std::vector<int> bytes_until_end(Chain& chain) {
  std::vector<int> bytes;
  for (int i = 0; i < 1000; ++i) {
    bytes.push_back(chain.decoder.read_byte());
    if (bytes.back() == END_OF_INPUT) break;
  }
  return bytes;
}

TEST(ByteDecoder, SkipsIdleBitsAndFramesLeastSignificantFirst) {
  TapeBuilder tape;
  for (int b : {1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1}) tape.bit(b);
  Chain chain(tape.bytes());
  EXPECT_EQ(bytes_until_end(chain), (std::vector<int>{0x41, END}));

  TapeBuilder framed;
  framed.idle_bits(5);
  framed.frames({0x41, 0x3C, 0x00});
  Chain chain2(framed.bytes());
  EXPECT_EQ(bytes_until_end(chain2), (std::vector<int>{0x41, 0x3C, 0x00, END}));
}

TEST(ByteDecoder, BadStopBitsGiveAFramingErrorAfterTheWholeFrame) {
  for (auto [stop1, stop2] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{0, 0}}) {
    TapeBuilder tape;
    tape.frame(0x55, stop1, stop2).frame(0xA7);
    Chain chain(tape.bytes());
    // The zero stop bit is never taken as the next frame's start bit.
    EXPECT_EQ(bytes_until_end(chain), (std::vector<int>{FRAMING_ERROR, 0xA7, END}))
        << stop1 << stop2;
  }
}

TEST(ByteDecoder, EndOfImageInsideAFrameIsEndOfInput) {
  struct Case {
    const char* what;
    std::vector<int> bits;
  };
  const std::vector<Case> cases = {
      {"while seeking the start bit", {1, 1, 1}},
      {"among the data bits", {0, 1, 0, 1}},
      {"after a good first stop bit", {0, 1, 0, 0, 0, 0, 0, 1, 0, 1}},
      {"after a bad first stop bit", {0, 1, 0, 0, 0, 0, 0, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    TapeBuilder tape;
    for (int b : c.bits) tape.bit(b);
    Chain chain(tape.bytes());
    EXPECT_EQ(bytes_until_end(chain), (std::vector<int>{END})) << c.what;
  }
}

TEST(ImageReader, ReadsAPipeOrFileInChunksAndReportsReadErrors) {
  // A directory opens but cannot be read: the error is kept, not mistaken for a clean end.
  const int fd = ::open(".", O_RDONLY);
  ASSERT_GE(fd, 0);
  ImageReader reader(fd);
  EXPECT_EQ(reader.read_image_byte(), END_OF_INPUT);
  EXPECT_NE(reader.read_error(), 0);
  ::close(fd);
}

}  // namespace
}  // namespace r38

// Finding sync marks and checking blocks, including damaged bytes in every field.
#include <gtest/gtest.h>

#include <vector>

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using test::DAMAGED;
using test::TapeBuilder;

struct BlockResult {
  int result;
  int block_type;
  std::vector<std::uint8_t> data;  // the first `result` buffer bytes, or the first 4 on failure
  bool operator==(const BlockResult&) const = default;
};

std::ostream& operator<<(std::ostream& os, const BlockResult& r) {
  os << "{result " << r.result << ", type " << r.block_type << ", data";
  for (auto b : r.data) os << ' ' << int(b);
  return os << '}';
}

// Reads every block of a tape of frames: the results until END_OF_INPUT included.
std::vector<BlockResult> read_blocks(const std::vector<int>& frames) {
  TapeBuilder tape;
  tape.idle_bits(8);
  tape.frames(frames);
  const auto image = tape.bytes();
  ImageReader reader(image.data(), image.size());
  reader.skip(IMAGE_DATA_OFFSET);
  TapeDecoder decoder(reader, PHASE_NORMAL);
  BlockBuffer buffer;
  std::vector<BlockResult> results;
  for (int i = 0; i < 100; ++i) {
    int type = 77;  // a value no call would write, to see when the type is left untouched
    const int result = decoder.read_block(buffer, type);
    const std::size_t shown = result >= 0 ? static_cast<std::size_t>(result) : 4;
    results.push_back({result, type, {buffer.bytes, buffer.bytes + shown}});
    if (result == END_OF_INPUT) break;
  }
  return results;
}

constexpr int END = END_OF_INPUT;

struct Case {
  const char* what;
  std::vector<int> frames;
  std::vector<BlockResult> blocks;
};

TEST(BlockReader, FindsSyncMarksAndChecksBlocks) {
  const std::vector<std::uint8_t> none = {0, 0, 0, 0};
  const std::vector<Case> cases = {
      {"lead-in skipped, worked checksum",
       {0x55, DAMAGED, 0x01, 0x3C, 0x01, 0x03, 0x10, 0x20, 0x30, 0x64},
       {{3, 0x01, {0x10, 0x20, 0x30}}, {END, 77, {0x10, 0x20, 0x30, 0}}}},
      {"checksum wraps at 8 bits",
       {0x01, 0x3C, 0xFF, 0x02, 0x80, 0x90, 0x11},
       {{2, 0xFF, {0x80, 0x90}}, {END, 77, {0x80, 0x90, 0, 0}}}},
      {"a run of 0x01 keeps the search ready",
       {0x01, 0x01, 0x3C, 0x05, 0x00, 0x05},
       {{0, 0x05, {}}, {END, 77, none}}},
      {"a damaged byte between 0x01 and 0x3C is no sync mark",
       {0x01, DAMAGED, 0x3C, 0x01, 0x3C, 0xFF, 0x00, 0xFF},
       {{0, 0xFF, {}}, {END, 77, none}}},
      {"a sync mark is read within one call",
       {0x01, 0x3C, 0x01, 0x00, 0x01, 0x3C, 0x01, 0x3C, 0xFF, 0x00, 0xFF},
       {{0, 0x01, {}}, {0, 0xFF, {}}, {END, 77, none}}},
      {"damaged type counts as 0xFE",
       {0x01, 0x3C, DAMAGED, 0x00, 0xFE},
       {{0, FRAMING_ERROR, {}}, {END, 77, none}}},
      {"damaged length reads no data",
       {0x01, 0x3C, 0x01, DAMAGED, 0xFF},
       {{0, 0x01, {}}, {END, 77, none}}},
      {"damaged data byte stored as 0xFE",
       {0x01, 0x3C, 0x01, 0x02, DAMAGED, 0x10, (0x01 + 0x02 + 0xFE + 0x10) & 0xFF},
       {{2, 0x01, {0xFE, 0x10}}, {END, 77, {0xFE, 0x10, 0, 0}}}},
      {"damaged checksum never matches",
       {0x01, 0x3C, 0x01, 0x00, DAMAGED},
       {{CHECKSUM_ERROR, 0x01, none}, {END, 77, none}}},
      {"wrong checksum",
       {0x01, 0x3C, 0x01, 0x01, 0x42, 0x45},
       {{CHECKSUM_ERROR, 0x01, {0x42, 0, 0, 0}}, {END, 77, {0x42, 0, 0, 0}}}},
      {"end during the sync search", {0x01}, {{END, 77, none}}},
      {"end while the type is read", {0x01, 0x3C}, {{END, END, none}}},
      {"end while the length is read", {0x01, 0x3C, 0x07}, {{END, 0x07, none}}},
      {"end inside the data", {0x01, 0x3C, 0x07, 0x03, 0xAA}, {{END, 0x07, {0xAA, 0, 0, 0}}}},
      {"end at the checksum", {0x01, 0x3C, 0x07, 0x01, 0xAA}, {{END, 0x07, {0xAA, 0, 0, 0}}}},
  };
  for (const auto& c : cases) EXPECT_EQ(read_blocks(c.frames), c.blocks) << c.what;
}

TEST(BlockReader, LeavesBufferPositionsPastTheDataAsTheyWere) {
  const auto blocks = read_blocks({0x01, 0x3C, 0x01, 0x04, 1, 2, 3, 4, 0x0F,  //
                                   0x01, 0x3C, 0x01, 0x01, 9, 0x0B});
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[1].data, (std::vector<std::uint8_t>{9}));
  EXPECT_EQ(blocks[2].data, (std::vector<std::uint8_t>{9, 2, 3, 4}));
}

TEST(BlockReader, ReportsTheOffsetOfEachBlock) {
  TapeBuilder tape;
  tape.good_block(BLOCK_DATA, {1, 2, 3});
  const std::size_t second_at = tape.image().size();
  tape.good_block(BLOCK_END, {});
  const auto image = tape.bytes();
  ImageReader reader(image.data(), image.size());
  reader.skip(IMAGE_DATA_OFFSET);
  TapeDecoder decoder(reader, PHASE_NORMAL);
  BlockBuffer buffer;
  int type = 0;
  ASSERT_EQ(decoder.read_block(buffer, type), 3);
  const std::uint64_t first = decoder.block_offset();
  ASSERT_EQ(decoder.read_block(buffer, type), 0);
  EXPECT_LT(first, second_at);
  EXPECT_GE(decoder.block_offset(), second_at);
}

}  // namespace
}  // namespace r38

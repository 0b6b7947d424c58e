// r38 list: the catalogue of a tape as a table and as JSON, and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;

RunResult list(const TapeBuilder& tape, std::vector<std::string> options = {}) {
  TempDir dir;
  write_file(dir / "tape.r38", tape.bytes());
  options.insert(options.begin(), "list");
  options.push_back("tape.r38");
  RunResult r = run_r38(options, dir.path());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "list wrote a file";
  return r;
}

TEST(R38List, CleanTapeShowsEveryKindOfFileWithEscapedNames) {
  TapeBuilder tape;
  TapeFile odd_name = data_file("", {9});
  odd_name.name = {'Q', '"', '\\', 0x01, 0xE9, ' ', 0, 'Z'};
  tape.file(basic_file("HELLO", "10 PRINT \"HI\"\r\n"))
      .file(basic_file("ICODE", "\x8F\x01\x02", false))
      .file(data_file("SCORES", pattern_bytes(600)))
      .file(machine_file("GAME", pattern_bytes(300), 0xC000, 0xC010))
      .file(unknown_file("ODD", 7, {1, 2, 3}))
      .file(odd_name);
  const RunResult r = list(tape);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "phase: normal (auto)\n"
            "NAME              TYPE            SIZE  LOAD  END   EXEC  BLOCKS  ERRORS  "
            "END BLOCK     OFFSET\n"
            "\"HELLO\"           BASIC ASCII       15  -     -     -          1       0  "
            "complete        2068\n"
            "\"ICODE\"           BASIC I-code       3  -     -     -          1       0  "
            "complete        7288\n"
            "\"SCORES\"          data             600  -     -     -          3       0  "
            "complete       11700\n"
            "\"GAME\"            machine          300  C000  C12B  C010       2       0  "
            "complete       57872\n"
            "\"ODD\"             unknown 7          0  -     -     -          1       0  "
            "complete       83484\n"
            "\"Q\\\"\\\\\\x01\\xE9 \"  data               1  -     -     -          1       0  "
            "complete       87856\n"
            "6 files (6 complete, 0 incomplete), 919 bytes, 0 checksum errors, 0 stray blocks\n");
}

// One tape with every kind of trouble the recogniser knows: a stray and a damaged block
// before any header, a damaged data block inside a file, a lost end block that joins the next
// file to the open one, and an image that ends inside a file.
TEST(R38List, DamagedTapeShowsLossesAndExitsWithOne) {
  TapeBuilder tape;
  tape.good_block(BLOCK_DATA, {1, 2, 3})
      .block_with_checksum(BLOCK_DATA, {4, 5}, 0x00)
      .good_block(BLOCK_HEADER, {'A', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
      .good_block(BLOCK_DATA, {1, 2})
      .block_with_checksum(BLOCK_DATA, {3, 4}, 0x00)
      .good_block(BLOCK_DATA, {5})
      .good_block(BLOCK_END, {})
      .good_block(BLOCK_HEADER, {'B', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
      .good_block(BLOCK_DATA, {1, 2, 3, 4})
      .block_with_checksum(BLOCK_END, {}, 0x00)
      .file(data_file("C", {5, 6}))
      .good_block(BLOCK_HEADER, {'D', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC, 0xFF, 0xFF})
      .good_block(BLOCK_DATA, {'1', '0'});
  const RunResult r = list(tape, {"--phase=normal"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "phase: normal\n"
            "NAME  TYPE            SIZE  LOAD  END   EXEC  BLOCKS  ERRORS  END BLOCK     OFFSET\n"
            "\"A\"   data               3  -     -     -          2       1  complete        1664\n"
            "\"B\"   data               6  -     -     -          2       1  complete        5352\n"
            "\"D\"   BASIC ASCII        2  -     -     -          1       0  incomplete     12144\n"
            "stray block at offset 276: type 0x01, 3 bytes, outside files\n"
            "stray block at offset 9648: type 0x00, 11 bytes, inside a file\n"
            "damaged block at offset 1004, outside files\n"
            "3 files (2 complete, 1 incomplete), 11 bytes, 3 checksum errors, 2 stray blocks\n");
}

TEST(R38List, JsonDocumentIsStable) {
  TapeBuilder tape;
  TapeFile odd_name = data_file("", {9, 8});
  odd_name.name = {'Q', '"', 0x01, 0xE9, 0, 0, 0, 0};
  tape.good_block(BLOCK_END, {})
      .block_with_checksum(BLOCK_DATA, {4}, 0x00)
      .file(basic_file("HELLO", "10 END\r\n"))
      .file(machine_file("GAME", {0x3E, 0x41, 0xC9}, 0xC000, 0xC001))
      .file(odd_name);
  const RunResult r = list(tape, {"--json", "-p", "normal"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, R"({
  "version": 1,
  "image": "tape.r38",
  "phase": "normal",
  "phase_automatic": false,
  "files": [
    {
      "name": "HELLO",
      "name_hex": "48454C4C4F000000",
      "output_name": "HELLO.BAS",
      "type": "basic_ascii",
      "type_code": 0,
      "size": 8,
      "load_address": null,
      "end_address": null,
      "exec_address": null,
      "data_blocks": 1,
      "checksum_errors": 0,
      "complete": true,
      "offset": 3268
    },
    {
      "name": "GAME",
      "name_hex": "47414D4500000000",
      "output_name": "GAME.BIN",
      "type": "machine",
      "type_code": 2,
      "size": 3,
      "load_address": 49152,
      "end_address": 49154,
      "exec_address": 49153,
      "data_blocks": 1,
      "checksum_errors": 0,
      "complete": true,
      "offset": 8052
    },
    {
      "name": "Q\"\u0001\u00e9",
      "name_hex": "512201E900000000",
      "output_name": "Q\"\u0001\u00e9.TXT",
      "type": "data",
      "type_code": 1,
      "size": 2,
      "load_address": null,
      "end_address": null,
      "exec_address": null,
      "data_blocks": 1,
      "checksum_errors": 0,
      "complete": true,
      "offset": 13020
    }
  ],
  "stray_blocks": [
    {
      "offset": 276,
      "type": 255,
      "length": 0,
      "in_file": false
    }
  ],
  "damaged_blocks": [
    {
      "offset": 876
    }
  ],
  "totals": {
    "files": 3,
    "complete": 3,
    "incomplete": 0,
    "bytes": 13,
    "checksum_errors": 1,
    "stray_blocks": 1,
    "damaged_blocks": 1
  }
}
)");
}

// A signal whose 0 cells have a long low half reads as nothing but 1 bits in the normal
// phase, so only the reverse phase finds its blocks.
TapeBuilder reverse_only_tape() {
  TapeBuilder tape(PHASE_REVERSE);
  auto bit = [&](int value) {
    if (value) {
      tape.word(1, 14).word(0, 14).word(1, 14).word(0, 14);
    } else {
      tape.word(1, 28).word(0, 60);
    }
  };
  auto byte = [&](int value) {
    bit(0);
    for (int i = 0; i < 8; ++i) bit((value >> i) & 1);
    bit(1);
    bit(1);
  };
  auto block = [&](int type, const std::vector<std::uint8_t>& data) {
    for (int i = 0; i < 32; ++i) bit(1);
    for (int b : {SYNC_MARK_FIRST, SYNC_MARK_SECOND, type, static_cast<int>(data.size())}) byte(b);
    for (std::uint8_t b : data) byte(b);
    byte(block_checksum(type, data));
  };
  const TapeFile file = data_file("REV", {1, 2, 3});
  const auto header = header_block_data(file);
  block(BLOCK_HEADER, {header.begin(), header.end()});
  block(BLOCK_DATA, file.data);
  block(BLOCK_END, {});
  return tape;
}

TEST(R38List, AutoPhaseFallsBackToReverseAndSaysSo) {
  const TapeBuilder tape = reverse_only_tape();
  const RunResult automatic = list(tape);
  EXPECT_EQ(automatic.status, 0);
  EXPECT_EQ(automatic.out.substr(0, automatic.out.find('\n')),
            "phase: reverse (auto: the normal phase found no good block)");
  EXPECT_NE(automatic.out.find("1 files (1 complete"), std::string::npos) << automatic.out;

  const RunResult normal = list(tape, {"--phase", "normal"});
  EXPECT_EQ(normal.status, 0);
  EXPECT_EQ(normal.out,
            "phase: normal\n0 files (0 complete, 0 incomplete), 0 bytes, 0 checksum errors, 0 "
            "stray blocks\n");
  EXPECT_NE(list(tape, {"--json"}).out.find("\"phase\": \"reverse\",\n  \"phase_automatic\": true"),
            std::string::npos);
}

TEST(R38List, ErrorsNameTheImageOrTheOption) {
  TempDir dir;
  write_file(dir / "text.txt", bytes_of("not a tape\n"));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"list", "missing.r38"}, "r38: missing.r38: No such file or directory\n"},
      {{"list", "text.txt"},
       "r38: text.txt: not a tape image, and not a readable recording ("},
      {{"list", "."}, "r38: .: Is a directory\n"},
      {{"list"}, "r38: list: no image named\n"},
      {{"list", "a.r38", "b.r38"}, "r38: list: one image at a time\n"},
      {{"list", "--phase", "sideways", "text.txt"},
       "r38: list: --phase must be normal, reverse or auto\n"},
      {{"list", "--jsn", "text.txt"}, "r38: list: unknown option '--jsn'\n"},
  };
  for (const auto& [args, message] : cases) {
    const RunResult r = run_r38(args, dir.path());
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err.substr(0, message.size()), message);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace r38

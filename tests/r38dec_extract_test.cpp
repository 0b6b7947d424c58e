// The normal mode: every file on the tape to its own output file, and the console report byte
// for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/image_reader.h"
#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string BANNER =
    "R38 file decoder version 0.6\n"
    "Cassette tape images to files, exact to the last byte\n"
    "Phase = Normal\n";

struct Converted {
  TempDir dir;
  RunResult result;
  std::vector<std::uint8_t> file(const std::string& name) const { return read_file(dir / name); }
  std::string text(const std::string& name) const { return read_text(dir / name); }
  bool has(const std::string& name) const { return fs::exists(dir / name); }
  // Files in the directory, the image aside.
  std::size_t outputs() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), {})) - 1;
  }
};

Converted convert(const TapeBuilder& tape, std::vector<std::string> options = {}) {
  Converted run;
  write_file(run.dir / "tape.r38", tape.bytes());
  options.insert(options.begin(), "tape.r38");
  run.result = run_r38dec(options, run.dir.path());
  return run;
}

TEST(R38decExtract, ReportsEachFileOnOneUnterminatedLineWithoutVerbose) {
  TapeBuilder tape;
  const auto data = pattern_bytes(600);
  const auto program = pattern_bytes(300, 7);
  tape.file(basic_file("HELLO", "10 PRINT \"HI\"\r\n"))
      .file(basic_file("ICODE", "\x8F\x01\x02", false))
      .file(data_file("SCORES", data))
      .file(machine_file("GAME", program, 0x1000, 0x1234));
  const Converted run = convert(tape);
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out,
            "\nFOUND:\"HELLO\"  \nFOUND:\"ICODE\"  \nFOUND:\"SCORES\"  \nFOUND:\"GAME\"  ");
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.text("HELLO.BAS"), "10 PRINT \"HI\"\r\n");
  EXPECT_EQ(run.text("ICODE.IBA"), "\x8F\x01\x02");
  EXPECT_EQ(run.file("SCORES.TXT"), data);
  EXPECT_EQ(run.file("GAME.BIN"), program);
  EXPECT_EQ(run.outputs(), 4u);
}

TEST(R38decExtract, VerboseReportNamesTypesLengthsAndAddresses) {
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 END\r\n"))
      .file(basic_file("ICODE", "\x8F", false))
      .file(data_file("BIG", pattern_bytes(0x10005)))
      .file(machine_file("GAME", pattern_bytes(0x10), 0x1000, 0x1000))
      .file(unknown_file("ODD", 3, {1, 2, 3}));
  const Converted run = convert(tape, {"-v"});
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out,
            BANNER +
                "\nFOUND:\"HELLO\"  BASIC program(ASCII)\nOutput filename:\"HELLO.BAS\"\n"
                "LENGTH=$0008\n"
                "\nFOUND:\"ICODE\"  BASIC program(I-code)\nOutput filename:\"ICODE.IBA\"\n"
                "LENGTH=$0001\n"
                "\nFOUND:\"BIG\"  BASIC data file\nOutput filename:\"BIG.TXT\"\n"
                "LENGTH=$10005\n"
                "\nFOUND:\"GAME\"  Machine language program\nOutput filename:\"GAME.BIN\"\n"
                "LENGTH=$0010 START=$1000 END=$100F EXEC=$1000\n"
                "\nFOUND:\"ODD\"  Unknown file type (3)\n\nOutput filename:\"ODD\"\n"
                "LENGTH=$0000\n");
  EXPECT_EQ(run.file("BIG.TXT"), pattern_bytes(0x10005));
  EXPECT_EQ(run.file("ODD").size(), 0u);
}

TEST(R38decExtract, AsciiMarkNeedsBothBytes0xFF) {
  for (auto [mark, extension] : {std::pair{std::array<std::uint8_t, 2>{0xFF, 0xFF}, ".BAS"},
                                 std::pair{std::array<std::uint8_t, 2>{0xFF, 0x00}, ".IBA"},
                                 std::pair{std::array<std::uint8_t, 2>{0x00, 0xFF}, ".IBA"}}) {
    TapeFile f = basic_file("P", "x");
    f.ascii_mark = mark;
    TapeBuilder tape;
    tape.file(f);
    const Converted run = convert(tape);
    EXPECT_TRUE(run.has(std::string("P") + extension)) << extension;
  }
}

TEST(R38decExtract, NamesAreTakenAsStoredExceptForSlashes) {
  struct Case {
    std::array<std::uint8_t, 8> name;
    std::string found;
    std::string output;
  };
  const std::vector<Case> cases = {
      {tape_name("ABCD", ' '), "ABCD    ", "ABCD    .BAS"},
      {tape_name("", 0), "", ".BAS"},
      {tape_name("A\0B", 0), "A", "A.BAS"},
      {tape_name("../../x", 0), ".._.._x", ".._.._x.BAS"},
      {tape_name("/etc/pw", 0), "_etc_pw", "_etc_pw.BAS"},
      {tape_name("\xE9t\xE9", 0), "\xE9t\xE9", "\xE9t\xE9.BAS"},
  };
  for (const auto& c : cases) {
    TapeFile f = basic_file("", "10 REM\r\n");
    f.name = c.name;
    TapeBuilder tape;
    tape.file(f);
    const Converted run = convert(tape);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out, "\nFOUND:\"" + c.found + "\"  ");
    EXPECT_EQ(run.text(c.output), "10 REM\r\n") << c.output;
    EXPECT_EQ(run.outputs(), 1u) << c.output;
  }
}

TEST(R38decExtract, DamagedBlocksAreReportedAndDropped) {
  TapeBuilder tape;
  tape.good_block(BLOCK_DATA, {9, 9})  // a stray block before any header: dropped silently
      .good_block(BLOCK_HEADER, {'A', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
      .good_block(BLOCK_DATA, {1, 2})
      .block_with_checksum(BLOCK_DATA, {3, 4}, 0x00)
      .good_block(BLOCK_HEADER, {'B', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})  // ignored
      .good_block(BLOCK_DATA, {5})
      .good_block(BLOCK_END, {});
  const Converted run = convert(tape, {"-v"});
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out, BANNER +
                                "\nFOUND:\"A\"  BASIC data file\nOutput filename:\"A.TXT\"\n"
                                "Check sum error\nLENGTH=$0003\n");
  EXPECT_EQ(run.file("A.TXT"), (std::vector<std::uint8_t>{1, 2, 5}));
  EXPECT_FALSE(run.has("B.TXT"));
}

TEST(R38decExtract, ChecksumErrorContinuesTheFoundLine) {
  TapeBuilder tape;
  tape.file(basic_file("A", "1")).block_with_checksum(BLOCK_DATA, {1}, 0x55);
  const Converted run = convert(tape);
  EXPECT_EQ(run.result.out, "\nFOUND:\"A\"  Check sum error\n");
}

TEST(R38decExtract, LostBlocksFollowTheRecognitionRules) {
  const std::vector<std::uint8_t> header_a = {'A', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC, 0xFF, 0xFF};
  const std::vector<std::uint8_t> header_b = {'B', 0, 0, 0, 0, 0, 0, 0, FILE_BASIC, 0xFF, 0xFF};
  {
    SCOPED_TRACE("a lost header drops its whole file");
    TapeBuilder tape;
    tape.block_with_checksum(BLOCK_HEADER, header_a, 0)
        .good_block(BLOCK_DATA, {1})
        .good_block(BLOCK_END, {})
        .file(basic_file("C", "2"));
    const Converted run = convert(tape);
    EXPECT_EQ(run.result.out, "Check sum error\n\nFOUND:\"C\"  ");
    EXPECT_FALSE(run.has("A.BAS"));
    EXPECT_EQ(run.text("C.BAS"), "2");
  }
  {
    SCOPED_TRACE("a lost end block joins two files");
    TapeBuilder tape;
    tape.good_block(BLOCK_HEADER, header_a)
        .good_block(BLOCK_DATA, {'x'})
        .block_with_checksum(BLOCK_END, {}, 0)
        .good_block(BLOCK_HEADER, header_b)
        .good_block(BLOCK_DATA, {'y'})
        .good_block(BLOCK_END, {});
    const Converted run = convert(tape, {"-v"});
    EXPECT_EQ(run.result.out, BANNER +
                                  "\nFOUND:\"A\"  BASIC program(ASCII)\nOutput filename:\"A.BAS\"\n"
                                  "Check sum error\nLENGTH=$0002\n");
    EXPECT_EQ(run.text("A.BAS"), "xy");
    EXPECT_FALSE(run.has("B.BAS"));
  }
  {
    SCOPED_TRACE("the image ends inside a file");
    TapeBuilder tape;
    tape.good_block(BLOCK_HEADER, header_a).good_block(BLOCK_DATA, {'x', 'y'});
    const Converted run = convert(tape, {"-v"});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out,
              BANNER + "\nFOUND:\"A\"  BASIC program(ASCII)\nOutput filename:\"A.BAS\"\n");
    EXPECT_EQ(run.text("A.BAS"), "xy");
  }
}

// A machine-language file from explicit data blocks, to place the preamble and trailer freely.
TapeBuilder machine_tape(const std::vector<std::vector<std::uint8_t>>& blocks,
                         bool end_block = true) {
  TapeBuilder tape;
  tape.good_block(BLOCK_HEADER, {'M', 0, 0, 0, 0, 0, 0, 0, FILE_MACHINE, 0, 0});
  for (const auto& b : blocks) tape.good_block(BLOCK_DATA, b);
  if (end_block) tape.good_block(BLOCK_END, {});
  return tape;
}

TEST(R38decExtract, MachineLanguagePreambleAndTrailer) {
  struct Case {
    const char* what;
    TapeBuilder tape;
    std::vector<std::uint8_t> program;
    std::string summary;
  };
  const std::vector<std::uint8_t> p250 = pattern_bytes(250, 3);
  std::vector<Case> cases;
  cases.push_back({"program length 0: the trailer follows the preamble",
                   machine_tape({{0, 0x00, 0x00, 0x10, 0x00, 0, 0, 0, 0x20, 0x00}}),
                   {},
                   "LENGTH=$0000 START=$1000 END=$0FFF EXEC=$2000"});
  cases.push_back({"load address 0 and length 0",
                   machine_tape({{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}),
                   {},
                   "LENGTH=$0000 START=$0000 END=$FFFF EXEC=$0001"});
  {
    TapeBuilder tape;
    tape.file(machine_file("M", pattern_bytes(0x200), 0xFF00, 0xABCD));
    cases.push_back({"END wraps at 16 bits", tape, pattern_bytes(0x200),
                     "LENGTH=$0200 START=$FF00 END=$00FF EXEC=$abcd"});
  }
  {
    std::vector<std::uint8_t> first = {0, 0x00, 250, 0x40, 0x00};
    first.insert(first.end(), p250.begin(), p250.end());
    cases.push_back({"program ends exactly at a block end",
                     machine_tape({first, {0, 0, 0, 0x41, 0x23}}), p250,
                     "LENGTH=$00fa START=$4000 END=$40F9 EXEC=$4123"});
  }
  cases.push_back({"a five-byte first block holds only the preamble",
                   machine_tape({{0, 0, 3, 0x10, 0x00}, {7, 8, 9, 0, 0, 0, 0x30, 0x00}}),
                   {7, 8, 9},
                   "LENGTH=$0003 START=$1000 END=$1002 EXEC=$3000"});
  cases.push_back(
      {"later data blocks are read as trailers",
       machine_tape({{0, 0, 1, 0x10, 0x00, 7, 0, 0, 0, 0x30, 0x00}, {0, 0, 0, 0x50, 0x00}}),
       {7},
       "LENGTH=$0001 START=$1000 END=$1000 EXEC=$5000"});
  cases.push_back({"a program shorter than its length",
                   machine_tape({{0, 0x01, 0x00, 0x10, 0x00, 1, 2, 3}}),
                   {1, 2, 3},
                   "LENGTH=$0003 START=$1000 END=$10FF EXEC=$0000"});
  for (auto& c : cases) {
    const Converted run = convert(c.tape, {"-v"});
    EXPECT_EQ(run.result.out, BANNER +
                                  "\nFOUND:\"M\"  Machine language program\n"
                                  "Output filename:\"M.BIN\"\n" +
                                  c.summary + "\n")
        << c.what;
    EXPECT_EQ(run.file("M.BIN"), c.program) << c.what;
  }
}

TEST(R38decExtract, MachineValuesCarryOverToTheNextFile) {
  // The first file sets all three values; the second has a first data block lost to a checksum
  // error, so its next block is read as the preamble, and it has no trailer of its own.
  TapeBuilder tape;
  tape.file(machine_file("ONE", {1, 2}, 0x2000, 0x2345));
  tape.good_block(BLOCK_HEADER, {'T', 'W', 'O', 0, 0, 0, 0, 0, FILE_MACHINE, 0, 0})
      .block_with_checksum(BLOCK_DATA, {0, 0, 9, 0x30, 0x00}, 0)
      .good_block(BLOCK_DATA, {0, 0, 2, 0x60, 0x00, 5, 6})
      .good_block(BLOCK_END, {});
  const Converted run = convert(tape, {"-v"});
  EXPECT_NE(run.result.out.find("LENGTH=$0002 START=$2000 END=$2001 EXEC=$2345\n"
                                "\nFOUND:\"TWO\"  Machine language program\n"
                                "Output filename:\"TWO.BIN\"\n"
                                "Check sum error\n"
                                "LENGTH=$0002 START=$6000 END=$6001 EXEC=$2345\n"),
            std::string::npos)
      << run.result.out;
  EXPECT_EQ(run.file("TWO.BIN"), (std::vector<std::uint8_t>{5, 6}));
}

TEST(R38decExtract, ShortHeaderReadsStaleBufferPositions) {
  // The first block is a 1-byte header: bytes 1..10 still hold the image's first line, so the
  // type is byte 8 of "ORV TAPE IMAGE 0", a blank.
  TapeBuilder tape;
  tape.good_block(BLOCK_HEADER, {'Z'}).good_block(BLOCK_END, {});
  const Converted run = convert(tape);
  EXPECT_EQ(run.result.out, "\nFOUND:\"ZRV TAPE\"  Unknown file type (32)\n");
  EXPECT_TRUE(run.has("ZRV TAPE"));
}

TEST(R38decExtract, SameNameTwiceKeepsTheSecond) {
  TapeBuilder tape;
  tape.file(basic_file("DUP", "first")).file(basic_file("DUP", "second"));
  const Converted run = convert(tape);
  EXPECT_EQ(run.text("DUP.BAS"), "second");
}

TEST(R38decExtract, AnOutputThatCannotBeMadeSkipsThatFileOnly) {
  TapeBuilder tape;
  tape.file(unknown_file("..", 7, {1}))
      .file(basic_file("GOOD", "1"))
      .file(unknown_file(".", 9, {2}))
      .file(basic_file("LAST", "2"));
  const Converted run = convert(tape);
  EXPECT_EQ(run.result.status, 2);
  EXPECT_EQ(run.result.out,
            "\nFOUND:\"..\"  Unknown file type (7)\n\nFOUND:\"GOOD\"  "
            "\nFOUND:\".\"  Unknown file type (9)\n\nFOUND:\"LAST\"  ");
  EXPECT_EQ(run.result.err, "output file open: Is a directory\noutput file open: Is a directory\n");
  EXPECT_EQ(run.text("GOOD.BAS"), "1");
  EXPECT_EQ(run.text("LAST.BAS"), "2");
}

TEST(R38decExtract, AWriteFailureIsReportedAndOtherFilesAreKept) {
  TapeBuilder tape;
  tape.file(basic_file("FIRST", "1")).file(basic_file("FULL", "2")).file(basic_file("LAST", "3"));
  // An image ending inside the last file: its bytes are flushed and checked at the end too.
  tape.good_block(BLOCK_HEADER, {'O', 'P', 'E', 'N', 0, 0, 0, 0, FILE_BASIC, 0, 0})
      .good_block(BLOCK_DATA, {'4'});
  Converted run;
  write_file(run.dir / "tape.r38", tape.bytes());
  fs::create_symlink("/dev/full", run.dir / "FULL.BAS");
  fs::create_symlink("/dev/full", run.dir / "OPEN.IBA");
  run.result = run_r38dec({"tape.r38"}, run.dir.path());
  EXPECT_EQ(run.result.status, 2);
  EXPECT_EQ(run.result.err,
            "output file write: No space left on device\n"
            "output file write: No space left on device\n");
  EXPECT_EQ(run.text("FIRST.BAS"), "1");
  EXPECT_EQ(run.text("LAST.BAS"), "3");
}

TEST(R38decExtract, AReadOnlyDirectoryIsAnOpenError) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TapeBuilder tape;
  tape.file(basic_file("A", "1"));
  Converted run;
  write_file(run.dir / "tape.r38", tape.bytes());
  fs::permissions(run.dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  run.result = run_r38dec({"tape.r38"}, run.dir.path());
  EXPECT_EQ(run.result.status, 2);
  EXPECT_EQ(run.result.err, "output file open: Permission denied\n");
}

TEST(R38decExtract, ReversePhaseReadsAnInvertedTape) {
  TapeBuilder tape(PHASE_REVERSE);
  tape.file(basic_file("REV", "10 END\r\n"));
  EXPECT_EQ(convert(tape, {"-pr"}).text("REV.BAS"), "10 END\r\n");
}

// A large image is mapped into memory rather than read through a buffer, a window at a time.
TEST(R38decExtract, ALargeImageIsMappedAndGivesTheSameFiles) {
  TapeBuilder tape;
  const auto data = pattern_bytes(40000, 3);
  const auto program = pattern_bytes(35000, 4);
  tape.file(data_file("BIG", data)).file(machine_file("CODE", program, 0x2000, 0x2000));
  ASSERT_GE(tape.bytes().size(), ImageReader::MAP_THRESHOLD + ImageMapping::WINDOW_SIZE);
  const Converted run = convert(tape);
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out, "\nFOUND:\"BIG\"  \nFOUND:\"CODE\"  ");
  EXPECT_EQ(run.file("BIG.TXT"), data);
  EXPECT_EQ(run.file("CODE.BIN"), program);
}

}  // namespace
}  // namespace r38

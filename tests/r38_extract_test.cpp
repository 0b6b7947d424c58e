// r38 extract: the converter's files, written into a chosen directory, optionally beside the
// files already there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::map<std::string, std::vector<std::uint8_t>> files_in(const fs::path& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = read_file(entry.path());
  }
  return files;
}

// A tape with every kind of file and every kind of loss: whatever r38dec makes of it, extract
// makes of it too, file for file and byte for byte.
TEST(R38Extract, WritesExactlyTheFilesTheConverterWrites) {
  TapeFile slash = data_file("A/B", {7, 7});
  TapeBuilder tape;
  tape.good_block(BLOCK_DATA, {1, 2, 3})
      .file(basic_file("HELLO", "10 PRINT \"HI\"\r\n"))
      .file(basic_file("ICODE", "\x8F\x01\x02", false))
      .file(machine_file("GAME", pattern_bytes(600), 0xC000, 0xC010))
      .good_block(BLOCK_HEADER, {'L', 'O', 'S', 'T', 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
      .good_block(BLOCK_DATA, {1, 2})
      .block_with_checksum(BLOCK_END, {}, 0x00)
      .file(data_file("JOINED", {3, 4}))
      .file(unknown_file("ODD", 9, {1}))
      .file(slash)
      .file(basic_file("HELLO", "20 END\r\n"))
      .good_block(BLOCK_HEADER, {'C', 'U', 'T', 0, 0, 0, 0, 0, FILE_MACHINE, 0, 0})
      .good_block(BLOCK_DATA, {0, 0, 4, 0x10, 0x00, 0xAA});
  TempDir dir;
  write_file(dir / "tape.r38", tape.bytes());
  fs::create_directory(dir / "dec");
  fs::create_directory(dir / "out");
  ASSERT_EQ(run_r38dec({"../tape.r38"}, dir / "dec").status, 0);

  const RunResult r = run_r38({"extract", "-C", "out", "tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(files_in(dir / "out"), files_in(dir / "dec"));
  EXPECT_EQ(read_file(dir / "out/LOST.TXT"), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(read_text(dir / "out/HELLO.BAS"), "20 END\r\n");
  EXPECT_NE(r.out.find("\"A/B\"    data               2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  A_B.TXT\n"), std::string::npos);
  EXPECT_NE(r.out.find("incomplete     "), std::string::npos);
}

TEST(R38Extract, NoClobberKeepsExistingFilesAndNumbersNewOnes) {
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 REM ONE\r\n"))
      .file(basic_file("HELLO", "10 REM TWO\r\n"))
      .file(unknown_file("BARE", 5, {}))
      .file(machine_file("GAME", {0xC9}, 0x1000, 0x1000));
  TempDir dir;
  write_file(dir / "tape.r38", tape.bytes());
  write_file(dir / "HELLO.BAS", bytes_of("mine"));
  write_file(dir / "BARE", bytes_of("mine too"));

  const RunResult r = run_r38({"extract", "--no-clobber", "tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_text(dir / "HELLO.BAS"), "mine");
  EXPECT_EQ(read_text(dir / "HELLO-1.BAS"), "10 REM ONE\r\n");
  EXPECT_EQ(read_text(dir / "HELLO-2.BAS"), "10 REM TWO\r\n");
  EXPECT_EQ(read_text(dir / "BARE"), "mine too");
  EXPECT_EQ(read_text(dir / "BARE-1"), "");
  EXPECT_EQ(read_file(dir / "GAME.BIN"), std::vector<std::uint8_t>{0xC9});
  EXPECT_EQ(r.out,
            "phase: normal (auto)\n"
            "NAME     TYPE            SIZE  LOAD  END   EXEC  BLOCKS  ERRORS  END BLOCK     "
            "OFFSET  WRITTEN TO\n"
            "\"HELLO\"  BASIC ASCII       12  -     -     -          1       0  complete        "
            "2068  HELLO-1.BAS\n"
            "\"HELLO\"  BASIC ASCII       12  -     -     -          1       0  complete        "
            "7120  HELLO-2.BAS\n"
            "\"BARE\"   unknown 5          0  -     -     -          0       0  complete       "
            "12176  BARE-1\n"
            "\"GAME\"   machine            1  1000  1000  1000       1       0  complete       "
            "15812  GAME.BIN\n"
            "4 files (4 complete, 0 incomplete), 25 bytes, 0 checksum errors, 0 stray blocks\n");

  // Without it, existing files are replaced and the later of two same-named files wins.
  const RunResult replace = run_r38({"extract", "tape.r38"}, dir.path());
  EXPECT_EQ(replace.status, 0);
  EXPECT_EQ(read_text(dir / "HELLO.BAS"), "10 REM TWO\r\n");
  EXPECT_EQ(read_text(dir / "BARE"), "");
}

TEST(R38Extract, NeverWritesThroughASymbolicLinkAndReportsTheFile) {
  TempDir dir;
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 END\r\n")).file(data_file("DATA", {1, 2}));
  write_file(dir / "tape.r38", tape.bytes());
  write_file(dir / "target", bytes_of("keep"));
  fs::create_directory(dir / "out");
  fs::create_symlink("../target", dir / "out/HELLO.BAS");

  const RunResult r = run_r38({"extract", "-C", "out", "tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.substr(0, 28), "r38: out/HELLO.BAS: cannot c");
  EXPECT_EQ(read_text(dir / "target"), "keep");
  EXPECT_EQ(read_file(dir / "out/DATA.TXT"), (std::vector<std::uint8_t>{1, 2}));
}

TEST(R38Extract, ErrorsNameTheDirectoryImageOrOption) {
  TempDir dir;
  write_file(dir / "tape.r38", TapeBuilder().file(data_file("D", {1})).bytes());
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"extract", "-C", "nowhere", "tape.r38"}, "r38: nowhere: No such file or directory\n"},
      {{"extract", "-C", "tape.r38", "tape.r38"}, "r38: tape.r38: Not a directory\n"},
      {{"extract", "missing.r38"}, "r38: missing.r38: No such file or directory\n"},
      {{"extract"}, "r38: extract: no image named\n"},
      {{"extract", "tape.r38", "-C"}, "r38: extract: option '-C' needs a value\n"},
  };
  for (const auto& [args, message] : cases) {
    const RunResult r = run_r38(args, dir.path());
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err.substr(0, message.size()), message);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace r38

// The converter's command line, image check and dump mode, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string USAGE =
    "R38 file to binary file converter for ORV 0.6\n"
    "\n"
    "Synopsis: r38dec infile [options]\n"
    "\n"
    "Option : -v       Verbose mode\n"
    "         -p[mode] Specify phase\n"
    "                  mode: r=Reverse, n=Normal[default]\n"
    "         -d       full Dump mode(for debug)\n"
    "         -t[val]  Bit recognize torelance[%]. Default is 50%\n"
    "         -h       Show this message\n"
    "Output filename will be generated from original filename\n"
    "ex1. r38dec test.r38 \n"
    "ex2. r38dec test.r38 -v -pr -t60\n";

TEST(R38decUsage, PrintedExactlyForNoArgumentsAndEveryHelpSpelling) {
  TempDir dir;
  const std::vector<std::vector<std::string>> commands = {
      {},
      {"-h"},
      {"-H"},
      {"-?"},
      {"/h"},
      {"/?"},
      {"-help"},
      {"missing.r38", "-h"},
      {"-v", "missing.r38", "/H", "-d"},
  };
  for (const auto& args : commands) {
    const RunResult r = run_r38dec(args, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, USAGE) << "with " << args.size() << " arguments";
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A tape whose one byte reads 0x41 under the normal phase. Its cells are lopsided (a 1 is a long
// high and a short low, a 0 the other way round), so read in reverse it gives something else;
// the standard cells read the same in either phase.
std::vector<std::uint8_t> one_byte_tape() {
  TapeBuilder tape;
  auto bit = [&](int b) { b ? tape.word(1, 40).word(0, 4) : tape.word(1, 4).word(0, 40); };
  for (int b : {1, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1}) bit(b);
  return tape.bytes();
}

TEST(R38decOptions, AreDecidedByTheirSecondCharacter) {
  struct Case {
    std::vector<std::string> args;
    std::string banner_phase;  // "" when no banner is expected
    bool dump;
  };
  const std::vector<Case> cases = {
      {{"tape.r38", "-v"}, "Normal", false},
      {{"-v", "tape.r38"}, "Normal", false},
      {{"tape.r38", "-V", "-pr"}, "Reverse", false},
      {{"tape.r38", "/v", "-PR"}, "Reverse", false},
      {{"tape.r38", "-v", "-preverse", "-pn"}, "Normal", false},
      {{"tape.r38", "-v", "-pr", "-p"}, "Reverse", false},
      {{"tape.r38", "-v", "-pr", "-px"}, "Reverse", false},
      {{"tape.r38", "-vd"}, "Normal", false},
      {{"tape.r38", "-d"}, "", true},
      {{"tape.r38", "/D", "-t60", "-T", "-x", "-", "/"}, "", true},
      {{"other.r38", "tape.r38", "-d"}, "", true},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir / "tape.r38", one_byte_tape());
    const RunResult r = run_r38dec(c.args, dir.path());
    EXPECT_EQ(r.status, 0) << c.args[1] << r.err;
    if (c.banner_phase.empty()) {
      EXPECT_EQ(r.out, "");
    } else {
      EXPECT_EQ(r.out.rfind("R38 file decoder version 0.6\n", 0), 0u);
      EXPECT_NE(r.out.find("\nPhase = " + c.banner_phase + "\n"), std::string::npos) << r.out;
    }
    EXPECT_EQ(fs::exists(dir / "FULLDUMP.BIN"), c.dump);
  }
}

TEST(R38decOptions, PhaseChangesWhatIsDecoded) {
  TempDir dir;
  write_file(dir / "tape.r38", one_byte_tape());
  ASSERT_EQ(run_r38dec({"tape.r38", "-d"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "FULLDUMP.BIN"), (std::vector<std::uint8_t>{0x41}));
  ASSERT_EQ(run_r38dec({"tape.r38", "-d", "-pr"}, dir.path()).status, 0);
  EXPECT_NE(read_file(dir / "FULLDUMP.BIN"), (std::vector<std::uint8_t>{0x41}));
}

TEST(R38decImage, AcceptsExactlyTheMagicFollowedByTheEndOrAZeroByte) {
  const std::string magic = "ORV TAPE IMAGE 0";
  struct Case {
    const char* what;
    std::string bytes;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"magic alone", magic, true},
      {"magic and 0x00", magic + std::string(1, '\0'), true},
      {"magic, 0x00 and more", magic + std::string("\0\x0A\x80\x23", 4), true},
      {"magic and line feed", magic + "\n", false},
      {"magic and CR LF", magic + "\r\n", false},
      {"magic and blank", magic + " ", false},
      {"magic and 0x80", magic + "\x80", false},
      {"lower case", "orv tape image 0", false},
      {"15 characters", magic.substr(0, 15), false},
      {"line feed inside", "ORV TAPE\nIMAGE 0", false},
      {"empty file", "", false},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir / "tape.r38", bytes_of(c.bytes));
    write_file(dir / "FULLDUMP.BIN", bytes_of("keep"));
    const RunResult r = run_r38dec({"tape.r38", "-d"}, dir.path());
    if (c.accepted) {
      EXPECT_EQ(r.status, 0) << c.what;
      EXPECT_EQ(r.out, "") << c.what;
      EXPECT_EQ(read_file(dir / "FULLDUMP.BIN").size(), 0u) << c.what;
    } else {
      EXPECT_EQ(r.status, 1) << c.what;
      EXPECT_EQ(r.out, "Source file is not a valid ORV tape image file\n") << c.what;
      // A rejected image never touches the dump file.
      EXPECT_EQ(read_text(dir / "FULLDUMP.BIN"), "keep") << c.what;
    }
    EXPECT_EQ(r.err, "") << c.what;
  }
}

TEST(R38decImage, OpenFailuresAreReportedOnStandardError) {
  TempDir dir;
  RunResult r = run_r38dec({"missing.r38", "-v"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out,
            "R38 file decoder version 0.6\n"
            "Cassette tape images to files, exact to the last byte\n"
            "Phase = Normal\n");
  EXPECT_EQ(r.err, "Source file open: No such file or directory\n");

  // An empty argument names the input too.
  r = run_r38dec({""}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Source file open: No such file or directory\n");

  // A path starting with "/" is an option, so only options remain: no image is named.
  r = run_r38dec({"/dev/null"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "No input file named\n");
  EXPECT_EQ(r.out, USAGE);
  EXPECT_FALSE(fs::exists(dir / "FULLDUMP.BIN"));

  // A directory opens but cannot be read: that is no success.
  fs::create_directory(dir / "folder");
  r = run_r38dec({"folder"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Source file read: Is a directory\n");
}

TEST(R38decDump, WritesEveryDecodedByteWithDamagedBytesAs0xFE) {
  TempDir dir;
  TapeBuilder tape;
  tape.idle_bits(3).frames({0x00, 0x41, DAMAGED, 0xFE, 0xFF, 0x3C}).frame(0x12, 0, 1);
  // An odd final byte and a frame cut short by the end of the image add nothing.
  tape.bit(0).bit(1);
  auto image = tape.bytes();
  image.push_back(0x80);
  write_file(dir / "tape.r38", image);
  write_file(dir / "FULLDUMP.BIN", std::vector<std::uint8_t>(100, 0x77));
  const RunResult r = run_r38dec({"tape.r38", "-d", "-v"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "R38 file decoder version 0.6\n"
            "Cassette tape images to files, exact to the last byte\n"
            "Phase = Normal\n");
  EXPECT_EQ(read_file(dir / "FULLDUMP.BIN"),
            (std::vector<std::uint8_t>{0x00, 0x41, 0xFE, 0xFE, 0xFF, 0x3C, 0xFE}));
}

TEST(R38decDump, LostDumpBytesAreAnError) {
  TempDir dir;
  TapeBuilder tape;
  tape.frames({1, 2, 3});
  write_file(dir / "tape.r38", tape.bytes());
  fs::create_symlink("/dev/full", dir / "FULLDUMP.BIN");
  RunResult r = run_r38dec({"tape.r38", "-d"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "output file write: No space left on device\n");

  fs::remove(dir / "FULLDUMP.BIN");
  fs::create_directory(dir / "FULLDUMP.BIN");
  r = run_r38dec({"tape.r38", "-d"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "output file open: Is a directory\n");
}

TEST(R38decOutput, AFullStandardOutputIsAnError) {
  TempDir dir;
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 PRINT\r\n"));
  write_file(dir / "tape.r38", tape.bytes());
  const RunResult r = run_program(R38DEC_PATH, {"tape.r38", "-v"}, dir.path(), "/dev/full");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Standard output write: No space left on device\n");
  // The files themselves are still written in full.
  EXPECT_EQ(read_text(dir / "HELLO.BAS"), "10 PRINT\r\n");
}

}  // namespace
}  // namespace r38

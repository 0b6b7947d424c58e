// Tapes made to hurt the converter: names that are paths or devices' worth of control bytes,
// blocks too short for the fields read from them, floods of empty and of endless words, images
// that stop anywhere, and tapes with a great many files. Each states what must happen: the
// files, the messages and the status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct Converted {
  TempDir dir;
  RunResult result;
  std::vector<std::uint8_t> file(const std::string& name) const { return read_file(dir / name); }
  // Everything in the directory tree, the image aside, as "name" for regular files and
  // "name/" for anything else.
  std::vector<std::string> tree() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const std::string name = fs::relative(entry.path(), dir.path()).string();
      if (name == "tape.r38") continue;
      names.push_back(entry.is_regular_file() && !entry.is_symlink() ? name : name + "/");
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

Converted convert(const std::vector<std::uint8_t>& image, std::vector<std::string> options = {},
                  const std::vector<std::string>& directories = {}) {
  Converted run;
  write_file(run.dir / "tape.r38", image);
  for (const auto& d : directories) fs::create_directories(run.dir / d);
  options.insert(options.begin(), "tape.r38");
  run.result = run_r38dec(options, run.dir.path());
  return run;
}

// A file of the given type whose stored name is `stored`, padded with zero bytes.
TapeFile named(const std::string& stored, int type, const std::string& text) {
  TapeFile f = basic_file("", text);
  f.file_type = type;
  f.name = tape_name(stored, 0);
  return f;
}

TEST(HostileNames, EveryOutputIsARegularFileInTheDirectoryItself) {
  struct Case {
    const char* what;
    TapeFile file;
    std::string found;  // as the FOUND line shows the name
    std::vector<std::string> tree;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"slashes", named("/../../x", FILE_BASIC, "1"), "_.._.._x", {"_.._.._x.BAS"}, 0, ""},
      {"dot dot", named("..", FILE_BASIC_DATA, "1"), "..", {"...TXT"}, 0, ""},
      {"dot", named(".", FILE_BASIC, "1"), ".", {"..BAS"}, 0, ""},
      {"control bytes",
       named("\x01\n\x1b[2J\t", FILE_BASIC, "1"),
       "\x01\n\x1b[2J\t",
       {"\x01\n\x1b[2J\t.BAS"},
       0,
       ""},
      {"0xFF bytes",
       [] {
         TapeFile f = basic_file("", "1");
         f.name.fill(0xFF);
         return f;
       }(),
       std::string(8, '\xFF'),
       {std::string(8, '\xFF') + ".BAS"},
       0,
       ""},
      {"a zero first byte", named("", FILE_BASIC_DATA, "1"), "", {".TXT"}, 0, ""},
      // Files of an unknown type get no extension, so their names can be "", "." or "..".
      {"unknown type, empty name",
       named("", 9, ""),
       "",
       {},
       2,
       "output file open: No such file or directory\n"},
      {"unknown type, dot dot",
       named("..", 9, ""),
       "..",
       {},
       2,
       "output file open: Is a directory\n"},
  };
  for (const auto& c : cases) {
    TapeBuilder tape;
    tape.file(c.file);
    const Converted run = convert(tape.bytes());
    EXPECT_EQ(run.result.status, c.status) << c.what;
    EXPECT_EQ(run.result.err, c.err) << c.what;
    EXPECT_EQ(run.result.out.substr(0, 9 + c.found.size()), "\nFOUND:\"" + c.found + "\"")
        << c.what;
    EXPECT_EQ(run.tree(), c.tree) << c.what;
  }
}

TEST(HostileNames, AnUnknownTypeNamedLikeADirectoryLeavesItAlone) {
  TapeBuilder tape;
  tape.file(unknown_file("SUB", 0x42, {1, 2, 3})).file(basic_file("AFTER", "2"));
  Converted run;
  write_file(run.dir / "tape.r38", tape.bytes());
  fs::create_directory(run.dir / "SUB");
  write_file(run.dir / "SUB" / "inside", bytes_of("kept"));
  run.result = run_r38dec({"tape.r38"}, run.dir.path());
  EXPECT_EQ(run.result.status, 2);
  EXPECT_EQ(run.result.err, "output file open: Is a directory\n");
  EXPECT_EQ(run.result.out, "\nFOUND:\"SUB\"  Unknown file type (66)\n\nFOUND:\"AFTER\"  ");
  EXPECT_EQ(run.tree(), (std::vector<std::string>{"AFTER.BAS", "SUB/", "SUB/inside"}));
  EXPECT_EQ(read_text(run.dir / "SUB" / "inside"), "kept");
}

TEST(HostileBlocks, FieldsPastAShortBlockComeFromEarlierBlocks) {
  {
    SCOPED_TRACE("an empty header after a data block takes its name and type from that block");
    TapeBuilder tape;
    tape.file(data_file("PREV", bytes_of("ABCDEFGHI..")))
        .good_block(BLOCK_HEADER, {})
        .good_block(BLOCK_END, {});
    const Converted run = convert(tape.bytes());
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out, "\nFOUND:\"PREV\"  \nFOUND:\"ABCDEFGH\"  Unknown file type (73)\n");
    EXPECT_EQ(run.tree(), (std::vector<std::string>{"ABCDEFGH", "PREV.TXT"}));
  }
  {
    SCOPED_TRACE("a one-byte preamble and a trailer past the longest block");
    std::vector<std::uint8_t> full = {0, 0, 249, 0x20, 0x00};
    const std::vector<std::uint8_t> program = pattern_bytes(249);
    full.insert(full.end(), program.begin(), program.end());
    full.push_back(0x77);  // the trailer's first byte; the rest would lie past the block
    TapeBuilder tape;
    tape.good_block(BLOCK_HEADER, {'M', 0, 0, 0, 0, 0, 0, 0, FILE_MACHINE, 0, 0})
        .good_block(BLOCK_DATA, full)
        .good_block(BLOCK_END, {})
        .good_block(BLOCK_HEADER, {'N', 0, 0, 0, 0, 0, 0, 0, FILE_MACHINE, 0, 0})
        .good_block(BLOCK_DATA, {9})
        .good_block(BLOCK_END, {});
    const Converted run = convert(tape.bytes(), {"-v"});
    EXPECT_EQ(run.result.status, 0);
    // Positions past 254 are never written by a block: the execution address reads as 0. The
    // second file's one-byte preamble reads the rest from its header block, all zero there.
    EXPECT_NE(run.result.out.find("LENGTH=$00f9 START=$2000 END=$20F8 EXEC=$0000\n"),
              std::string::npos)
        << run.result.out;
    EXPECT_NE(run.result.out.find("LENGTH=$0000 START=$0000 END=$FFFF EXEC=$0000\n"),
              std::string::npos)
        << run.result.out;
    EXPECT_EQ(run.file("M.BIN"), program);
    EXPECT_EQ(run.file("N.BIN").size(), 0u);
  }
}

TEST(HostileWords, FloodsOfEmptyAndOfLongestWordsBetweenFiles) {
  struct Case {
    const char* what;
    int words;
    unsigned count;
  };
  const std::vector<Case> cases = {
      // Words of count 0 hold no ticks at all: a million of them change nothing.
      {"a million count-0 words", 1'000'000, 0},
      // Each longest word holds 294,903 ticks; alternating levels make each rising edge a bit
      // of 1, which is idle signal. The flood ends low, so that the next bit cell's rising edge
      // is its own: a high run running into a cell of 1 would put the next edge mid-cell.
      {"a thousand longest words", 1'000, COUNT_MASK},
  };
  for (const auto& c : cases) {
    TapeBuilder tape;
    tape.file(basic_file("BEFORE", "10 REM\r\n"));
    tape.good_block(BLOCK_HEADER, {'I', 'N', 0, 0, 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
        .good_block(BLOCK_DATA, {1, 2, 3});
    for (int i = 0; i < c.words; ++i)
      tape.raw_word(static_cast<std::uint16_t>(c.count | (i % 2 ? 0 : LEVEL_BIT)));
    tape.good_block(BLOCK_DATA, {4}).good_block(BLOCK_END, {});
    tape.file(basic_file("AFTER", "20 END\r\n"));
    const Converted run = convert(tape.bytes());
    EXPECT_EQ(run.result.status, 0) << c.what;
    EXPECT_EQ(run.result.err, "") << c.what;
    EXPECT_EQ(run.result.out, "\nFOUND:\"BEFORE\"  \nFOUND:\"IN\"  \nFOUND:\"AFTER\"  ") << c.what;
    EXPECT_EQ(run.file("BEFORE.BAS"), bytes_of("10 REM\r\n")) << c.what;
    EXPECT_EQ(run.file("IN.TXT"), (std::vector<std::uint8_t>{1, 2, 3, 4})) << c.what;
    EXPECT_EQ(run.file("AFTER.BAS"), bytes_of("20 END\r\n")) << c.what;
  }
}

TEST(HostileImages, ImagesThatStopAnywhere) {
  {
    SCOPED_TRACE("only the magic and an odd byte");
    for (const auto& options : {std::vector<std::string>{}, {"-d"}}) {
      const Converted run = convert(image_with({0x00}), options);
      EXPECT_EQ(run.result.status, 0);
      EXPECT_EQ(run.result.out, "");
      EXPECT_EQ(run.result.err, "");
      EXPECT_EQ(run.tree(), options.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{"FULLDUMP.BIN"});
    }
  }
  {
    SCOPED_TRACE("a file that never ends: the image stops inside a block");
    TapeBuilder tape;
    tape.good_block(BLOCK_HEADER, {'O', 'P', 'E', 'N', 0, 0, 0, 0, FILE_BASIC_DATA, 0, 0})
        .good_block(BLOCK_DATA, {1, 2});
    std::vector<std::uint8_t> image = tape.good_block(BLOCK_DATA, {3, 4, 5, 6}).bytes();
    image.resize(image.size() - 100);
    const Converted run = convert(image, {"-v"});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.err, "");
    // No summary line: the file never ended. The complete block is kept, the cut one is not.
    EXPECT_EQ(run.result.out.substr(run.result.out.find("\nFOUND")),
              "\nFOUND:\"OPEN\"  BASIC data file\nOutput filename:\"OPEN.TXT\"\n");
    EXPECT_EQ(run.file("OPEN.TXT"), (std::vector<std::uint8_t>{1, 2}));
  }
}

TEST(HostileImages, TenThousandFiles) {
  constexpr int FILES = 10'000;
  TapeBuilder tape;
  for (int i = 0; i < FILES; ++i) {
    // Short lead-ins keep the image small; the converter needs none.
    TapeFile f = data_file("F" + std::to_string(i), {static_cast<std::uint8_t>(i)});
    tape.block(BLOCK_HEADER, header_block_data(f), 1);
    tape.block(BLOCK_DATA, f.data, 1);
    tape.block(BLOCK_END, {}, 1);
  }
  const Converted run = convert(tape.bytes());
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.err, "");
  const std::vector<std::string> tree = run.tree();
  ASSERT_EQ(tree.size(), static_cast<std::size_t>(FILES));
  for (int i : {0, 1, 4321, FILES - 1}) {
    EXPECT_EQ(run.file("F" + std::to_string(i) + ".TXT"),
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)}))
        << i;
  }
}

TEST(HostileNames, SameNamedFilesUnderNoClobberAreNumberedInTurn) {
  // Each further file of one name takes the next free number, past those already there.
  constexpr int FILES = 300;
  TapeBuilder tape;
  for (int i = 0; i < FILES; ++i) {
    TapeFile f = data_file("A", {static_cast<std::uint8_t>(i)});
    tape.block(BLOCK_HEADER, header_block_data(f), 1);
    tape.block(BLOCK_DATA, f.data, 1);
    tape.block(BLOCK_END, {}, 1);
  }
  TempDir dir;
  write_file(dir / "tape.r38", tape.bytes());
  write_file(dir / "A.TXT", bytes_of("mine"));
  write_file(dir / "A-2.TXT", bytes_of("mine too"));
  const RunResult r = run_r38({"extract", "--no-clobber", "tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_text(dir / "A.TXT"), "mine");
  EXPECT_EQ(read_text(dir / "A-2.TXT"), "mine too");
  EXPECT_EQ(read_file(dir / "A-1.TXT"), (std::vector<std::uint8_t>{0}));
  for (int i : {1, 2, 150, FILES - 1}) {
    EXPECT_EQ(read_file(dir / ("A-" + std::to_string(i + 2) + ".TXT")),
              (std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)}))
        << i;
  }
  EXPECT_FALSE(fs::exists(dir / ("A-" + std::to_string(FILES + 2) + ".TXT")));
}

}  // namespace
}  // namespace r38

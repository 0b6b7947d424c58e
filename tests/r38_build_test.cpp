// r38 build: files to a tape image that decodes back to the same files, and the cases it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "encode/tape_files.h"
#include "extract/extractor.h"
#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Every file the recogniser finds, with its bytes and addresses, as the converter would write it.
struct DecodedFile {
  std::string output_name;
  std::array<std::uint8_t, 8> name;
  int file_type;
  bool ascii;
  std::vector<std::uint8_t> data;
  unsigned load_address = 0;
  unsigned exec_address = 0;
  bool ended = false;
};

class Collector : public ExtractorEvents {
 public:
  std::vector<DecodedFile> files;
  int checksum_errors = 0;
  void checksum_error(bool, std::uint64_t) override { ++checksum_errors; }
  bool file_started(const FileHeader& h) override {
    DecodedFile& f = files.emplace_back();
    f.output_name = h.output_name;
    std::copy(std::begin(h.file_name), std::end(h.file_name), f.name.begin());
    f.file_type = h.file_type;
    f.ascii = h.ascii;
    return true;
  }
  void file_data(const std::uint8_t* bytes, std::size_t count) override {
    files.back().data.insert(files.back().data.end(), bytes, bytes + count);
  }
  void file_ended(const FileSummary& s) override {
    files.back().load_address = s.load_address;
    files.back().exec_address = s.exec_address;
    files.back().ended = true;
  }
};

Collector decode(const std::vector<std::uint8_t>& image, Phase phase) {
  ImageReader reader(image.data(), image.size());
  reader.skip(IMAGE_DATA_OFFSET);
  TapeDecoder decoder(reader, phase);
  BlockBuffer buffer;
  Collector collector;
  extract_files(decoder, buffer, collector);
  return collector;
}

// Random files of every kind, with random names (any byte but zero and '/'), sizes around the
// block boundaries, and addresses; decoded with the phase they were built for, each must come
// back byte for byte under its name, type and addresses.
TEST(R38Build, RandomTapesDecodeBackToTheSameFiles) {
  std::mt19937 random(38);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const FileKind kinds[] = {FileKind::BASIC_ASCII, FileKind::BASIC_ICODE, FileKind::BASIC_DATA,
                            FileKind::MACHINE};
  const int sizes[] = {0, 1, 245, 246, 250, 251, 255, 256, 505, 510, 1000, 3000};
  for (int round = 0; round < 24; ++round) {
    const Phase phase = round % 2 ? PHASE_REVERSE : PHASE_NORMAL;
    std::vector<TapeFile> files(static_cast<std::size_t>(pick(1, 5)));
    for (TapeFile& file : files) {
      std::string name(static_cast<std::size_t>(pick(1, 8)), ' ');
      for (char& c : name) {
        do c = static_cast<char>(pick(1, 255));
        while (c == '/');
      }
      FileSettings settings;
      settings.kind = kinds[pick(0, 3)];
      settings.name = name;
      settings.name_pad = pick(0, 1) ? ' ' : 0;
      settings.load_address = static_cast<std::uint16_t>(pick(0, 0xFFFF));
      settings.exec_address = static_cast<std::uint16_t>(pick(0, 0xFFFF));
      const auto data = pattern_bytes(static_cast<std::size_t>(sizes[pick(0, 11)] + pick(0, 1)),
                                      static_cast<std::uint32_t>(pick(1, 1000)));
      ASSERT_EQ(make_tape_file("any.bin", data, settings, file), "");
    }
    const Collector decoded = decode(encode_tape(files, phase), phase);
    EXPECT_EQ(decoded.checksum_errors, 0);
    ASSERT_EQ(decoded.files.size(), files.size()) << "round " << round;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const TapeFile& built = files[i];
      const DecodedFile& got = decoded.files[i];
      EXPECT_TRUE(got.ended);
      EXPECT_EQ(got.name, built.name);
      EXPECT_EQ(got.file_type, built.file_type);
      EXPECT_EQ(got.data, built.data) << "round " << round << " file " << i;
      if (built.file_type == FILE_BASIC) {
        EXPECT_EQ(got.ascii, built.ascii_mark[0] == 0xFF);
      }
      if (built.file_type == FILE_MACHINE) {
        EXPECT_EQ(got.load_address, built.load_address);
        EXPECT_EQ(got.exec_address, built.exec_address);
      }
    }
  }
}

struct Workspace {
  TempDir dir;
  void put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    write_file(dir / name, bytes);
  }
  RunResult build(const std::vector<std::string>& args) { return run_r38(args, dir.path()); }
};

// The real programs end to end: each file's extension gives its type, --load and --exec apply
// to the programs after them, and the converter writes back every file under its name.
TEST(R38Build, ConverterWritesBackEveryFileUnderItsName) {
  Workspace w;
  const auto text = bytes_of("10 PRINT \"HI\"\r\n");
  const auto icode = pattern_bytes(300, 2);
  const auto data = pattern_bytes(600, 3);
  const auto first = pattern_bytes(250, 4);  // the trailer opens a block of its own
  const auto second = pattern_bytes(1000, 5);
  w.put("hello.bas", text);
  w.put("TOKENS.Iba", icode);
  w.put("scores.TXT", data);
  w.put("first.bin", first);
  w.put("second.bin", second);
  w.put("notes.doc", text);
  const RunResult built = w.build({"build", "-o", "tape.r38", "hello.bas", "TOKENS.Iba",
                                   "scores.TXT", "--load", "0x1000", "--exec", "$1010", "first.bin",
                                   "--load=4096", "second.bin", "-t", "txt", "notes.doc"});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "");
  EXPECT_EQ(built.err, "");
  fs::create_directory(w.dir / "out");
  const RunResult decoded = run_r38dec({"../tape.r38", "-v"}, w.dir / "out");
  EXPECT_EQ(decoded.status, 0);
  EXPECT_NE(decoded.out.find("LENGTH=$00fa START=$1000 END=$10F9 EXEC=$1010\n"), std::string::npos)
      << decoded.out;
  EXPECT_NE(decoded.out.find("LENGTH=$03e8 START=$1000 END=$13E7 EXEC=$1010\n"), std::string::npos);
  EXPECT_EQ(read_file(w.dir / "out/hello.BAS"), text);
  EXPECT_EQ(read_file(w.dir / "out/TOKENS.IBA"), icode);
  EXPECT_EQ(read_file(w.dir / "out/scores.TXT"), data);
  EXPECT_EQ(read_file(w.dir / "out/first.BIN"), first);
  EXPECT_EQ(read_file(w.dir / "out/second.BIN"), second);
  EXPECT_EQ(read_file(w.dir / "out/notes.TXT"), text);
}

TEST(R38Build, NameBlankPaddingReversePhaseAndStandardOutput) {
  Workspace w;
  w.put("long-file-name.txt", {1, 2, 3});
  ASSERT_EQ(w.build({"build", "-o", "tape.r38", "--name", "AB", "--pad-blanks", "--phase",
                     "reverse", "long-file-name.txt"})
                .status,
            0);
  const auto image = read_file(w.dir / "tape.r38");
  const Collector decoded = decode(image, PHASE_REVERSE);
  ASSERT_EQ(decoded.files.size(), 1u);
  EXPECT_EQ(decoded.files[0].output_name, "AB      .TXT");

  const RunResult piped = run_program(
      R38_PATH,
      {"build", "-o", "-", "--name", "AB", "--pad-blanks", "-p", "reverse", "long-file-name.txt"},
      w.dir.path(), (w.dir / "piped.r38").string());
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(read_file(w.dir / "piped.r38"), image);
}

// The sample tape kept in the repo is what r38 build makes of its source files.
TEST(R38Build, SampleTapeIsTheBuildOfItsSourceFiles) {
  TempDir dir;
  const fs::path files = fs::path(R38_SAMPLES_DIR) / "files";
  const RunResult r =
      run_r38({"build", "-o", (dir / "sample.r38").string(), "HELLO.BAS", "TOKENS.IBA",
               "SCORES.TXT", "--load", "0xC000", "--exec", "0xC000", "GAME.BIN"},
              files);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "sample.r38"), read_file(fs::path(R38_SAMPLES_DIR) / "sample.r38"));
}

// Every refusal names the file or the option, exits with 2 and leaves no image behind, not
// even a temporary one, and an image already there untouched.
TEST(R38Build, RefusesWhatCannotGoOnTapeAndWritesNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"a.bas"}, "r38: build: no output named"},
      {{"-o", "tape.r38"}, "r38: build: no files named"},
      {{"-o", "tape.r38", "a.doc"}, "r38: a.doc: unknown extension '.doc'; give --type\n"},
      {{"-o", "tape.r38", "noext"}, "r38: noext: no extension to tell its type; give --type\n"},
      {{"-o", "tape.r38", "toolongname.bas"},
       "r38: toolongname.bas: tape name 'toolongname' is longer than 8 bytes\n"},
      {{"-o", "tape.r38", "--name", "NINEBYTES", "a.bas"},
       "r38: a.bas: tape name 'NINEBYTES' is longer than 8 bytes\n"},
      {{"-o", "tape.r38", "--name", "X", "a.bas", "b.bas"},
       "r38: build: --name needs exactly one file\n"},
      {{"-o", "tape.r38", "--exec", "0", "p.bin"},
       "r38: p.bin: a machine-language program needs --load\n"},
      {{"-o", "tape.r38", "p.bin", "--load", "0", "--exec", "0"},
       "r38: p.bin: a machine-language program needs --load\n"},
      {{"-o", "tape.r38", "--load", "0", "p.bin"},
       "r38: p.bin: a machine-language program needs --exec\n"},
      {{"-o", "tape.r38", "--load", "0", "--exec", "0", "big.bin"},
       "r38: big.bin: a machine-language program holds at most 65535 bytes, this one 65536\n"},
      {{"-o", "tape.r38", "--load", "0x10000", "p.bin"},
       "r38: build: --load needs an address from 0 to 0xFFFF, not '0x10000'\n"},
      {{"-o", "tape.r38", "--exec", "$12G4", "p.bin"},
       "r38: build: --exec needs an address from 0 to 0xFFFF, not '$12G4'\n"},
      {{"-o", "tape.r38", "--type", "exe", "a.bas"},
       "r38: build: --type must be bas, iba, txt, bin or auto\n"},
      {{"-o", "tape.r38", "--phase", "auto", "a.bas"},
       "r38: build: --phase must be normal or reverse\n"},
      {{"-o", "tape.r38", "--frobnicate", "a.bas"}, "r38: build: unknown option '--frobnicate'\n"},
      {{"-o", "tape.r38", "a.bas", "-o"}, "r38: build: option '-o' needs a value\n"},
      {{"-o", "tape.r38", "missing.bas"}, "r38: missing.bas: No such file or directory\n"},
      {{"-o", "no/such/dir/tape.r38", "a.bas"},
       "r38: no/such/dir/tape.r38: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    Workspace w;
    for (const char* name : {"a.bas", "b.bas", "a.doc", "noext", "toolongname.bas", "p.bin"}) {
      w.put(name, {1, 2, 3});
    }
    w.put("big.bin", std::vector<std::uint8_t>(65536, 0x55));
    std::vector<std::string> args = {"build"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = w.build(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.err.substr(0, c.message.size()), c.message);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(w.dir / "tape.r38")) << c.message;
    EXPECT_EQ(std::distance(fs::directory_iterator(w.dir.path()), {}), 7) << c.message;
  }

  Workspace w;
  w.put("tape.r38", {42});
  w.put("a.doc", {1});
  EXPECT_EQ(w.build({"build", "-o", "tape.r38", "a.doc"}).status, 2);
  EXPECT_EQ(read_file(w.dir / "tape.r38"), std::vector<std::uint8_t>{42});
  EXPECT_EQ(std::distance(fs::directory_iterator(w.dir.path()), {}), 2);
}

}  // namespace
}  // namespace r38

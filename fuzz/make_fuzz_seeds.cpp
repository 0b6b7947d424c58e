// Writes the fuzz targets' seed corpora, built with the tests' tape builder: clean tapes of
// every file type, damaged ones, pathological words, and argument lists. Each target's seeds go
// to DIR/<target>/, the target's name without its "fuzz_" prefix.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/exporter.h"
#include "audio/recording.h"
#include "support/tape_builder.h"

namespace {

using namespace r38;
using namespace r38::test;
namespace fs = std::filesystem;

std::vector<std::uint8_t> bytes_of(const std::string& text) {
  return {text.begin(), text.end()};
}

// A file with short lead-ins, so that seeds stay within the fuzzers' input size.
TapeBuilder& compact_file(TapeBuilder& tape, const TapeFile& file) {
  constexpr int LEAD_IN = 4;
  tape.block(BLOCK_HEADER, header_block_data(file), LEAD_IN);
  for (const auto& data : file_data_blocks(file)) tape.block(BLOCK_DATA, data, LEAD_IN);
  tape.block(BLOCK_END, {}, LEAD_IN);
  return tape;
}

TapeBuilder single(const TapeFile& file) {
  TapeBuilder tape;
  compact_file(tape, file);
  return tape;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> images() {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> seeds;
  auto add = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    seeds.emplace_back(name, bytes);
  };
  add("basic_ascii", single(basic_file("HELLO", "10 PRINT\r\n")).bytes());
  add("basic_icode", single(basic_file("ICODE", "\x8F\x01", false)).bytes());
  add("data", single(data_file("DATA", {1, 2, 3, 4})).bytes());
  add("machine", single(machine_file("GAME", {0x3E, 0x41, 0xC9}, 0xC000, 0xC002)).bytes());
  add("unknown_type", single(unknown_file("ODD", 7, {9})).bytes());
  add("reverse_phase", [] {
    TapeBuilder tape(PHASE_REVERSE);
    return compact_file(tape, basic_file("REV", "1")).bytes();
  }());
  {
    TapeBuilder tape;
    compact_file(tape, basic_file("A", "1"));
    add("two_files", compact_file(tape, machine_file("B", {7}, 0x100, 0x100)).bytes());
  }
  {
    TapeFile f = basic_file("", "x");
    f.name = tape_name("../..", 0);
    add("dots_name", single(f).bytes());
    f.name = tape_name("/etc/x", 0);
    add("slash_name", single(f).bytes());
    f.name = tape_name("\n\x1b\x7f", 0xFF);
    add("control_name", single(f).bytes());
  }
  {
    TapeBuilder tape;
    tape.block_with_checksum(BLOCK_HEADER, {'B', 'A', 'D', 0, 0, 0, 0, 0, 1, 0, 0}, 0x12);
    add("bad_checksum", compact_file(tape, data_file("OK", {5})).bytes());
  }
  {
    TapeBuilder tape;
    tape.frames({SYNC_MARK_FIRST, SYNC_MARK_SECOND, DAMAGED, 2, DAMAGED, 1, 0xFE});
    add("framing_errors", tape.bytes());
  }
  {
    TapeBuilder tape;
    tape.block(BLOCK_HEADER, std::vector<std::uint8_t>{'S'}, 4);
    tape.block(BLOCK_DATA, std::vector<std::uint8_t>{1, 2}, 4);
    add("short_blocks", tape.block(BLOCK_END, {}, 4).image());
  }
  {
    TapeBuilder tape;
    tape.block(BLOCK_HEADER, header_block_data(machine_file("M", {}, 0, 0)), 4);
    add("short_preamble", tape.block(BLOCK_DATA, std::vector<std::uint8_t>{0, 0, 9}, 4).image());
  }
  {
    std::vector<std::uint8_t> image = single(data_file("CUT", {1, 2, 3})).bytes();
    image.resize(image.size() * 2 / 3);
    add("truncated", image);
  }
  {
    TapeBuilder tape;
    for (int i = 0; i < 200; ++i) tape.raw_word(i % 2 ? LEVEL_BIT : 0);
    add("count_zero_words", tape.frame(0x41).bytes());
  }
  {
    TapeBuilder tape;
    for (int i = 0; i < 6; ++i) tape.word(i % 2, COUNT_MASK);
    add("longest_words", tape.frame(0x41).bytes());
  }
  add("magic_only", image_with({}));
  add("magic_odd_byte", image_with({0x00}));
  add("not_an_image", bytes_of("ORV TAPE IMAGE 1"));
  return seeds;
}

const std::vector<std::string> COMMAND_LINES = {
    std::string("tape.r38\0-v", 11),
    "-h",
    std::string("tape.r38\0-d\0-pr", 16),
    std::string("/v\0x\0-PN\0-t60\0y", 15),
    std::string("-\0/\0", 4),
    "-p",
    "",
};

// For fuzz_r38_build: a settings byte (the extension in its value modulo 6: BAS, IBA, TXT, BIN,
// an unknown one, none; 0x08 and 0x10 give the load and exec addresses, 0x20 the name as
// --name, 0x40 blank padding, 0x80 the reverse phase), the name's length and bytes, the two
// addresses, the file's bytes.
std::vector<std::uint8_t> build_input(std::uint8_t settings, const std::string& name,
                                      const std::string& content) {
  std::vector<std::uint8_t> input = {settings, static_cast<std::uint8_t>(name.size())};
  input.insert(input.end(), name.begin(), name.end());
  input.insert(input.end(), {0x10, 0x00, 0x10, 0x02});
  input.insert(input.end(), content.begin(), content.end());
  return input;
}

const std::vector<std::vector<std::uint8_t>> BUILD_INPUTS = {
    build_input(0, "HELLO", "10 PRINT\r\n"),
    build_input(1, "ICODE", std::string("\x8F\x00\x01", 3)),
    build_input(2 | 0x40, "DATA", "1,2,3\r\n"),
    build_input(3 | 0x08 | 0x10, "GAME", "\x3E\x41\xC9"),
    build_input(3 | 0x08, "NOEXEC", "x"),
    build_input(4, "ODD", "x"),
    build_input(0 | 0x20 | 0x80, "../A/B", "10 END\r\n"),
    build_input(5, ".hidden", ""),
};

// For fuzz_r38_import: short recordings of a compact tape in several containers and sample
// types, within the fuzzers' input size.
void write_recordings(const fs::path& dir) {
  struct Recording {
    const char* name;
    double rate;
    audio::SampleType type;
    audio::Shape shape;
    bool invert;
    bool end_block_only;  // a shorter tape, for the wider sample types
  };
  const Recording recordings[] = {
      {"u8.wav", 8000, audio::SampleType::PCM_8, audio::Shape::SQUARE, false, false},
      {"s16.flac", 8000, audio::SampleType::PCM_16, audio::Shape::SINE, true, false},
      {"s8.aiff", 8000, audio::SampleType::PCM_8, audio::Shape::SINE, false, false},
      {"float.au", 8000, audio::SampleType::FLOAT, audio::Shape::SQUARE, true, true},
  };
  const std::vector<std::uint8_t> file_image = single(basic_file("HI", "1")).bytes();
  TapeBuilder end_block;
  const std::vector<std::uint8_t> end_image = end_block.block(BLOCK_END, {}, 4).image();
  for (const Recording& r : recordings) {
    const std::vector<std::uint8_t>& image = r.end_block_only ? end_image : file_image;
    audio::RecordingWriter writer;
    audio::ExportSettings settings;
    settings.sample_rate = r.rate;
    settings.shape = r.shape;
    settings.invert = r.invert;
    std::string error = writer.open((dir / r.name).string(), r.rate, r.type);
    if (error.empty()) {
      error = audio::export_image(image, settings,
                                  [&](std::span<const float> s) { return writer.write(s); });
    }
    if (error.empty()) error = writer.close();
    if (!error.empty()) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s: %s\n", r.name, error.c_str());
      std::exit(1);
    }
  }
}

void write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* target : {"r38dec_extract", "r38dec_dump", "r38_list", "r38_extract"}) {
    fs::create_directories(root / target);
    for (const auto& [name, bytes] : images()) write(root / target / (name + ".r38"), bytes);
  }
  fs::create_directories(root / "r38dec_command_line");
  for (std::size_t i = 0; i < COMMAND_LINES.size(); ++i) {
    write(root / "r38dec_command_line" / ("args" + std::to_string(i)), bytes_of(COMMAND_LINES[i]));
  }
  fs::create_directories(root / "r38_build");
  for (std::size_t i = 0; i < BUILD_INPUTS.size(); ++i) {
    write(root / "r38_build" / ("file" + std::to_string(i)), BUILD_INPUTS[i]);
  }
  fs::create_directories(root / "r38_import");
  write_recordings(root / "r38_import");
  write(root / "r38_import" / "text", bytes_of("not audio at all\n"));
  return 0;
}

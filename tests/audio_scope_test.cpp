// r38 scope: the diagnostic must point at the damaged spot of a recording and draw a picture a
// browser can show.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "audio/block_survey.h"
#include "audio/exporter.h"
#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;

TapeBuilder tape_with_a_damaged_block() {
  TapeBuilder tape;
  tape.file(basic_file("FIRST", "10 END\r\n"))
      .idle_bits(2400)  // two seconds of lead-in
      .block_with_checksum(BLOCK_DATA, pattern_bytes(20), 0x00)
      .file(basic_file("LAST", "20 END\r\n"));
  return tape;
}

void write_recording(const std::filesystem::path& path, const std::vector<std::uint8_t>& image,
                     double rate) {
  audio::RecordingWriter writer;
  ASSERT_EQ(writer.open(path.string(), rate, audio::SampleType::PCM_16), "");
  audio::ExportSettings settings;
  settings.sample_rate = rate;
  ASSERT_EQ(audio::export_image(image, settings,
                                [&](std::span<const float> s) { return writer.write(s); }),
            "");
  ASSERT_EQ(writer.close(), "");
}

// Where the damaged block begins and ends in the image, in seconds at 1200 baud.
std::pair<double, double> damaged_block_seconds(const std::vector<std::uint8_t>& image) {
  audio::BlockSite damaged{};
  for (const auto& site : audio::survey_blocks(image, PHASE_NORMAL))
    if (site.damaged) damaged = site;
  const auto seconds_to = [&](std::uint64_t offset) {
    double counts = 0;
    for (std::size_t at = IMAGE_DATA_OFFSET; at < offset; at += 2)
      counts += ((image[at] << 8) | image[at + 1]) & COUNT_MASK;
    return counts * TICKS_PER_COUNT / (audio::TICKS_PER_BIT_CELL * 1200.0);
  };
  // The end is that of the word the checksum's last stop bit was sampled in.
  return {seconds_to(damaged.offset), seconds_to(damaged.end_offset - 2)};
}

TEST(AudioScope, NamesTheDamagedBlocksPlaceInSecondsAndSamples) {
  const TempDir dir;
  const auto image = tape_with_a_damaged_block().bytes();
  write_recording(dir / "tape.wav", image, 22050);
  write_file(dir / "tape.r38", image);
  const auto [start, end] = damaged_block_seconds(image);
  EXPECT_NEAR(end - start, 25 * 11 / 1200.0, 0.005) << "sync mark to checksum: 25 bytes";

  const RunResult recording = run_r38({"scope", "tape.wav"}, dir.path());
  EXPECT_EQ(recording.status, 1) << recording.err;
  EXPECT_NE(recording.out.find("blocks     6 good, 1 damaged\n"), std::string::npos);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      recording.out, m,
      std::regex(
          R"(\n  from ([0-9.]+) s to ([0-9.]+) s, samples ([0-9]+) to ([0-9]+) \(type 0x01)")))
      << recording.out;
  EXPECT_NEAR(std::stod(m[1]), start, 0.002);
  EXPECT_NEAR(std::stod(m[2]), end, 0.002);
  EXPECT_NEAR(std::stod(m[3]), start * 22050, 0.002 * 22050);
  EXPECT_NEAR(std::stod(m[4]), end * 22050, 0.002 * 22050);

  const RunResult tape_image = run_r38({"scope", "tape.r38"}, dir.path());
  EXPECT_EQ(tape_image.status, 1);
  ASSERT_TRUE(std::regex_search(
      tape_image.out, m,
      std::regex(R"(\n  from ([0-9.]+) s to ([0-9.]+) s \(type 0x01, image offset)")))
      << tape_image.out;
  EXPECT_NEAR(std::stod(m[1]), start, 0.001);
  EXPECT_NEAR(std::stod(m[2]), end, 0.001);
  EXPECT_NE(tape_image.out.find("short 14.0 counts, long 28.0 counts; bits are decided at count "
                                "35\n"),
            std::string::npos);

  // Standard cells read alike either way up; cells with short high halves do not, and an image
  // of them stored the other way up is read the other way up.
  TapeBuilder reversed(PHASE_REVERSE);
  const auto cell = [&](int bit) {
    if (bit) {
      reversed.word(1, 10).word(0, 18).word(1, 10).word(0, 18);
    } else {
      reversed.word(1, 20).word(0, 36);
    }
  };
  for (int i = 0; i < 32; ++i) cell(1);
  for (int byte : {SYNC_MARK_FIRST, SYNC_MARK_SECOND, BLOCK_DATA, 1, 0x41, 0x43}) {
    cell(0);
    for (int bit = 0; bit < 8; ++bit) cell((byte >> bit) & 1);
    cell(1);
    cell(1);
  }
  write_file(dir / "reversed.r38", reversed.bytes());
  const RunResult reverse = run_r38({"scope", "reversed.r38"}, dir.path());
  EXPECT_EQ(reverse.status, 0);
  EXPECT_NE(reverse.out.find("phase      reverse\n"), std::string::npos) << reverse.out;
  EXPECT_NE(reverse.out.find("blocks     1 good, 0 damaged\n"), std::string::npos);
}

TEST(AudioScope, DrawsAWellFormedPictureWithTheHistogramAndTheDecisionPoint) {
  const TempDir dir;
  write_recording(dir / "tape & more.wav", tape_with_a_damaged_block().bytes(), 44100);
  const RunResult result = run_r38({"scope", "tape & more.wav", "--svg", "scope.svg"}, dir.path());
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(result.out, "");
  const std::string svg = read_text(dir / "scope.svg");
  EXPECT_TRUE(svg.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg "));
  EXPECT_TRUE(svg.ends_with("</svg>\n"));
  EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find(">tape &amp; more.wav</text>"), std::string::npos);
  // Every element that opens is closed.
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<g"), count("</g>"));
  EXPECT_EQ(count("<text"), count("</text>"));
  EXPECT_EQ(count("<title>"), count("</title>"));
  EXPECT_EQ(count("<rect class="), count("</rect>"));
  EXPECT_NE(svg.find("<g id=\"histogram\">"), std::string::npos);
  EXPECT_GT(count("<rect class=\"high\""), 1u);
  EXPECT_GT(count("<rect class=\"low\""), 1u);
  // The decision line sits at 34.7 counts (312 ticks) on a 64-count axis from x=60 to x=740.
  EXPECT_NE(svg.find("<g id=\"decision\"><line x1=\"428.3\""), std::string::npos);
  EXPECT_NE(svg.find(">decision (35)</text>"), std::string::npos);
  EXPECT_EQ(count("<path d="), 1u) << "one damaged-block marker";
}

}  // namespace
}  // namespace r38

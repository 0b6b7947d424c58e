// Recordings to images: tapes of every file type played to audio, degraded the way worn tapes
// and poor recordings are, then imported; every file must come back byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "audio/exporter.h"
#include "audio/importer.h"
#include "audio/recording.h"
#include "audio/speed.h"
#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "extract/extractor.h"
#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
using audio::SampleType;
using Files = std::map<std::string, std::vector<std::uint8_t>>;

// One of each file type, small enough to keep the recordings a few seconds long, with a pause
// of about a second between two of them: a run too long for one image word.
TapeBuilder every_file_type() {
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 PRINT \"HI\"\r\n20 GOTO 10\r\n"))
      .word(0, 3 * COUNT_MASK)
      .file(basic_file("ICODE", std::string("\x8F\x01\x02\x00\xFF", 5), false))
      .file(data_file("SCORES", pattern_bytes(40, 3)))
      .file(machine_file("GAME", pattern_bytes(60, 7), 0xC000, 0xC010));
  return tape;
}

const Files& expected_files() {
  static const Files files = {
      {"HELLO.BAS", bytes_of("10 PRINT \"HI\"\r\n20 GOTO 10\r\n")},
      {"ICODE.IBA", {0x8F, 0x01, 0x02, 0x00, 0xFF}},
      {"SCORES.TXT", pattern_bytes(40, 3)},
      {"GAME.BIN", pattern_bytes(60, 7)},
  };
  return files;
}

class Collect : public ExtractorEvents {
 public:
  Files files;
  int damaged = 0;
  void checksum_error(bool, std::uint64_t) override { ++damaged; }
  bool file_started(const FileHeader& header) override {
    current_ = &files[header.output_name];
    return true;
  }
  void file_data(const std::uint8_t* bytes, std::size_t count) override {
    current_->insert(current_->end(), bytes, bytes + count);
  }
  void file_ended(const FileSummary&) override {}

 private:
  std::vector<std::uint8_t>* current_ = nullptr;
};

Collect files_on(const std::vector<std::uint8_t>& image) {
  Collect collect;
  ImageReader reader(image.data() + IMAGE_DATA_OFFSET, image.size() - IMAGE_DATA_OFFSET);
  TapeDecoder decoder(reader, PHASE_NORMAL);
  BlockBuffer buffer;
  extract_files(decoder, buffer, collect);
  return collect;
}

// Names and lengths, for a failure message.
std::string describe(const Files& files) {
  std::string text;
  for (const auto& [name, bytes] : files) text += name + " " + std::to_string(bytes.size()) + "; ";
  return text;
}

std::vector<float> render(const std::vector<std::uint8_t>& image, audio::ExportSettings settings) {
  std::vector<float> samples;
  audio::export_image(image, settings, [&](std::span<const float> chunk) {
    samples.insert(samples.end(), chunk.begin(), chunk.end());
    return std::string();
  });
  return samples;
}

// How a recording went wrong. The defaults leave it as exported.
struct Degradation {
  std::string name;
  SampleType type = SampleType::PCM_16;
  double rate = 44100;
  audio::Shape shape = audio::Shape::SQUARE;
  double gain_db = 0;  // of the exported level (0.9 of full scale)
  double fade_db = 0;  // the level changing by this much from start to end
  double dc = 0;       // offset, as a share of the amplitude
  // The whole signal upside down. The standard cells read alike either way up, so this must
  // simply not hurt.
  bool inverted = false;
  double snr_db = INFINITY;  // white noise against the signal's power
  double speed = 1;          // played this much faster than recorded
  double drift = 0;          // speed changing by this share from start to end
  double lowpass_hz = 0;     // a first-order low-pass (a dull head)
};

std::vector<float> degrade(const std::vector<std::uint8_t>& image, const Degradation& d) {
  audio::ExportSettings settings;
  settings.sample_rate = d.rate;
  settings.baud = 1200 * d.speed;
  settings.shape = d.shape;
  std::vector<float> clean = render(image, settings);
  std::vector<float> out;
  if (d.drift != 0) {  // resample along a linearly changing speed
    double at = 0;
    for (std::size_t i = 0; at + 1 < clean.size(); ++i) {
      const auto k = static_cast<std::size_t>(at);
      out.push_back(static_cast<float>(clean[k] + (clean[k + 1] - clean[k]) * (at - k)));
      at += 1 + d.drift * static_cast<double>(i) / static_cast<double>(clean.size());
    }
  } else {
    out = clean;
  }
  if (d.lowpass_hz > 0) {
    const double a = 1 - std::exp(-2 * std::numbers::pi * d.lowpass_hz / d.rate);
    double y = 0;
    for (float& x : out) x = static_cast<float>(y += a * (x - y));
  }
  double power = 0;
  for (float x : out) power += static_cast<double>(x) * x;
  power /= static_cast<double>(out.size());
  const double gain = std::pow(10.0, d.gain_db / 20) * (d.inverted ? -1 : 1);
  std::mt19937 random(38);
  std::normal_distribution<double> noise(0, std::sqrt(power) * std::pow(10.0, -d.snr_db / 20));
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double n = std::isfinite(d.snr_db) ? noise(random) : 0;
    const double share = static_cast<double>(i) / static_cast<double>(out.size());
    const double fade = std::pow(10.0, d.fade_db * share / 20);
    out[i] = static_cast<float>(gain * fade * (out[i] + n + d.dc * settings.amplitude));
  }
  return out;
}

TEST(AudioImport, ShortHalfCycleIsFoundAmongGlitchesSilenceAndEitherCluster) {
  struct Case {
    std::string name;
    std::vector<double> lengths;
    double expected;
  };
  const std::vector<Case> cases = {
      {"both clusters", {9, 9.2, 8.9, 18.1, 9.1, 18.3, 9, 17.9}, 9.05},
      {"short cycles alone (a lead-in)", {9, 9.2, 8.8, 9, 9.1, 8.9}, 9},
      // Runs outside both clusters outnumber those in them: noise bursts and long pauses.
      {"more outliers than signal",
       {9, 18, 9, 9, 18, 9, 0.3, 1e6, 3e7, 4e5, 5e4, 700, 3000, 0.6, 60, 150},
       9},
      {"nothing usable", {0, -1, 0.01}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(audio::find_short_half_cycle(c.lengths), c.expected, 0.1) << c.name;
  }
}

TEST(AudioImport, DegradedRecordingsOfEveryFileTypeImportByteExact) {
  const std::vector<Degradation> cases = {
      {.name = "8-bit", .type = SampleType::PCM_8},
      {.name = "16-bit at 22050 Hz", .rate = 22050},
      {.name = "24-bit at 96000 Hz", .type = SampleType::PCM_24, .rate = 96000},
      {.name = "float at 48000 Hz", .type = SampleType::FLOAT, .rate = 48000},
      {.name = "sine at 22050 Hz", .rate = 22050, .shape = audio::Shape::SINE},
      {.name = "-40 dBFS", .gain_db = -40},
      {.name = "fading by 30 dB", .fade_db = -30},
      {.name = "rising from -40 dBFS to full level", .gain_db = -40, .fade_db = 40},
      {.name = "clipped sine", .shape = audio::Shape::SINE, .gain_db = 12},
      {.name = "DC offset", .dc = 0.5},
      {.name = "inverted", .inverted = true},
      {.name = "noise at 12 dB SNR", .snr_db = 12},
      {.name = "noise at 8 dB SNR, beyond the target", .snr_db = 8},
      // Hiss in the pause slices into runs of every length; they must not drag the speed.
      {.name = "hiss through the pause at 48000 Hz", .rate = 48000, .snr_db = 20},
      {.name = "noisy sine at 22050 Hz", .rate = 22050, .shape = audio::Shape::SINE, .snr_db = 12},
      {.name = "10 % fast", .speed = 1.1},
      {.name = "10 % slow", .speed = 0.9},
      {.name = "drifting 3 % faster", .drift = 0.03},
      {.name = "drifting 3 % slower", .drift = -0.03},
      {.name = "3 kHz low-pass", .lowpass_hz = 3000},
      {.name = "worn: slow, drifting, dull, noisy, inverted, offset",
       .rate = 22050,
       .gain_db = -20,
       .dc = 0.3,
       .inverted = true,
       .snr_db = 15,
       .speed = 0.92,
       .drift = 0.02,
       .lowpass_hz = 3000},
  };
  const auto image = every_file_type().bytes();
  const TempDir dir;
  for (const Degradation& d : cases) {
    SCOPED_TRACE(d.name);
    const auto path = (dir / "tape.wav").string();
    audio::RecordingWriter writer;
    ASSERT_EQ(writer.open(path, d.rate, d.type), "");
    ASSERT_EQ(writer.write(degrade(image, d)), "");
    ASSERT_EQ(writer.close(), "");

    audio::Recording recording;
    ASSERT_EQ(audio::read_recording(path, 0, recording), "");
    audio::ImportResult result;
    ASSERT_EQ(audio::import_recording(recording, {}, result), "");
    EXPECT_EQ(result.damaged_blocks, 0);
    const Collect found = files_on(result.image);
    EXPECT_EQ(found.damaged, 0);
    EXPECT_TRUE(found.files == expected_files()) << describe(found.files);
    EXPECT_NEAR(d.rate / (4 * result.short_half_cycle), 1200 * d.speed * (1 + d.drift / 2),
                1200 * 0.02);
  }
}

TEST(AudioImport, ARecordingOverTheLengthLimitIsRefusedRatherThanCut) {
  const TempDir dir;
  const auto path = (dir / "long.wav").string();
  audio::RecordingWriter writer;
  ASSERT_EQ(writer.open(path, 8000, SampleType::PCM_16), "");
  ASSERT_EQ(writer.write(std::vector<float>(5000, 0.5f)), "");
  ASSERT_EQ(writer.close(), "");
  audio::Recording recording;
  EXPECT_EQ(audio::read_recording(path, 0, recording, {}, 4999),
            "the recording is longer than 4999 samples");
  EXPECT_TRUE(recording.samples.empty());
  const auto bytes = read_file(path);
  EXPECT_EQ(audio::read_recording(bytes, 0, recording, 5000), "");
  EXPECT_EQ(recording.samples.size(), 5000u);
}

// The real executables: export, import, then the converter on the imported image.
TEST(AudioCli, ChannelChoosesWhichChannelOfAStereoRecordingIsRead) {
  const TempDir dir;
  write_file(dir / "tape.r38", every_file_type().bytes());
  const std::vector<float> tape = render(every_file_type().bytes(), {});
  std::vector<float> stereo;  // the left channel silent, the tape on the right
  for (float v : tape) stereo.insert(stereo.end(), {0.0f, v});
  audio::RecordingWriter writer;
  ASSERT_EQ(writer.open((dir / "stereo.wav").string(), 44100, SampleType::PCM_16, 2), "");
  ASSERT_EQ(writer.write(stereo), "");
  ASSERT_EQ(writer.close(), "");

  const RunResult left = run_r38({"import", "stereo.wav", "-o", "left.r38"}, dir.path());
  EXPECT_EQ(left.status, 2);
  EXPECT_EQ(left.err, "r38: stereo.wav: no tape signal found in the recording\n");
  const RunResult right =
      run_r38({"import", "stereo.wav", "-o", "right.r38", "--channel", "2"}, dir.path());
  EXPECT_EQ(right.status, 0) << right.err;
  EXPECT_NE(right.out.find("blocks     12 good, 0 damaged\n"), std::string::npos) << right.out;
}

RunResult convert_back(const TempDir& dir, const std::vector<std::string>& export_options,
                       const std::string& audio_name) {
  std::vector<std::string> args = {"export", "tape.r38", "-o", audio_name};
  args.insert(args.end(), export_options.begin(), export_options.end());
  const RunResult exported = run_r38(args, dir.path());
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.err, "");
  const RunResult imported = run_r38({"import", audio_name, "-o", "back.r38"}, dir.path());
  std::filesystem::create_directory(dir / "out");
  const RunResult converted = run_r38dec({"../back.r38"}, dir / "out");
  EXPECT_EQ(converted.status, 0);
  return imported;
}

TEST(AudioCli, ExportThenImportGivesBackEveryFile) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "tape.wav"},
      {{"--rate", "22050", "--bits", "24", "--shape", "sine", "--phase", "reverse", "--baud",
        "1100"},
       "tape.flac"},
      {{"--bits", "float", "--rate", "96000"}, "tape.aiff"},
  };
  for (const auto& [options, name] : cases) {
    SCOPED_TRACE(name);
    const TempDir dir;
    write_file(dir / "tape.r38", every_file_type().bytes());
    const RunResult imported = convert_back(dir, options, name);
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("blocks     12 good, 0 damaged\n"), std::string::npos)
        << imported.out;
    for (const auto& [file, bytes] : expected_files())
      EXPECT_EQ(read_file(dir / "out" / file), bytes);
  }
}

TEST(AudioCli, ImportOfADamagedTapeWritesTheImageAndExitsWith1) {
  const TempDir dir;
  TapeBuilder tape;
  tape.file(basic_file("HELLO", "10 END\r\n")).block_with_checksum(BLOCK_DATA, {1, 2, 3}, 0x55);
  write_file(dir / "tape.r38", tape.bytes());
  const RunResult imported = convert_back(dir, {}, "tape.wav");
  EXPECT_EQ(imported.status, 1);
  EXPECT_NE(imported.out.find("blocks     3 good, 1 damaged\n"), std::string::npos) << imported.out;
  EXPECT_EQ(read_text(dir / "out" / "HELLO.BAS"), "10 END\r\n");
}

TEST(AudioCli, UnreadableRecordingsAndBadOptionsAreClearErrors) {
  const TempDir dir;
  write_file(dir / "empty.wav", {});
  write_file(dir / "text.wav", bytes_of("just some text, not audio at all\n"));
  write_file(dir / "tape.r38", every_file_type().bytes());
  {
    audio::RecordingWriter silence;
    ASSERT_EQ(silence.open((dir / "silence.wav").string(), 44100, SampleType::PCM_16), "");
    ASSERT_EQ(silence.write(std::vector<float>(44100, 0.0f)), "");
    ASSERT_EQ(silence.close(), "");
  }
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"import", "missing.wav", "-o", "x.r38"}, "r38: missing.wav: not a readable recording ("},
      {{"import", "empty.wav", "-o", "x.r38"}, "r38: empty.wav: not a readable recording ("},
      {{"import", "text.wav", "-o", "x.r38"}, "r38: text.wav: not a readable recording ("},
      {{"import", "silence.wav", "-o", "x.r38"},
       "r38: silence.wav: no tape signal found in the recording\n"},
      {{"import", "silence.wav", "-o", "x.r38", "--channel", "2"},
       "r38: silence.wav: the recording has 1 channel, not 2\n"},
      {{"import", "silence.wav"}, "r38: import: name the image to write with -o\n"},
      {{"import", "silence.wav", "-o", "x.r38", "--hysteresis", "2"},
       "r38: import: --hysteresis takes a number from 0.02 to 0.9\n"},
      {{"import", "silence.wav", "-o", "x.r38", "--polarity", "up"},
       "r38: import: --polarity takes normal, inverted or auto\n"},
      {{"export", "silence.wav", "-o", "x.wav"}, "r38: silence.wav: not a tape image\n"},
      {{"export", "tape.r38", "-o", "x.flac", "--bits", "float"},
       "r38: x.flac: this container cannot hold that sample type\n"},
      {{"export", "tape.r38", "-o", "x.wav", "--rate", "4000"},
       "r38: export: --rate takes 8000 to 192000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[0]);
    const RunResult result = run_r38(c.args, dir.path());
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.substr(0, c.message.size()), c.message) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x.r38"));
}

TEST(AudioCli, ListAndExtractTakeRecordingsAsTheyTakeImages) {
  const TempDir dir;
  audio::RecordingWriter writer;
  ASSERT_EQ(writer.open((dir / "tape.flac").string(), 48000, SampleType::PCM_16), "");
  ASSERT_EQ(writer.write(degrade(every_file_type().bytes(),
                                 {.name = "noisy", .rate = 48000, .inverted = true, .snr_db = 20})),
            "");
  ASSERT_EQ(writer.close(), "");
  std::filesystem::create_directory(dir / "out");

  const RunResult listed = run_r38({"list", "tape.flac"}, dir.path());
  EXPECT_EQ(listed.status, 0) << listed.err;
  // Files are placed by the second of the recording at which their header begins: after the
  // 256-bit lead-in of the first.
  std::smatch first;
  ASSERT_TRUE(std::regex_search(
      listed.out, first, std::regex(R"(END BLOCK +SECONDS\n"HELLO" .* complete +([0-9.]+)\n)")))
      << listed.out;
  EXPECT_NEAR(std::stod(first[1]), 256 / 1200.0, 0.002);
  EXPECT_NE(run_r38({"list", "--json", "tape.flac"}, dir.path()).out.find("\"seconds\": 0.21"),
            std::string::npos);
  EXPECT_NE(listed.out.find("4 files (4 complete, 0 incomplete), 132 bytes, 0 checksum errors"),
            std::string::npos)
      << listed.out;

  for (int round = 0; round < 2; ++round) {
    const RunResult extracted = run_r38(
        {"extract", "tape.flac", "-C", "out", "--no-clobber", "--hysteresis", "0.4"}, dir.path());
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(extracted.err, "");
    EXPECT_NE(extracted.out.find(round == 0 ? "  GAME.BIN\n" : "  GAME-1.BIN\n"), std::string::npos)
        << extracted.out;
  }
  for (const auto& [name, bytes] : expected_files()) {
    EXPECT_EQ(read_file(dir / "out" / name), bytes) << name;
    const auto dot = name.find('.');
    EXPECT_EQ(read_file(dir / "out" / (name.substr(0, dot) + "-1" + name.substr(dot))), bytes);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"), {}), 8);

  const RunResult bad_option = run_r38({"extract", "tape.flac", "--channel", "0"}, dir.path());
  EXPECT_EQ(bad_option.status, 2);
  EXPECT_TRUE(bad_option.err.starts_with("r38: extract: --channel takes a channel number from 1\n"))
      << bad_option.err;
}

}  // namespace
}  // namespace r38

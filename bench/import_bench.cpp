// How fast recordings become tape images, in seconds of audio per second: the slicer, the speed
// calibration and the polarity check on a recording in memory, and the same from a WAV file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/exporter.h"
#include "audio/importer.h"
#include "audio/recording.h"
#include "encode/tape_encoder.h"

namespace {

using namespace r38;

constexpr double RATE = 44100;

// About 80 seconds of tape at 1200 baud: eight data files of 1 KiB.
const audio::Recording& recording() {
  static const audio::Recording r = [] {
    TapeEncoder encoder;
    std::uint32_t seed = 1;
    for (int f = 0; f < 8; ++f) {
      TapeFile file;
      file.name = {'F', static_cast<std::uint8_t>('0' + f)};
      file.file_type = FILE_BASIC_DATA;
      for (int i = 0; i < 1024; ++i) {
        seed = seed * 1664525 + 1013904223;
        file.data.push_back(static_cast<std::uint8_t>(seed >> 24));
      }
      encode_file(encoder, file);
    }
    audio::Recording out;
    out.sample_rate = RATE;
    audio::ExportSettings settings;
    settings.sample_rate = RATE;
    audio::export_image(encoder.image(), settings, [&](std::span<const float> s) {
      out.samples.insert(out.samples.end(), s.begin(), s.end());
      return std::string();
    });
    return out;
  }();
  return r;
}

void count_audio(benchmark::State& state) {
  const double seconds = static_cast<double>(recording().samples.size()) / RATE;
  state.counters["audio_seconds"] = seconds;
  state.counters["audio_s_per_s"] = benchmark::Counter(
      seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ImportInMemory(benchmark::State& state) {
  const audio::Recording& r = recording();
  for (auto _ : state) {
    audio::ImportResult result;
    audio::import_recording(r, {}, result);
    benchmark::DoNotOptimize(result.image.data());
  }
  count_audio(state);
}
BENCHMARK(BM_ImportInMemory)->Unit(benchmark::kMillisecond);

void BM_ReadAndImportWav(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "r38_import_bench.wav").string();
  {
    audio::RecordingWriter writer;
    writer.open(path, RATE, audio::SampleType::PCM_16);
    writer.write(recording().samples);
    writer.close();
  }
  for (auto _ : state) {
    audio::Recording r;
    audio::read_recording(path, 0, r);
    audio::ImportResult result;
    audio::import_recording(r, {}, result);
    benchmark::DoNotOptimize(result.image.data());
  }
  std::remove(path.c_str());
  count_audio(state);
}
BENCHMARK(BM_ReadAndImportWav)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

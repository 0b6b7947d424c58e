// r38 import over arbitrary bytes taken for a recording: the sound file library's reading, the
// slicer, the speed calibration and the polarity check, then the scope's analysis and the
// export of the image made. Whatever the bytes, an image that comes out must be one the
// converter accepts, with a start for every word.
#include <cmath>
#include <cstdlib>
#include <string>

#include "audio/exporter.h"
#include "audio/importer.h"
#include "audio/recording.h"
#include "audio/scope.h"
#include "decode/tape_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace r38;
  // Compressed formats turn a few bytes into many samples; a minute at 44,100 Hz is plenty.
  constexpr std::size_t MAX_SAMPLES = 1 << 22;
  audio::Recording recording;
  if (!audio::read_recording({data, size}, 0, recording, MAX_SAMPLES).empty()) return 0;
  if (recording.samples.size() > MAX_SAMPLES) std::abort();
  if (recording.samples.empty() || !(recording.sample_rate > 0)) std::abort();

  audio::ImportResult result;
  if (!audio::import_recording(recording, {}, result).empty()) return 0;
  const auto& image = result.image;
  if (!is_tape_image(image.data(), image.size())) std::abort();
  if (image[IMAGE_DATA_OFFSET] != 0x00 || image.size() % 2 != 0) std::abort();
  if (result.word_sample.size() != (image.size() - IMAGE_DATA_OFFSET) / 2) std::abort();
  if (!(result.short_half_cycle > 0)) std::abort();

  const audio::ScopeReport scope = audio::scope_recording(result, recording.samples.size());
  for (const auto& d : scope.damaged) {
    if (d.sample < 0 || d.end_sample < d.sample ||
        static_cast<std::size_t>(d.end_sample) > recording.samples.size()) {
      std::abort();
    }
  }

  audio::ExportSettings settings;
  settings.sample_rate = 8000;
  std::size_t samples = 0;
  audio::export_image(image, settings, [&](std::span<const float> chunk) {
    for (float v : chunk) {
      if (!std::isfinite(v) || std::abs(v) > 1) std::abort();
    }
    samples += chunk.size();
    return std::string();
  });
  return 0;
}

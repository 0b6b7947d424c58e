#include "audio/importer.h"

#include <algorithm>
#include <cmath>

#include "audio/block_survey.h"
#include "audio/speed.h"
#include "encode/tape_encoder.h"

namespace r38::audio {
namespace {

constexpr double SPEED_POINTS_PER_SECOND = 4;

struct Tally {
  int good = 0;
  int damaged = 0;
};

Tally tally(const std::vector<std::uint8_t>& image, Phase phase) {
  Tally t;
  for (const BlockSite& site : survey_blocks(image, phase)) (site.damaged ? t.damaged : t.good)++;
  return t;
}

// Writes the runs as image words, merging neighbours of the same level and splitting counts
// too large for one word.
class WordWriter {
 public:
  explicit WordWriter(ImportResult& result) : result_(result) {
    result_.word_sample.push_back(0);  // the encoder's first word
  }
  void add(int level, std::uint64_t count, double sample, double samples_per_count) {
    if (count == 0) return;  // a glitch shorter than half a count: its neighbours join up
    if (level == level_) {
      count_ += count;
      return;
    }
    flush();
    level_ = level;
    count_ = count;
    sample_ = sample;
    samples_per_count_ = samples_per_count;
  }
  void flush() {
    while (count_ > 0) {
      const auto part = static_cast<unsigned>(std::min<std::uint64_t>(count_, COUNT_MASK));
      encoder_.word(level_, part);
      result_.word_sample.push_back(sample_);
      sample_ += part * samples_per_count_;
      count_ -= part;
    }
  }
  std::vector<std::uint8_t> take() {
    flush();
    return encoder_.take();
  }

 private:
  ImportResult& result_;
  TapeEncoder encoder_;
  int level_ = -1;
  std::uint64_t count_ = 0;
  double sample_ = 0;
  double samples_per_count_ = 0;
};

}  // namespace

std::string import_recording(const Recording& recording, const ImportSettings& settings,
                             ImportResult& result, const ProgressFn& progress) {
  result = ImportResult{};
  result.sample_rate = recording.sample_rate;
  const auto part = [&](double from, double to) -> ProgressFn {
    if (!progress) return {};
    return [=](double share) { progress(from + (to - from) * share); };
  };
  std::vector<Run> runs =
      slice_levels(recording.samples, recording.sample_rate, settings.slicer, part(0, 0.4));
  std::vector<double> lengths(runs.size());
  for (std::size_t i = 0; i < runs.size(); ++i) lengths[i] = runs[i].length;
  double unit = find_short_half_cycle(lengths);
  // Knowing the speed, slice again through a moving average about half a short half-cycle long:
  // it passes the tape's cycles and their first harmonics and takes out most of the hiss above.
  if (const auto half = static_cast<std::size_t>(unit / 4); half >= 1) {
    SlicerSettings smoothed = settings.slicer;
    smoothed.smoothing = half;
    runs = slice_levels(recording.samples, recording.sample_rate, smoothed, part(0.4, 0.8));
    lengths.resize(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) lengths[i] = runs[i].length;
    unit = find_short_half_cycle(lengths);
  }
  // A tape signal has hundreds of cycles in each block's lead-in alone.
  std::size_t in_clusters = 0;
  for (double length : lengths) in_clusters += length < OUTLIER_FACTOR * unit;
  if (unit <= 0 || in_clusters < 64) return "no tape signal found in the recording";
  result.short_half_cycle = unit;
  const std::vector<float> local = track_short_half_cycle(lengths, unit);
  if (progress) progress(0.85);

  const double speed_step = recording.sample_rate / SPEED_POINTS_PER_SECOND;
  double next_point = 0;
  WordWriter words(result);
  const bool invert = settings.polarity == Polarity::INVERTED;
  double counts = 0;  // the recording's time in counts so far; rounding never accumulates
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const double samples_per_count = local[i] / SHORT_HALF_CYCLE;
    const double end = counts + runs[i].length / samples_per_count;
    const auto count = static_cast<std::uint64_t>(std::llround(end) - std::llround(counts));
    words.add(runs[i].level ^ (invert ? 1 : 0), count, runs[i].start, samples_per_count);
    counts = end;
    if (runs[i].start >= next_point) {
      result.speed.push_back(SpeedPoint{runs[i].start, local[i]});
      next_point = runs[i].start + speed_step;
    }
  }
  result.image = words.take();
  if (progress) progress(0.9);

  Tally normal = tally(result.image, PHASE_NORMAL);
  if (settings.polarity == Polarity::AUTO) {
    const Tally reverse = tally(result.image, PHASE_REVERSE);
    if (reverse.good > normal.good) {
      // Stored inverted, so that the image reads with the normal phase. The encoder's own first
      // word stays low, as the format requires.
      for (std::size_t at = IMAGE_DATA_OFFSET + 2; at + 1 < result.image.size(); at += 2)
        result.image[at] ^= LEVEL_BIT >> 8;
      result.inverted = true;
      normal = tally(result.image, PHASE_NORMAL);
    }
  } else {
    result.inverted = invert;
  }
  result.good_blocks = normal.good;
  result.damaged_blocks = normal.damaged;
  if (progress) progress(1);
  return {};
}

}  // namespace r38::audio

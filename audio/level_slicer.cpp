#include "audio/level_slicer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace r38::audio {
namespace {

// Long enough to span many cycles at any speed a tape is played at, short enough to follow a
// slowly wandering offset.
constexpr double MEAN_WINDOW_SECONDS = 0.010;
constexpr double ENVELOPE_RELEASE_SECONDS = 0.020;
// Below this (about -74 dBFS) the signal is taken for silence, whatever the envelope says.
constexpr double THRESHOLD_FLOOR = 2e-4;
constexpr std::size_t PROGRESS_STEP = 1 << 16;

// The mean of the samples within `half` of each position, clipped to the recording, for
// positions asked for in increasing order.
class RunningMean {
 public:
  RunningMean(std::span<const float> samples, std::size_t half) : samples_(samples), half_(half) {}
  double at(std::size_t i) {
    const std::size_t lo = i > half_ ? i - half_ : 0;
    const std::size_t hi = std::min(samples_.size(), i + half_ + 1);
    while (hi_ < hi) sum_ += samples_[hi_++];
    while (lo_ < lo) sum_ -= samples_[lo_++];
    return sum_ / static_cast<double>(hi_ - lo_);
  }

 private:
  std::span<const float> samples_;
  std::size_t half_;
  double sum_ = 0;
  std::size_t lo_ = 0, hi_ = 0;  // the window is [lo_, hi_)
};

}  // namespace

std::vector<Run> slice_levels(std::span<const float> samples, double sample_rate,
                              const SlicerSettings& settings, const ProgressFn& progress) {
  std::vector<Run> runs;
  const std::size_t n = samples.size();
  if (n == 0 || !(sample_rate > 0)) return runs;
  const double hysteresis = std::clamp(settings.hysteresis, MIN_HYSTERESIS, MAX_HYSTERESIS);
  const std::size_t half_window =
      std::max<std::size_t>(1, static_cast<std::size_t>(MEAN_WINDOW_SECONDS * sample_rate / 2));
  const double release = std::exp(-1.0 / (ENVELOPE_RELEASE_SECONDS * sample_rate));

  RunningMean offset(samples, half_window);
  RunningMean smoothed(samples, settings.smoothing);
  double envelope = 0;
  int level = -1;  // unknown until the first threshold is passed
  double run_start = 0;
  double last_crossing = -1;  // where the signal last crossed its mean
  double previous = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = smoothed.at(i) - offset.at(i);
    envelope = std::max(std::abs(x), envelope * release);
    if (i > 0 && ((previous < 0) != (x < 0)) && previous != x) {
      last_crossing = static_cast<double>(i - 1) + previous / (previous - x);
    }
    previous = x;
    const double threshold = std::max(THRESHOLD_FLOOR, hysteresis * envelope);
    int next = level;
    if (x > threshold) next = 1;
    if (x < -threshold) next = 0;
    if (next != level) {
      const double edge = last_crossing > run_start ? last_crossing : static_cast<double>(i);
      if (level >= 0) runs.push_back(Run{run_start, edge - run_start, level});
      run_start = edge;
      level = next;
    }
    if (progress && i % PROGRESS_STEP == 0) progress(static_cast<double>(i) / n);
  }
  if (level >= 0) runs.push_back(Run{run_start, static_cast<double>(n) - run_start, level});
  return runs;
}

}  // namespace r38::audio

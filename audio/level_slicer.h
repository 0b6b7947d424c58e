// Turns audio samples into runs of two levels.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/recording.h"

namespace r38::audio {

// One stretch of a level between two edges, in samples from the recording's start. Edges fall
// between samples: they are interpolated where the signal crosses its mean.
struct Run {
  double start;
  double length;
  int level;  // 1 above the mean, 0 below
};

struct SlicerSettings {
  // The Schmitt trigger's thresholds lie this share of the envelope above and below the mean.
  double hysteresis = 0.3;
  // Each sample is first averaged with this many neighbours on either side, which takes out
  // noise far above the tape's frequencies (0: none).
  std::size_t smoothing = 0;
};

inline constexpr double MIN_HYSTERESIS = 0.02;
inline constexpr double MAX_HYSTERESIS = 0.9;

// The levels of the signal. The DC offset is removed with a centred running mean, the amplitude
// is followed with a peak envelope (quick to rise, slow to fall) so that quiet and loud
// passages slice alike, and a Schmitt trigger decides each level. The Schmitt trigger says that
// an edge came; its time is taken where the signal last crossed the mean before that, which
// does not depend on the amplitude or the slope of the edge. Nothing is reported before the
// first edge; the last run ends with the recording.
std::vector<Run> slice_levels(std::span<const float> samples, double sample_rate,
                              const SlicerSettings& settings, const ProgressFn& progress = {});

}  // namespace r38::audio

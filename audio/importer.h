// A recording to a tape image: levels from the slicer, the time scale from the signal's own
// half-cycles, polarity from which reading yields more good blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/level_slicer.h"
#include "audio/recording.h"

namespace r38::audio {

enum class Polarity { NORMAL, INVERTED, AUTO };

struct ImportSettings {
  SlicerSettings slicer;
  Polarity polarity = Polarity::AUTO;
};

// The speed of the tape at one point of the recording.
struct SpeedPoint {
  double sample;            // position in the recording
  double short_half_cycle;  // in samples
};

struct ImportResult {
  std::vector<std::uint8_t> image;
  // The recording's sample at which each image word begins; word 0 is the first word after the
  // magic, which the image format requires and which the recording does not hold.
  std::vector<double> word_sample;
  double sample_rate = 0;
  double short_half_cycle = 0;    // over the whole recording, in samples
  std::vector<SpeedPoint> speed;  // along the recording, a few points a second
  bool inverted = false;          // levels were stored inverted
  int good_blocks = 0;
  int damaged_blocks = 0;
};

// The short half-cycle is written as 14 counts and the long one as 28, so the image reads with
// the standard bit decision. Returns an empty string, or why no image could be made.
std::string import_recording(const Recording& recording, const ImportSettings& settings,
                             ImportResult& result, const ProgressFn& progress = {});

// The image word that `offset` falls in, as an index into ImportResult::word_sample.
inline std::size_t word_index(std::uint64_t offset) {
  return offset < 16 ? 0 : static_cast<std::size_t>((offset - 16) / 2);
}

}  // namespace r38::audio

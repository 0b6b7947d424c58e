// What a tape's signal looks like, for finding out why it does not read: how its half-cycles
// are spread against the bit decision, how its speed wanders, and where its damaged blocks
// lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/importer.h"
#include "decode/tape_format.h"

namespace r38::audio {

// The histograms reach this many counts; their last bin gathers the longer runs.
inline constexpr std::size_t SCOPE_BINS = 64;
// An image holds no time scale; its times are given as if it played at this speed.
inline constexpr double NOMINAL_BAUD = 1200;
// Where the decoder samples a bit, in counts after a rising edge.
inline constexpr double DECISION_COUNT = static_cast<double>(SAMPLE_DELAY) / TICKS_PER_COUNT;

struct ScopeReport {
  std::vector<std::size_t> high;  // runs stored high, by their length in counts
  std::vector<std::size_t> low;   // runs stored low
  double short_half_cycle = 0;    // centre of the short cluster, in counts
  double long_half_cycle = 0;     // centre of the long cluster, in counts

  struct SpeedPoint {
    double seconds;
    double baud;
  };
  std::vector<SpeedPoint> speed;  // along the tape

  struct Damage {
    double seconds;           // where the block begins
    double end_seconds;       // where it ends
    std::int64_t sample;      // where it begins in the recording's samples; -1 for an image
    std::int64_t end_sample;  // where it ends; -1 for an image
    std::uint64_t offset;     // image offset of the block's first word
    int type;                 // the block's type byte as read
  };
  std::vector<Damage> damaged;
  int good_blocks = 0;
  Phase phase = PHASE_NORMAL;  // the blocks were read with this phase
  double seconds = 0;          // length of the tape
};

// An image read with the given phase, or with `automatic`, with the reverse phase where that
// finds more good blocks; times at NOMINAL_BAUD.
ScopeReport scope_image(std::span<const std::uint8_t> image, Phase phase, bool automatic);
// An imported recording: the image's histograms, times and speed in the recording's terms.
ScopeReport scope_recording(const ImportResult& imported, std::size_t samples);

}  // namespace r38::audio

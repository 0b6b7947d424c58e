// A tape image to audio that a machine or an emulator can load.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "audio/recording.h"

namespace r38::audio {

enum class Shape {
  SQUARE,  // the stored levels as they are; edges between samples are area-averaged
  SINE,    // each half-cycle a half sine: no harmonics for a tape head or a loader to mind
};

struct ExportSettings {
  double sample_rate = 44100;
  double baud = 1200;  // bit cells a second; a bit cell is 504 ticks
  Shape shape = Shape::SQUARE;
  bool invert = false;     // play every level the other way up
  double amplitude = 0.9;  // of a level, full scale being 1
};

inline constexpr int TICKS_PER_BIT_CELL = 504;

// Hands over the samples in order, a chunk at a time; returns an empty string or why it
// could not take them, which ends the export.
using SampleSink = std::function<std::string(std::span<const float>)>;

// Renders the words of `image` (magic included) as they are stored. Returns an empty string or
// the sink's complaint.
std::string export_image(std::span<const std::uint8_t> image, const ExportSettings& settings,
                         const SampleSink& sink, const ProgressFn& progress = {});

}  // namespace r38::audio

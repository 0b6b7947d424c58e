#include "audio/exporter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "decode/tape_format.h"
#include "encode/tape_encoder.h"

namespace r38::audio {
namespace {

constexpr std::size_t CHUNK = 8192;

class ChunkedSink {
 public:
  explicit ChunkedSink(const SampleSink& sink) : sink_(sink) { chunk_.reserve(CHUNK); }
  void put(float v) {
    chunk_.push_back(v);
    if (chunk_.size() == CHUNK) flush();
  }
  void flush() {
    if (!chunk_.empty() && error_.empty()) error_ = sink_(chunk_);
    chunk_.clear();
  }
  const std::string& error() const { return error_; }

 private:
  const SampleSink& sink_;
  std::vector<float> chunk_;
  std::string error_;
};

}  // namespace

std::string export_image(std::span<const std::uint8_t> image, const ExportSettings& settings,
                         const SampleSink& sink, const ProgressFn& progress) {
  ChunkedSink out(sink);
  if (image.size() < IMAGE_DATA_OFFSET) return {};
  const double samples_per_count =
      settings.sample_rate / (settings.baud * TICKS_PER_BIT_CELL) * TICKS_PER_COUNT;
  // Half sines would turn long runs (pauses, silence) into slow humps; there the level holds,
  // reached and left by quarter sines as long as a long half-cycle.
  const double ramp = LONG_HALF_CYCLE * samples_per_count;
  const std::size_t words = (image.size() - IMAGE_DATA_OFFSET) / 2;

  double t = 0;     // start of the current run, in samples
  double area = 0;  // square: the level integrated over the current sample so far
  double next = 0;  // sine: the centre of the next sample
  for (std::size_t w = 0; w < words && out.error().empty(); ++w) {
    const std::size_t at = IMAGE_DATA_OFFSET + 2 * w;
    const unsigned word = static_cast<unsigned>(image[at]) << 8 | image[at + 1];
    const unsigned count = word & COUNT_MASK;
    if (count == 0) continue;
    const bool high = ((word & LEVEL_BIT) != 0) != settings.invert;
    const double level = high ? settings.amplitude : -settings.amplitude;
    const double length = count * samples_per_count;
    const double end = t + length;
    if (settings.shape == Shape::SQUARE) {
      double from = t;
      while (from < end) {
        const double sample_end = std::floor(from) + 1;
        const double to = std::min(end, sample_end);
        area += level * (to - from);
        from = to;
        if (to == sample_end) {
          out.put(static_cast<float>(area));
          area = 0;
        }
      }
    } else {
      for (; next < end; next += 1) {
        const double into = next - t;
        double shape;
        if (length <= ramp) {
          shape = std::sin(std::numbers::pi * into / length);
        } else if (into < ramp / 2) {
          shape = std::sin(std::numbers::pi * into / ramp);
        } else if (end - next < ramp / 2) {
          shape = std::sin(std::numbers::pi * (end - next) / ramp);
        } else {
          shape = 1;
        }
        out.put(static_cast<float>(level * shape));
      }
    }
    t = end;
    if (progress && w % 65536 == 0) progress(static_cast<double>(w) / words);
  }
  if (settings.shape == Shape::SQUARE && area != 0) out.put(static_cast<float>(area));
  out.flush();
  if (progress) progress(1);
  return out.error();
}

}  // namespace r38::audio

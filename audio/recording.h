// Audio recordings in and out: every format and sample type the sound file library reads, one
// channel at a time, as floating-point samples in -1..1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace r38::audio {

struct Recording {
  std::vector<float> samples;  // the chosen channel
  double sample_rate = 0;      // samples per second
  int channels = 0;            // channels in the file
  std::string format;          // a short description, e.g. "WAV, 16-bit PCM"
};

// Called now and then with the share of the work done, 0..1.
using ProgressFn = std::function<void(double)>;

// How every failure to make sense of a file as audio begins.
inline constexpr char UNREADABLE_RECORDING[] = "not a readable recording";

// The longest recording read: over six hours at 48,000 Hz, far more than a cassette holds.
// A few bytes of a compressed format can stand for any number of samples, so the limit keeps
// a hostile file from taking all memory.
inline constexpr std::size_t MAX_RECORDING_SAMPLES = std::size_t{1} << 30;

// Reads channel `channel` (0-based) of the recording at `path`, or of the recording held in
// `bytes`. Returns an empty string on success, otherwise why the recording could not be read
// (also when it holds more than `max_samples` samples). Samples that are not finite numbers
// read as silence.
std::string read_recording(const std::string& path, int channel, Recording& out,
                           const ProgressFn& progress = {},
                           std::size_t max_samples = MAX_RECORDING_SAMPLES);
std::string read_recording(std::span<const std::uint8_t> bytes, int channel, Recording& out,
                           std::size_t max_samples = MAX_RECORDING_SAMPLES);

// Sample encodings a recording can be written with.
enum class SampleType { PCM_8, PCM_16, PCM_24, PCM_32, FLOAT };

// Container chosen from the name's extension: .flac, .aif/.aiff, .au, .caf; anything else WAV.
// FLAC takes 8, 16 or 24-bit samples only.
class RecordingWriter {
 public:
  RecordingWriter() = default;
  RecordingWriter(const RecordingWriter&) = delete;
  RecordingWriter& operator=(const RecordingWriter&) = delete;
  ~RecordingWriter();

  // Creates a recording at `path`. Returns an empty string, or why it failed.
  std::string open(const std::string& path, double sample_rate, SampleType type, int channels = 1);
  // Appends samples, the channels of a frame side by side; values beyond -1..1 are clipped.
  // Returns an empty string, or why it failed.
  std::string write(std::span<const float> samples);
  // Finishes the file. Returns an empty string, or why it failed.
  std::string close();

 private:
  void* file_ = nullptr;  // SNDFILE*
  int channels_ = 1;
};

}  // namespace r38::audio

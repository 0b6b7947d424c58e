// Opening a tape for the r38 subcommands that read one, and running the recogniser over it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/r38_recording.h"
#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "extract/catalogue.h"
#include "extract/extractor.h"

namespace r38::cli {

// A tape ready to decode: the decoder over its signal and the block buffer the recogniser reads
// header fields from.
class TapeSource {
 public:
  TapeSource(int fd, Phase phase) : fd_(fd), reader_(fd), decoder_(reader_, phase) {}
  // A tape image held in memory, which must outlive the source.
  TapeSource(std::span<const std::uint8_t> image, Phase phase)
      : fd_(-1), reader_(image.data(), image.size()), decoder_(reader_, phase) {}
  ~TapeSource();
  TapeSource(const TapeSource&) = delete;
  TapeSource& operator=(const TapeSource&) = delete;

  TapeDecoder& decoder() { return decoder_; }
  BlockBuffer& buffer() { return buffer_; }
  ImageReader& reader() { return reader_; }

 private:
  int fd_;
  ImageReader reader_;
  TapeDecoder decoder_;
  BlockBuffer buffer_;
};

// Opens the tape at `path` and stands its decoder on the first item of its signal. Returns null
// and the reason in `why` when the file cannot be read or holds no tape.
std::unique_ptr<TapeSource> open_tape_source(const std::string& path, Phase phase,
                                             std::string& why);

// --phase normal|reverse|auto. Auto tries the normal phase first and the reverse phase when
// the normal one finds no good block at all.
enum class PhaseChoice { NORMAL, REVERSE, AUTO };
std::optional<PhaseChoice> parse_phase_choice(std::string_view text);

struct TapeScan {
  Phase phase = PHASE_NORMAL;   // the phase the catalogue was made with
  bool from_recording = false;  // the tape was an audio recording, imported first
  bool automatic = false;       // chosen by --phase auto
  std::string error;            // why the tape could not be read; empty on success
  // A recording's: the second of the recording at which each word of the imported image
  // begins. Image offsets mean nothing to whoever holds the recording; these do.
  std::vector<double> word_seconds;

  // Where the image offset `offset` lies in the recording, in seconds.
  double seconds_at(std::uint64_t offset) const;
};

// Runs the recogniser over the whole tape, filling `catalogue` and handing every event to
// `also` as well when it is given (it sees a file only after it accepted it). A pass that finds
// no good block produces no file, so `also` has done nothing when auto falls back to reverse.
// The tape is a tape image or an audio recording, told apart by content; a recording is
// imported once, as `recording` says, with a progress bar unless `quiet`.
TapeScan scan_tape(const std::string& path, PhaseChoice choice, TapeCatalogue& catalogue,
                   ExtractorEvents* also = nullptr, const RecordingOptions& recording = {},
                   bool quiet = true);

const char* phase_name(Phase phase);

}  // namespace r38::cli

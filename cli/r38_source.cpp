#include "cli/r38_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "cli/r38_recording.h"

namespace r38::cli {

TapeSource::~TapeSource() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// Checks the magic and stands the source's decoder on the first word.
std::unique_ptr<TapeSource> prepare(std::unique_ptr<TapeSource> source, std::string& why) {
  ImageReader& reader = source->reader();
  const std::size_t available = reader.peek(FIRST_LINE_LENGTH);
  if (reader.read_error() != 0 && available < FIRST_LINE_LENGTH) {
    why = std::strerror(reader.read_error());
    return nullptr;
  }
  // The converter reads the image's first line into the block buffer; the same start keeps
  // short blocks' fields the same here.
  load_first_line(reader.data(), available, source->buffer());
  if (!is_tape_image(reader.data(), available)) {
    why = "not a tape image";
    return nullptr;
  }
  reader.skip(IMAGE_DATA_OFFSET);
  return source;
}

}  // namespace

std::unique_ptr<TapeSource> open_tape_source(const std::string& path, Phase phase,
                                             std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  return prepare(std::make_unique<TapeSource>(fd, phase), why);
}

std::optional<PhaseChoice> parse_phase_choice(std::string_view text) {
  if (text == "normal") return PhaseChoice::NORMAL;
  if (text == "reverse") return PhaseChoice::REVERSE;
  if (text == "auto") return PhaseChoice::AUTO;
  return std::nullopt;
}

double TapeScan::seconds_at(std::uint64_t offset) const {
  if (word_seconds.empty()) return 0;
  return word_seconds[std::min(audio::word_index(offset), word_seconds.size() - 1)];
}

const char* phase_name(Phase phase) {
  return phase == PHASE_NORMAL ? "normal" : "reverse";
}

TapeScan scan_tape(const std::string& path, PhaseChoice choice, TapeCatalogue& catalogue,
                   ExtractorEvents* also, const RecordingOptions& recording, bool quiet) {
  TapeScan scan;
  scan.automatic = choice == PhaseChoice::AUTO;
  scan.phase = choice == PhaseChoice::REVERSE ? PHASE_REVERSE : PHASE_NORMAL;
  // A recording is imported once; each pass then reads the image in memory.
  std::vector<std::uint8_t> imported;
  const auto kind = sniff_tape(path, scan.error);
  if (!kind) return scan;
  if (*kind == TapeKind::RECORDING) {
    LoadedTape tape;
    scan.error = load_tape(path, recording, tape, quiet);
    if (!scan.error.empty()) return scan;
    imported = std::move(tape.image);
    scan.from_recording = true;
    const double rate = tape.recording.sample_rate;
    scan.word_seconds.reserve(tape.imported.word_sample.size());
    for (double sample : tape.imported.word_sample) scan.word_seconds.push_back(sample / rate);
  }
  for (;;) {
    catalogue = TapeCatalogue{};
    auto source = scan.from_recording
                      ? prepare(std::make_unique<TapeSource>(imported, scan.phase), scan.error)
                      : open_tape_source(path, scan.phase, scan.error);
    if (!source) return scan;
    if (also != nullptr) {
      EventTee tee(*also, catalogue);
      extract_files(source->decoder(), source->buffer(), tee);
    } else {
      extract_files(source->decoder(), source->buffer(), catalogue);
    }
    if (const int error = source->reader().read_error(); error != 0) {
      scan.error = std::strerror(error);
      return scan;
    }
    if (!scan.automatic || scan.phase == PHASE_REVERSE || catalogue.good_blocks() > 0) {
      return scan;
    }
    scan.phase = PHASE_REVERSE;
  }
}

}  // namespace r38::cli

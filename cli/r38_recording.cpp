#include "cli/r38_recording.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cli/r38_common.h"
#include "cli/r38_progress.h"
#include "decode/tape_format.h"

namespace r38::cli {

const char RECORDING_OPTIONS_HELP[] =
    "      --channel N       read channel N of a multichannel recording (default 1)\n"
    "      --hysteresis F    the trigger's hysteresis as a share of the amplitude,\n"
    "                        0.02 to 0.9 (default 0.3); raise it for noisy recordings\n"
    "      --polarity P      normal, inverted or auto (default): auto takes the one\n"
    "                        under which more blocks pass their checksum\n";

std::optional<double> parse_decimal(std::string_view text, double min, double max) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value) || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

bool apply_recording_option(int code, const char* value, RecordingOptions& options,
                            std::string& why) {
  const std::string_view text = value ? value : "";
  switch (code) {
    case OPT_CHANNEL: {
      const auto n = parse_number(text, 1024);
      if (!n || *n == 0) {
        why = "--channel takes a channel number from 1";
        return false;
      }
      options.channel = static_cast<int>(*n) - 1;
      return true;
    }
    case OPT_HYSTERESIS: {
      const auto h = parse_decimal(text, audio::MIN_HYSTERESIS, audio::MAX_HYSTERESIS);
      if (!h) {
        why = "--hysteresis takes a number from 0.02 to 0.9";
        return false;
      }
      options.import.slicer.hysteresis = *h;
      return true;
    }
    case OPT_POLARITY:
      if (text == "normal") {
        options.import.polarity = audio::Polarity::NORMAL;
      } else if (text == "inverted") {
        options.import.polarity = audio::Polarity::INVERTED;
      } else if (text == "auto") {
        options.import.polarity = audio::Polarity::AUTO;
      } else {
        why = "--polarity takes normal, inverted or auto";
        return false;
      }
      return true;
    default:
      why = "unknown option";
      return false;
  }
}

std::string import_file(const std::string& path, const RecordingOptions& options,
                        audio::Recording& recording, audio::ImportResult& result, bool quiet) {
  // One bar for the whole run: reading takes about a quarter of it.
  Progress progress("importing", quiet);
  constexpr double READING = 0.25;
  std::string error = audio::read_recording(
      path, options.channel, recording, [&](double share) { progress.update(READING * share); });
  if (!error.empty()) return error;
  return audio::import_recording(recording, options.import, result, [&](double share) {
    progress.update(READING + (1 - READING) * share);
  });
}

std::vector<std::uint8_t> read_whole_file(const std::string& path, std::string& why) {
  std::vector<std::uint8_t> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    why = std::strerror(errno);
    return bytes;
  }
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      bytes.insert(bytes.end(), chunk, chunk + n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n < 0) why = std::strerror(errno);
      break;
    }
  }
  ::close(fd);
  return bytes;
}

std::optional<TapeKind> sniff_tape(const std::string& path, std::string& why) {
  // The magic and the byte after it decide; a file too short to hold them is no image.
  std::uint8_t head[IMAGE_MAGIC_LENGTH + 1];
  std::size_t have = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  while (have < sizeof head) {
    const ssize_t n = ::read(fd, head + have, sizeof head - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return is_tape_image(head, have) ? TapeKind::IMAGE : TapeKind::RECORDING;
}

std::string load_tape(const std::string& path, const RecordingOptions& options, LoadedTape& tape,
                      bool quiet) {
  std::string why;
  const auto kind = sniff_tape(path, why);
  if (!kind) return why;
  if (*kind == TapeKind::IMAGE) {
    tape.image = read_whole_file(path, why);
    tape.from_recording = false;
    return why;
  }
  tape.from_recording = true;
  why = import_file(path, options, tape.recording, tape.imported, quiet);
  // Whatever the library could not make sense of was no tape image either.
  if (why.starts_with(audio::UNREADABLE_RECORDING)) why.insert(0, "not a tape image, and ");
  if (why.empty()) tape.image = tape.imported.image;
  return why;
}

}  // namespace r38::cli

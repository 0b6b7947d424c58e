// Reading recordings for the r38 subcommands: the options that say how, and the import itself.
#pragma once

#include <getopt.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/importer.h"
#include "audio/recording.h"

namespace r38::cli {

struct RecordingOptions {
  int channel = 0;  // 0-based; --channel counts from 1
  audio::ImportSettings import;
};

// getopt_long codes of the options below; they have no short form.
enum : int { OPT_CHANNEL = 0x100, OPT_HYSTERESIS, OPT_POLARITY, RECORDING_OPTION_END };

#define R38_RECORDING_LONG_OPTIONS                                            \
  {"channel", required_argument, nullptr, r38::cli::OPT_CHANNEL},             \
      {"hysteresis", required_argument, nullptr, r38::cli::OPT_HYSTERESIS}, { \
    "polarity", required_argument, nullptr, r38::cli::OPT_POLARITY            \
  }

// The help text of those options.
extern const char RECORDING_OPTIONS_HELP[];

// Takes one of the options above. Returns false, with the reason in `why`, when its value is
// not acceptable.
bool apply_recording_option(int code, const char* value, RecordingOptions& options,
                            std::string& why);

// A decimal number within [min, max].
std::optional<double> parse_decimal(std::string_view text, double min, double max);

// Reads and imports the recording at `path`. Returns an empty string or why it failed.
std::string import_file(const std::string& path, const RecordingOptions& options,
                        audio::Recording& recording, audio::ImportResult& result, bool quiet);

// A tape from either kind of file, told apart by content: a tape image begins with its magic,
// anything else is taken for a recording and imported.
struct LoadedTape {
  std::vector<std::uint8_t> image;
  bool from_recording = false;
  audio::Recording recording;    // when from_recording; its samples are kept
  audio::ImportResult imported;  // when from_recording
};

enum class TapeKind { IMAGE, RECORDING };
// Which kind of tape the file at `path` holds, from its first bytes: a tape image begins with
// the magic, anything else is taken for a recording. Nothing, and the reason in `why`, when the
// file cannot be read.
std::optional<TapeKind> sniff_tape(const std::string& path, std::string& why);

// Returns an empty string or why the file could not be read.
std::string load_tape(const std::string& path, const RecordingOptions& options, LoadedTape& tape,
                      bool quiet);

// The whole file, or why not in `why`.
std::vector<std::uint8_t> read_whole_file(const std::string& path, std::string& why);

}  // namespace r38::cli

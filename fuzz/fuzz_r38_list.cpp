// r38 list over an arbitrary image: the recogniser with the automatic phase, the table and the
// JSON document, which must parse and give every stored name's bytes back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/r38_catalogue_view.h"
#include "cli/r38_recording.h"
#include "cli/r38_source.h"
#include "fuzz_support.h"

namespace {

// The bytes a JSON string stands for when each code point is one byte (all below 256).
bool latin1_bytes(const std::string& utf8, std::string& bytes) {
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* table = std::fopen("/dev/null", "w");
  const int fd = r38::fuzz::file_with(data, size);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  r38::TapeCatalogue catalogue;
  const r38::cli::TapeScan scan = r38::cli::scan_tape(path, r38::cli::PhaseChoice::AUTO, catalogue,
                                                      nullptr, r38::cli::RecordingOptions{}, true);
  ::close(fd);
  if (!scan.error.empty()) return 0;

  r38::cli::print_catalogue(table, catalogue, scan);
  // A parse failure throws, which ends the run as a finding.
  const auto doc = nlohmann::json::parse(r38::cli::catalogue_json("tape.r38", catalogue, scan));
  const auto& files = catalogue.files();
  if (doc.at("files").size() != files.size()) std::abort();
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string name;
    if (!latin1_bytes(doc["files"][i].at("name").get<std::string>(), name)) std::abort();
    if (name != std::string(files[i].file_name.begin(),
                            files[i].file_name.begin() + files[i].name_length)) {
      std::abort();
    }
    if (doc["files"][i].at("name_hex").get<std::string>().size() != 16) std::abort();
  }
  return 0;
}

#include "cli/r38_catalogue_view.h"

#include <algorithm>
#include <utility>
#include <nlohmann/json.hpp>

namespace r38::cli {
namespace {

// The type as the table shows it and as the JSON document names it.
struct TypeNames {
  std::string text;
  const char* key;
};

TypeNames type_names(const CatalogueFile& file) {
  switch (file.known_type ? file.file_type : -1) {
    case FILE_BASIC:
      return file.ascii ? TypeNames{"BASIC ASCII", "basic_ascii"}
                        : TypeNames{"BASIC I-code", "basic_icode"};
    case FILE_BASIC_DATA:
      return {"data", "data"};
    case FILE_MACHINE:
      return {"machine", "machine"};
    default:
      return {"unknown " + std::to_string(file.file_type), "unknown"};
  }
}

bool is_machine(const CatalogueFile& file) {
  return file.file_type == FILE_MACHINE;
}

std::string address_text(bool known, unsigned address) {
  if (!known) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%04X", address);
  return text;
}

std::string phase_line(const TapeScan& scan) {
  std::string line = std::string("phase: ") + phase_name(scan.phase);
  if (scan.automatic) {
    line +=
        scan.phase == PHASE_NORMAL ? " (auto)" : " (auto: the normal phase found no good block)";
  }
  return line;
}

std::string block_type_text(int block_type) {
  if (block_type < 0) return "damaged";
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(block_type));
  return text;
}

// Each byte as the code point of the same value, so that a JSON reader gets every byte back.
std::string latin1_to_utf8(const std::uint8_t* bytes, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t c = bytes[i];
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::string hex_bytes(const std::uint8_t* bytes, std::size_t length) {
  static const char DIGITS[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    text += DIGITS[bytes[i] >> 4];
    text += DIGITS[bytes[i] & 15];
  }
  return text;
}

struct Totals {
  long complete = 0;
  long bytes = 0;
};

Totals totals_of(const TapeCatalogue& catalogue) {
  Totals totals;
  for (const CatalogueFile& file : catalogue.files()) {
    totals.complete += file.complete ? 1 : 0;
    totals.bytes += file.size;
  }
  return totals;
}

}  // namespace

std::string escape_name(const std::uint8_t* name, std::size_t length) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t c = name[i];
    if (c == '\\' || c == '"') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

namespace {

// An image offset as the table shows it: the offset itself for an image, the second at which
// it lies for a recording. `worded` puts the unit in words ("offset 120", "12.345 s").
std::string position(const TapeScan& scan, std::uint64_t offset, bool worded) {
  char text[48];
  if (scan.from_recording) {
    std::snprintf(text, sizeof text, worded ? "%.3f s" : "%.3f", scan.seconds_at(offset));
  } else {
    std::snprintf(text, sizeof text, worded ? "offset %llu" : "%llu",
                  static_cast<unsigned long long>(offset));
  }
  return text;
}

}  // namespace

void print_catalogue(std::FILE* out, const TapeCatalogue& catalogue, const TapeScan& scan,
                     const std::vector<std::string>* written) {
  std::fprintf(out, "%s\n", phase_line(scan).c_str());
  const auto& files = catalogue.files();
  std::vector<std::string> names;
  std::size_t name_width = 4;
  for (const CatalogueFile& file : files) {
    // Built by appending: GCC 12 warns falsely about "\"" + std::string at -O3.
    std::string quoted(1, '"');
    quoted += escape_name(file.file_name.data(), file.name_length);
    quoted += '"';
    names.push_back(std::move(quoted));
    name_width = std::max(name_width, names.back().size());
  }
  const int width = static_cast<int>(name_width);
  if (!files.empty()) {
    std::fprintf(out, "%-*s  %-12s  %6s  %-4s  %-4s  %-4s  %6s  %6s  %-10s  %8s%s\n", width, "NAME",
                 "TYPE", "SIZE", "LOAD", "END", "EXEC", "BLOCKS", "ERRORS", "END BLOCK",
                 scan.from_recording ? "SECONDS" : "OFFSET", written ? "  WRITTEN TO" : "");
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const CatalogueFile& file = files[i];
    const bool machine = is_machine(file);
    std::fprintf(out, "%-*s  %-12s  %6ld  %-4s  %-4s  %-4s  %6d  %6d  %-10s  %8s", width,
                 names[i].c_str(), type_names(file).text.c_str(), file.size,
                 address_text(machine && file.has_preamble, file.load_address).c_str(),
                 address_text(machine && file.has_preamble, file.end_address).c_str(),
                 address_text(machine && file.has_trailer, file.exec_address).c_str(),
                 file.data_blocks, file.checksum_errors, file.complete ? "complete" : "incomplete",
                 position(scan, file.offset, false).c_str());
    if (written != nullptr && i < written->size()) {
      const std::string& name = (*written)[i];
      std::fprintf(
          out, "  %s",
          escape_name(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()).c_str());
    }
    std::fputc('\n', out);
  }
  for (const StrayBlock& block : catalogue.stray_blocks()) {
    std::fprintf(out, "stray block at %s: type %s, %d bytes, %s\n",
                 position(scan, block.offset, true).c_str(),
                 block_type_text(block.block_type).c_str(), block.length,
                 block.in_file ? "inside a file" : "outside files");
  }
  for (std::uint64_t offset : catalogue.damaged_blocks()) {
    std::fprintf(out, "damaged block at %s, outside files\n", position(scan, offset, true).c_str());
  }
  const Totals totals = totals_of(catalogue);
  std::fprintf(out,
               "%zu files (%ld complete, %ld incomplete), %ld bytes, %ld checksum errors, "
               "%zu stray blocks\n",
               files.size(), totals.complete, static_cast<long>(files.size()) - totals.complete,
               totals.bytes, catalogue.checksum_errors(), catalogue.stray_blocks().size());
}

std::string catalogue_json(const std::string& image, const TapeCatalogue& catalogue,
                           const TapeScan& scan) {
  using nlohmann::ordered_json;
  ordered_json doc;
  doc["version"] = CATALOGUE_JSON_VERSION;
  doc["image"] = image;
  doc["phase"] = phase_name(scan.phase);
  doc["phase_automatic"] = scan.automatic;
  ordered_json files = ordered_json::array();
  for (const CatalogueFile& file : catalogue.files()) {
    const bool machine = is_machine(file);
    auto address = [](bool known, unsigned value) {
      return known ? ordered_json(value) : ordered_json(nullptr);
    };
    std::string output_name(file.output_name);
    files.push_back({
        {"name", latin1_to_utf8(file.file_name.data(), file.name_length)},
        {"name_hex", hex_bytes(file.file_name.data(), file.file_name.size())},
        {"output_name", latin1_to_utf8(reinterpret_cast<const std::uint8_t*>(output_name.data()),
                                       output_name.size())},
        {"type", type_names(file).key},
        {"type_code", file.file_type},
        {"size", file.size},
        {"load_address", address(machine && file.has_preamble, file.load_address)},
        {"end_address", address(machine && file.has_preamble, file.end_address)},
        {"exec_address", address(machine && file.has_trailer, file.exec_address)},
        {"data_blocks", file.data_blocks},
        {"checksum_errors", file.checksum_errors},
        {"complete", file.complete},
        {"offset", file.offset},
    });
    if (scan.from_recording) files.back()["seconds"] = scan.seconds_at(file.offset);
  }
  doc["files"] = std::move(files);
  ordered_json stray = ordered_json::array();
  for (const StrayBlock& block : catalogue.stray_blocks()) {
    stray.push_back({
        {"offset", block.offset},
        {"type", block.block_type < 0 ? ordered_json(nullptr) : ordered_json(block.block_type)},
        {"length", block.length},
        {"in_file", block.in_file},
    });
    if (scan.from_recording) stray.back()["seconds"] = scan.seconds_at(block.offset);
  }
  doc["stray_blocks"] = std::move(stray);
  ordered_json damaged = ordered_json::array();
  for (std::uint64_t offset : catalogue.damaged_blocks()) {
    damaged.push_back({{"offset", offset}});
    if (scan.from_recording) damaged.back()["seconds"] = scan.seconds_at(offset);
  }
  doc["damaged_blocks"] = std::move(damaged);
  const Totals totals = totals_of(catalogue);
  const long file_count = static_cast<long>(catalogue.files().size());
  doc["totals"] = {
      {"files", file_count},
      {"complete", totals.complete},
      {"incomplete", file_count - totals.complete},
      {"bytes", totals.bytes},
      {"checksum_errors", catalogue.checksum_errors()},
      {"stray_blocks", catalogue.stray_blocks().size()},
      {"damaged_blocks", catalogue.damaged_blocks().size()},
  };
  // A path that is not UTF-8 gets replacement characters rather than failing the listing.
  return doc.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace r38::cli

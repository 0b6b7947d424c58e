#include "extract/catalogue.h"

#include <algorithm>

namespace r38 {

void TapeCatalogue::checksum_error(bool in_file, std::uint64_t offset) {
  // The extractor counts the errors inside a file in its summary.
  if (!in_file) damaged_blocks_.push_back(offset);
}

bool TapeCatalogue::file_started(const FileHeader& header) {
  CatalogueFile& file = files_.emplace_back();
  std::copy(std::begin(header.file_name), std::end(header.file_name), file.file_name.begin());
  file.name_length = static_cast<std::size_t>(
      std::find(file.file_name.begin(), file.file_name.end(), 0) - file.file_name.begin());
  file.file_type = header.file_type;
  file.known_type = header.known_type;
  file.ascii = header.ascii;
  file.extension = header.extension;
  std::copy(std::begin(header.output_name), std::end(header.output_name), file.output_name);
  file.offset = header.offset;
  return true;
}

void TapeCatalogue::file_ended(const FileSummary& summary) {
  finish(summary, true);
}

void TapeCatalogue::block_dropped(ExtractorState state, int block_type, int length,
                                  std::uint64_t offset) {
  stray_blocks_.push_back({offset, block_type, length, state == IN_FILE});
}

void TapeCatalogue::input_ended(const FileSummary* open_file) {
  if (open_file != nullptr) finish(*open_file, false);
}

void TapeCatalogue::finish(const FileSummary& summary, bool complete) {
  CatalogueFile& file = files_.back();
  file.size = summary.bytes_written;
  file.data_blocks = summary.data_blocks;
  file.checksum_errors = summary.checksum_errors;
  file.complete = complete;
  file.load_address = summary.load_address & 0xFFFF;
  file.end_address = (summary.program_length + summary.load_address - 1) & 0xFFFF;
  file.exec_address = summary.exec_address & 0xFFFF;
  file.has_preamble = summary.has_preamble;
  file.has_trailer = summary.has_trailer;
}

long TapeCatalogue::good_blocks() const {
  long count = static_cast<long>(stray_blocks_.size());
  for (const CatalogueFile& file : files_) count += 1 + file.data_blocks + (file.complete ? 1 : 0);
  return count;
}

long TapeCatalogue::checksum_errors() const {
  long count = static_cast<long>(damaged_blocks_.size());
  for (const CatalogueFile& file : files_) count += file.checksum_errors;
  return count;
}

bool TapeCatalogue::all_intact() const {
  return checksum_errors() == 0 &&
         std::all_of(files_.begin(), files_.end(), [](const auto& f) { return f.complete; });
}

}  // namespace r38

// A catalogue of a tape: what the extractor recognised, kept for a listing rather than written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "extract/extractor.h"

namespace r38 {

struct CatalogueFile {
  std::array<std::uint8_t, 8> file_name{};  // exactly as stored
  std::size_t name_length = 0;              // bytes before the first zero byte
  int file_type = 0;
  bool known_type = false;
  bool ascii = false;  // FILE_BASIC stored as ASCII text
  const char* extension = "";
  char output_name[13] = {};  // the name the converter writes the file under
  std::uint64_t offset = 0;   // image offset at which the header block begins
  long size = 0;              // bytes that went to the output file
  int data_blocks = 0;
  int checksum_errors = 0;  // blocks lost to checksum errors while the file was open
  bool complete = false;    // its end block came
  // Machine-language programs only. They carry over from earlier files, as the converter
  // reports them, when this one brought no preamble or trailer of its own.
  unsigned load_address = 0;
  unsigned end_address = 0;  // of the last byte, from the preamble's length, wrapping at 16 bits
  unsigned exec_address = 0;
  bool has_preamble = false;
  bool has_trailer = false;
};

// A good block the recogniser had no use for: outside any file, or a header or unknown block
// inside one (a header there means the open file's end block was lost).
struct StrayBlock {
  std::uint64_t offset;
  int block_type;  // 0..255, or FRAMING_ERROR
  int length;
  bool in_file;
};

class TapeCatalogue : public ExtractorEvents {
 public:
  void checksum_error(bool in_file, std::uint64_t offset) override;
  bool file_started(const FileHeader& header) override;
  void file_data(const std::uint8_t*, std::size_t) override {}
  void file_ended(const FileSummary& summary) override;
  void block_dropped(ExtractorState state, int block_type, int length,
                     std::uint64_t offset) override;
  void input_ended(const FileSummary* open_file) override;

  const std::vector<CatalogueFile>& files() const { return files_; }
  const std::vector<StrayBlock>& stray_blocks() const { return stray_blocks_; }
  // Offsets of blocks that failed their checksum while no file was open.
  const std::vector<std::uint64_t>& damaged_blocks() const { return damaged_blocks_; }

  // Blocks whose checksum matched, whatever became of them.
  long good_blocks() const;
  // Checksum errors anywhere on the tape.
  long checksum_errors() const;
  // Whether every file came whole: no checksum error anywhere and every end block present.
  bool all_intact() const;

 private:
  void finish(const FileSummary& summary, bool complete);

  std::vector<CatalogueFile> files_;
  std::vector<StrayBlock> stray_blocks_;
  std::vector<std::uint64_t> damaged_blocks_;
};

}  // namespace r38

// Turning files on disk into files on tape: the tape name from the file's name, the type from its
// extension, the addresses of a machine-language program, and the checks a tape imposes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encode/tape_encoder.h"

namespace r38 {

// What a file on tape can hold, as a tape builder sees it.
enum class FileKind {
  BASIC_ASCII,  // .BAS: a BASIC program stored as ASCII text
  BASIC_ICODE,  // .IBA: a BASIC program stored as I-code
  BASIC_DATA,   // .TXT: a data file written by a BASIC program
  MACHINE,      // .BIN: a machine-language program
};

// BAS, IBA, TXT or BIN in any letter case, with or without the leading dot.
std::optional<FileKind> kind_from_extension(std::string_view extension);

inline constexpr std::size_t MAX_PROGRAM_LENGTH = 0xFFFF;

// How one file is to be recorded. Unset fields are worked out from the file's name.
struct FileSettings {
  std::optional<FileKind> kind;
  std::optional<std::string> name;  // the tape name, in place of the file's base name
  std::optional<std::uint16_t> load_address;
  std::optional<std::uint16_t> exec_address;
  std::uint8_t name_pad = 0;  // fills the stored name up to 8 bytes
};

// Makes the tape file for the file at `path` holding `data`. Returns an empty text and fills
// `file`, or returns why the file cannot go on a tape.
std::string make_tape_file(std::string_view path, std::vector<std::uint8_t> data,
                           const FileSettings& settings, TapeFile& file);

// A whole image holding the files in order.
std::vector<std::uint8_t> encode_tape(const std::vector<TapeFile>& files, Phase phase);

}  // namespace r38

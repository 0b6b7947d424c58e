#include "encode/tape_files.h"

#include <algorithm>
#include <cctype>

namespace r38 {
namespace {

// Two 0xFF mark bytes in a BASIC header mean ASCII text; any other pair means I-code.
constexpr std::array<std::uint8_t, 2> ASCII_MARK = {0xFF, 0xFF};
constexpr std::array<std::uint8_t, 2> ICODE_MARK = {0x00, 0x00};

}  // namespace

std::optional<FileKind> kind_from_extension(std::string_view extension) {
  if (extension.starts_with('.')) extension.remove_prefix(1);
  std::string upper(extension);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "BAS") return FileKind::BASIC_ASCII;
  if (upper == "IBA") return FileKind::BASIC_ICODE;
  if (upper == "TXT") return FileKind::BASIC_DATA;
  if (upper == "BIN") return FileKind::MACHINE;
  return std::nullopt;
}

std::string make_tape_file(std::string_view path, std::vector<std::uint8_t> data,
                           const FileSettings& settings, TapeFile& file) {
  std::string_view base = path.substr(path.find_last_of('/') + 1);
  // A leading dot starts a hidden file's name, not an extension.
  const std::size_t dot = base.find_last_of('.');
  const bool has_extension = dot != std::string_view::npos && dot > 0;
  const std::string_view stem = has_extension ? base.substr(0, dot) : base;
  const std::string_view extension = has_extension ? base.substr(dot) : std::string_view();

  std::optional<FileKind> kind = settings.kind;
  if (!kind) kind = kind_from_extension(extension);
  if (!kind) {
    return extension.empty() ? "no extension to tell its type; give --type"
                             : "unknown extension '" + std::string(extension) + "'; give --type";
  }

  const std::string_view name = settings.name ? std::string_view(*settings.name) : stem;
  if (name.empty()) return "empty tape name";
  if (name.size() > file.name.size()) {
    return "tape name '" + std::string(name) + "' is longer than 8 bytes";
  }
  if (name.find('\0') != std::string_view::npos) return "tape name holds a zero byte";
  file.name.fill(settings.name_pad);
  std::copy(name.begin(), name.end(), file.name.begin());

  file.ascii_mark = ICODE_MARK;
  file.load_address = 0;
  file.exec_address = 0;
  switch (*kind) {
    case FileKind::BASIC_ASCII:
      file.file_type = FILE_BASIC;
      file.ascii_mark = ASCII_MARK;
      break;
    case FileKind::BASIC_ICODE:
      file.file_type = FILE_BASIC;
      break;
    case FileKind::BASIC_DATA:
      file.file_type = FILE_BASIC_DATA;
      break;
    case FileKind::MACHINE:
      file.file_type = FILE_MACHINE;
      if (!settings.load_address) return "a machine-language program needs --load";
      if (!settings.exec_address) return "a machine-language program needs --exec";
      if (data.size() > MAX_PROGRAM_LENGTH) {
        return "a machine-language program holds at most 65535 bytes, this one " +
               std::to_string(data.size());
      }
      file.load_address = *settings.load_address;
      file.exec_address = *settings.exec_address;
      break;
  }
  file.data = std::move(data);
  return {};
}

std::vector<std::uint8_t> encode_tape(const std::vector<TapeFile>& files, Phase phase) {
  TapeEncoder encoder(phase);
  for (const TapeFile& file : files) encode_file(encoder, file);
  return encoder.take();
}

}  // namespace r38

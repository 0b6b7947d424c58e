// r38 build's reading of one input file (its name, extension, settings and bytes) into a file on
// tape, and the promise that follows: the converter turns the image back into the same bytes.
//
// Input layout: a settings byte, a name length, the name, load and exec addresses (2 bytes
// each, big-endian), then the file's bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include "encode/tape_files.h"
#include "fuzz_support.h"

namespace {

// Only short files: the whole image is decoded again for every input.
constexpr std::size_t MAX_CONTENT = 512;

std::vector<std::uint8_t> kept;  // the input file's bytes, for the check of the output

bool any_name(const std::string& name) {
  return name.size() <= 12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t name_length = data[1] % 16;
  if (size < 2 + name_length + 4) return 0;
  const std::string name(reinterpret_cast<const char*>(data + 2), name_length);
  const std::uint8_t* rest = data + 2 + name_length;
  static const char* const EXTENSIONS[] = {".BAS", ".iba", ".Txt", ".bin", ".XYZ", ""};
  r38::FileSettings settings;
  if (flags & 0x08) settings.load_address = static_cast<std::uint16_t>(rest[0] << 8 | rest[1]);
  if (flags & 0x10) settings.exec_address = static_cast<std::uint16_t>(rest[2] << 8 | rest[3]);
  // Either the name is the file's base name, or it is given as --name would give it.
  const std::string path = (flags & 0x20) ? "dir/file" + std::string(EXTENSIONS[flags % 6])
                                          : "dir/" + name + EXTENSIONS[flags % 6];
  if (flags & 0x20) settings.name = name;
  if (flags & 0x40) settings.name_pad = ' ';
  const std::uint8_t* content = rest + 4;
  const std::size_t content_size = std::min(MAX_CONTENT, size - (2 + name_length + 4));
  kept.assign(content, content + content_size);

  r38::TapeFile file;
  if (!r38::make_tape_file(path, kept, settings, file).empty()) return 0;
  const r38::Phase phase = (flags & 0x80) ? r38::PHASE_REVERSE : r38::PHASE_NORMAL;
  const std::vector<std::uint8_t> image = r38::encode_tape({file}, phase);

  // Back through the converter: one output file holding exactly the input's bytes.
  r38::RunSettings run;
  run.phase = phase;
  if (r38::fuzz::run_r38dec(sandbox, image.data(), image.size(), run) != 0) std::abort();
  const std::vector<std::string> outputs = sandbox.outputs();
  if (outputs.size() != 1 || sandbox.read_output(outputs[0]) != kept) std::abort();
  sandbox.check_and_clear(any_name);
  return 0;
}

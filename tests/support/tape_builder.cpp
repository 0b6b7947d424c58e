#include "support/tape_builder.h"

#include <cstring>

namespace r38::test {

TapeBuilder& TapeBuilder::frames(std::initializer_list<int> values) {
  return frames(std::vector<int>(values));
}

TapeBuilder& TapeBuilder::frames(const std::vector<int>& values) {
  for (int v : values) {
    if (v == DAMAGED) {
      frame(0xFE, 1, 0);
    } else {
      frame(v);
    }
  }
  return *this;
}

TapeBuilder& TapeBuilder::good_block(int type, const std::vector<std::uint8_t>& data) {
  block(type, data);
  return *this;
}

TapeBuilder& TapeBuilder::block_with_checksum(int type, const std::vector<std::uint8_t>& data,
                                              int checksum) {
  idle_bits(BLOCK_LEAD_IN_BITS);
  frames({SYNC_MARK_FIRST, SYNC_MARK_SECOND, type, static_cast<int>(data.size())});
  for (std::uint8_t b : data) frame(b);
  frame(checksum);
  return *this;
}

TapeBuilder& TapeBuilder::file(const TapeFile& f) {
  encode_file(*this, f);
  return *this;
}

std::array<std::uint8_t, 8> tape_name(const std::string& text, std::uint8_t pad) {
  std::array<std::uint8_t, 8> name;
  name.fill(pad);
  std::memcpy(name.data(), text.data(), std::min<std::size_t>(8, text.size()));
  return name;
}

TapeFile basic_file(const std::string& name, const std::string& text, bool ascii) {
  TapeFile f;
  f.name = tape_name(name);
  f.file_type = FILE_BASIC;
  f.ascii_mark =
      ascii ? std::array<std::uint8_t, 2>{0xFF, 0xFF} : std::array<std::uint8_t, 2>{0, 0};
  f.data.assign(text.begin(), text.end());
  return f;
}

TapeFile data_file(const std::string& name, const std::vector<std::uint8_t>& data) {
  TapeFile f;
  f.name = tape_name(name);
  f.file_type = FILE_BASIC_DATA;
  f.data = data;
  return f;
}

TapeFile machine_file(const std::string& name, const std::vector<std::uint8_t>& program,
                      std::uint16_t load, std::uint16_t exec) {
  TapeFile f;
  f.name = tape_name(name);
  f.file_type = FILE_MACHINE;
  f.data = program;
  f.load_address = load;
  f.exec_address = exec;
  return f;
}

TapeFile unknown_file(const std::string& name, int type, const std::vector<std::uint8_t>& data) {
  TapeFile f;
  f.name = tape_name(name);
  f.file_type = type;
  f.data = data;
  return f;
}

std::vector<std::uint8_t> image_with(std::initializer_list<std::uint8_t> after_magic) {
  std::vector<std::uint8_t> image(IMAGE_MAGIC, IMAGE_MAGIC + IMAGE_MAGIC_LENGTH);
  for (std::uint8_t b : after_magic) image.push_back(b);
  return image;
}

std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return bytes;
}

}  // namespace r38::test

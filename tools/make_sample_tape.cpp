// Writes the small sample tape kept in samples/: one file of every kind the converter knows.
#include <cstdio>
#include <string>

#include "encode/tape_encoder.h"

namespace {

r38::TapeFile make(const char* name, int type, const std::string& data) {
  r38::TapeFile f;
  for (int i = 0; i < 8 && name[i] != 0; ++i) f.name[i] = static_cast<std::uint8_t>(name[i]);
  f.file_type = type;
  f.data.assign(data.begin(), data.end());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_tape OUT.r38\n");
    return 2;
  }
  r38::TapeEncoder tape;
  r38::TapeFile hello =
      make("HELLO", r38::FILE_BASIC, "10 PRINT \"HELLO FROM TAPE\"\r\n20 GOTO 10\r\n");
  hello.ascii_mark = {0xFF, 0xFF};
  r38::encode_file(tape, hello);
  r38::encode_file(tape,
                   make("TOKENS", r38::FILE_BASIC, std::string("\x0A\x00\x91\x22HI\x22\x00", 8)));
  r38::encode_file(tape, make("SCORES", r38::FILE_BASIC_DATA, "ALICE,120\r\nBOB,95\r\n"));
  r38::TapeFile game = make("GAME", r38::FILE_MACHINE, std::string("\x3E\x41\xCD\x0C\x00\xC9", 6));
  game.load_address = 0xC000;
  game.exec_address = 0xC000;
  r38::encode_file(tape, game);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const auto& image = tape.image();
  const bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
  return (std::fclose(out) == 0 && ok) ? 0 : 1;
}

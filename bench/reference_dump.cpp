// r38_reference_dump IMAGE: what `r38dec -d IMAGE` does (every decoded byte to FULLDUMP.BIN,
// a damaged one as 0xFE), decoded tick by tick by the reference decoder. The benchmarks time it
// next to the converter.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "decode/image_reader.h"
#include "support/reference_decoder.h"

int main(int argc, char** argv) {
  using namespace r38;
  if (argc != 2) {
    std::fputs("usage: r38_reference_dump IMAGE\n", stderr);
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 2;
  }
  ImageReader reader(fd);
  const std::size_t head = reader.peek(IMAGE_DATA_OFFSET + 1);
  if (!is_tape_image(reader.data(), head)) {
    std::fputs("not a tape image\n", stderr);
    return 1;
  }
  reader.skip(IMAGE_DATA_OFFSET);
  std::FILE* out = std::fopen("FULLDUMP.BIN", "wb");
  if (out == nullptr) {
    std::perror("FULLDUMP.BIN");
    return 2;
  }
  test::ReferenceDecoder decoder(reader, PHASE_NORMAL);
  for (int byte; (byte = decoder.read_byte()) != END_OF_INPUT;) std::fputc(byte & 0xFF, out);
  return std::fclose(out) == 0 && reader.read_error() == 0 ? 0 : 2;
}

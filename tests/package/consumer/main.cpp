// Lists the files on a tape image through the installed library.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"
#include "extract/extractor.h"

namespace {

class Names : public r38::ExtractorEvents {
 public:
  void checksum_error(bool, std::uint64_t) override {}
  bool file_started(const r38::FileHeader& header) override {
    std::printf("%s\n", header.output_name);
    return true;
  }
  void file_data(const std::uint8_t*, std::size_t) override {}
  void file_ended(const r38::FileSummary&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int fd = ::open(argv[1], O_RDONLY);
  if (fd < 0) return 2;
  r38::ImageReader reader(fd);
  if (!r38::is_tape_image(reader.data(), reader.peek(17))) return 1;
  reader.skip(r38::IMAGE_DATA_OFFSET);
  r38::TapeDecoder decoder(reader, r38::PHASE_NORMAL);
  r38::BlockBuffer buffer;
  Names names;
  r38::extract_files(decoder, buffer, names);
  return ::close(fd) == 0 ? 0 : 2;
}

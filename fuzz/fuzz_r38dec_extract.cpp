// r38dec's normal mode over an arbitrary image: every file found is written into a private
// directory, and nothing may land anywhere else.
#include <unistd.h>

#include <cstdlib>

#include "cli/r38dec_modes.h"
#include "fuzz_support.h"

namespace {

// An output is the stored name (at most 8 bytes) and an extension of at most 4.
bool output_name(const std::string& name) {
  return name.size() <= 12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  const int fd = r38::fuzz::file_with(data, size);
  int status;
  {
    r38::ImageReader reader(fd);
    r38::RunSettings settings;
    settings.verbose = true;
    status = r38::decode_image(reader, settings, sandbox.out_dir());
  }
  ::close(fd);
  if (status < 0 || status > 2) std::abort();
  sandbox.check_and_clear(output_name);
  return 0;
}

// r38dec's dump mode over an arbitrary image: FULLDUMP.BIN and nothing else, in a private
// directory.
#include <unistd.h>

#include <cstdlib>

#include "cli/r38dec_modes.h"
#include "fuzz_support.h"

namespace {

bool dump_name(const std::string& name) {
  return name == "FULLDUMP.BIN";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  const int fd = r38::fuzz::file_with(data, size);
  int status;
  {
    r38::ImageReader reader(fd);
    r38::RunSettings settings;
    settings.dump = true;
    // The last byte of an odd-sized input picks the phase, so both are covered.
    if (size % 2 == 1 && (data[size - 1] & 1)) settings.phase = r38::PHASE_REVERSE;
    status = r38::decode_image(reader, settings, sandbox.out_dir());
  }
  ::close(fd);
  if (status < 0 || status > 2) std::abort();
  sandbox.check_and_clear(dump_name);
  return 0;
}

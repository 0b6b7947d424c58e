// r38dec's normal mode over an arbitrary image: every file found is written into a private
// directory, and nothing may land anywhere else.
#include "fuzz_support.h"

namespace {

// An output is the stored name (at most 8 bytes) and an extension of at most 4.
bool output_name(const std::string& name) {
  return name.size() <= 12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  r38::RunSettings settings;
  settings.verbose = true;
  r38::fuzz::run_r38dec(sandbox, data, size, settings);
  sandbox.check_and_clear(output_name);
  return 0;
}

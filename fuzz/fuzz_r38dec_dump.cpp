// r38dec's dump mode over an arbitrary image: FULLDUMP.BIN and nothing else, in a private
// directory.
#include "fuzz_support.h"

namespace {

bool dump_name(const std::string& name) {
  return name == "FULLDUMP.BIN";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  r38::RunSettings settings;
  settings.dump = true;
  // The last byte of an odd-sized input picks the phase, so both are covered.
  if (size % 2 == 1 && (data[size - 1] & 1)) settings.phase = r38::PHASE_REVERSE;
  r38::fuzz::run_r38dec(sandbox, data, size, settings);
  sandbox.check_and_clear(dump_name);
  return 0;
}

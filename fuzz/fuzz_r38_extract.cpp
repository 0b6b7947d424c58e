// r38 extract over an arbitrary image: the recogniser with the automatic phase writing every
// file into a private directory, plainly or with --no-clobber (the last byte of an odd-sized
// input chooses), and nothing may land anywhere else.
#include <unistd.h>

#include <string>

#include "cli/r38_recording.h"
#include "cli/r38_source.h"
#include "extract/directory_writer.h"
#include "fuzz_support.h"

namespace {

// The converter's names, with a "-N" of up to four digits under --no-clobber.
bool output_name(const std::string& name) {
  return name.size() <= 12 + 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static r38::fuzz::Sandbox sandbox;
  const bool no_clobber = size % 2 == 1 && (data[size - 1] & 1);
  const int fd = r38::fuzz::file_with(data, size);
  {
    r38::DirectoryWriter writer(sandbox.out_dir(), no_clobber);
    r38::TapeCatalogue catalogue;
    r38::cli::scan_tape("/proc/self/fd/" + std::to_string(fd), r38::cli::PhaseChoice::AUTO,
                        catalogue, &writer, r38::cli::RecordingOptions{}, true);
  }
  ::close(fd);
  sandbox.check_and_clear(output_name);
  return 0;
}

#include "extract/directory_writer.h"

#include <cerrno>
#include <string_view>

namespace r38 {
namespace {

// How many numbered names --no-clobber tries before it gives up on a file.
constexpr int MAX_NUMBERED_NAMES = 9999;

}  // namespace

bool DirectoryWriter::file_started(const FileHeader& header) {
  // The directory writer never follows a symbolic link it finds there, so nothing is written
  // outside the directory it was given.
  std::string name = header.output_name;
  int error = output_.open(name.c_str(), dir_fd_, O_NOFOLLOW | (no_clobber_ ? O_EXCL : 0));
  if (no_clobber_) {
    const std::string_view stem(header.output_name, header.name_length);
    for (int n = 1; error == EEXIST && n <= MAX_NUMBERED_NAMES; ++n) {
      name = std::string(stem) + "-" + std::to_string(n) + header.extension;
      error = output_.open(name.c_str(), dir_fd_, O_NOFOLLOW | O_EXCL);
    }
  }
  if (error != 0) {
    failures_.push_back({std::move(name), "create", error});
    return false;
  }
  written_.push_back(std::move(name));
  return true;
}

void DirectoryWriter::file_data(const std::uint8_t* bytes, std::size_t count) {
  output_.write(bytes, count);
}

void DirectoryWriter::close_output() {
  if (!output_.is_open()) return;
  if (const int error = output_.close(); error != 0) {
    failures_.push_back({written_.back(), "write", error});
  }
}

}  // namespace r38

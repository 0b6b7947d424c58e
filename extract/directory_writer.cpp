#include "extract/directory_writer.h"

#include <algorithm>
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
  if (no_clobber_ && error == EEXIST) {
    // Numbers go on from the last one given to this name, so that a tape of many same-named
    // files costs one try per file rather than one per earlier file.
    int& next = next_number_[header.output_name];
    const std::string_view stem(header.output_name, header.name_length);
    for (next = std::max(next, 1); error == EEXIST && next <= MAX_NUMBERED_NAMES; ++next) {
      name = std::string(stem) + "-" + std::to_string(next) + header.extension;
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

// Every block of a tape image, good or damaged, with where it lies.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decode/tape_format.h"

namespace r38::audio {

struct BlockSite {
  std::uint64_t offset;      // image offset of the word in which the block's sync mark begins
  std::uint64_t end_offset;  // image offset just past the word in which its checksum ended
  int type;                  // the type byte as read
  bool damaged;              // its checksum failed
};

// Decodes the whole image (magic included) with the given phase.
std::vector<BlockSite> survey_blocks(std::span<const std::uint8_t> image, Phase phase);

}  // namespace r38::audio

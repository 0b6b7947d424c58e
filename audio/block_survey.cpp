#include "audio/block_survey.h"

#include "decode/image_reader.h"
#include "decode/tape_decoder.h"

namespace r38::audio {

std::vector<BlockSite> survey_blocks(std::span<const std::uint8_t> image, Phase phase) {
  std::vector<BlockSite> sites;
  if (image.size() <= IMAGE_DATA_OFFSET) return sites;
  ImageReader reader(image.data() + IMAGE_DATA_OFFSET, image.size() - IMAGE_DATA_OFFSET);
  TapeDecoder decoder(reader, phase);
  BlockBuffer buffer;
  for (;;) {
    int type = 0;
    const int result = decoder.read_block(buffer, type);
    if (result == END_OF_INPUT) break;
    sites.push_back(BlockSite{IMAGE_DATA_OFFSET + decoder.block_offset(),
                              IMAGE_DATA_OFFSET + decoder.offset(), type, result == CHECKSUM_ERROR});
  }
  return sites;
}

}  // namespace r38::audio

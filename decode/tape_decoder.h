// The decoding chain: image words to ticks, ticks to bits, bits to bytes, bytes to blocks.
#pragma once

#include <cstdint>

#include "decode/frame_scanner.h"
#include "decode/image_reader.h"
#include "decode/tape_format.h"

namespace r38 {

// Which bit decoder a TapeDecoder runs. Both give the same results; AUTOMATIC takes the vector
// path where the processor has it, PORTABLE never does (tests and benchmarks use it to check
// and time the word-at-a-time machine on any processor).
enum class DecodePath { AUTOMATIC, PORTABLE };

// One pass over one image. Each layer asks the layer below for its next item and nothing is read
// twice. The only memory between calls is the position within the current image word
// (`pulse_ticks`, `pulse_level`), so decoding continues seamlessly across bit, byte and block
// boundaries and after every error.
//
// Every result depends only on the sequence of words, so bits are decided a word at a time: the
// cost follows the number of words, never their length in ticks. Where the signal is regular,
// whole frames ahead are decoded at once (see frame_scanner.h) and handed out by the next
// read_byte calls. Where such a byte ended (the reader's position, `pulse_ticks`, `pulse_level`)
// is only worked out when somebody looks: offset(), reader(), pulse_ticks(), pulse_level() and
// every other kind of call see exactly the state that decoding tick by tick would have left.
class TapeDecoder {
 public:
  // `reader` must stand on the first image word.
  TapeDecoder(ImageReader& reader, Phase phase, DecodePath path = DecodePath::AUTOMATIC);

  TapeDecoder(const TapeDecoder&) = delete;
  TapeDecoder& operator=(const TapeDecoder&) = delete;

  // The level of the next tick with the phase applied, 0 or 1, or END_OF_INPUT.
  int take_tick();
  // The level sampled SAMPLE_DELAY ticks after the next rising edge, or END_OF_INPUT.
  int read_bit();
  // The next framed byte (start bit 0, eight data bits least significant first, two stop bits
  // 1), FRAMING_ERROR when a stop bit was 0, or END_OF_INPUT.
  int read_byte() {
    if (scan_next_ < scan_.bytes) return take_scanned_byte();
    return read_byte_beyond_scan();
  }
  // Finds the next block and stores its data bytes in `buffer` from position 0 onwards. Returns
  // the number of data bytes, CHECKSUM_ERROR or END_OF_INPUT. `block_type` receives the type byte
  // as soon as it has been read.
  int read_block(BlockBuffer& buffer, int& block_type);

  Phase phase() const { return phase_; }
  // The reader, standing right after the last word the decoder has used.
  ImageReader& reader() {
    drop_scan();
    return reader_;
  }
  // The image offset right after the last word the decoder has used.
  std::uint64_t offset() const {
    settle();
    return reader_.offset();
  }
  // Where the block read last begins: the image offset of the word in which the start bit of
  // its sync mark was sampled.
  std::uint64_t block_offset() const { return block_offset_; }

  std::int32_t pulse_ticks() const {
    settle();
    return pulse_ticks_;
  }
  int pulse_level() const {
    settle();
    return pulse_level_;
  }
  // Whether whole frames are decoded ahead with vector instructions.
  bool scans_frames() const { return scan_function_ != nullptr; }

 private:
  int take_scanned_byte() {
    unsettled_ = true;
    last_byte_scanned_ = true;
    return scan_.values[scan_next_++];
  }
  int read_byte_beyond_scan();
  int read_byte_by_words();
  bool scan_ahead();
  // Brings the reader and the tick-stream state to just after the last byte handed out from the
  // scan; that is only worked out when somebody looks.
  void settle() const {
    if (unsettled_) settle_scanned_byte();
  }
  void settle_scanned_byte() const;
  // No more bytes from the scan; its bits stay until the next scan, for last_byte_offset.
  void end_scan() {
    settle();
    scan_.bytes = 0;
  }
  // The same before the reader is moved some other way.
  void drop_scan() {
    end_scan();
    if (last_byte_scanned_) byte_offset_ = last_byte_offset();
    last_byte_scanned_ = false;
  }
  // The offset of the word holding the last byte's start bit sample.
  std::uint64_t last_byte_offset() const;

  ImageReader& reader_;
  const Phase phase_;
  mutable std::int32_t pulse_ticks_ = 0;  // ticks still to be taken from the current word
  mutable int pulse_level_ = 0;           // stored level of the current word, before the phase
  std::uint64_t block_offset_ = 0;
  std::uint64_t byte_offset_ = 0;  // the last byte read word by word: see last_byte_offset

  ScanFunction scan_function_ = nullptr;
  // Bytes decoded ahead from the reader's buffer; scan_next_ of them have been handed out.
  // `scan_words_` is where the scan began and `scan_skipped_` how far the reader has been moved
  // on from there since.
  FrameScan scan_;
  unsigned scan_next_ = 0;
  const std::uint8_t* scan_words_ = nullptr;
  std::uint64_t scan_offset_ = 0;  // the image offset of scan_words_
  mutable std::uint32_t scan_skipped_ = 0;
  mutable bool unsettled_ = false;
  bool last_byte_scanned_ = false;
  // Bytes still to be decoded word by word before scanning is tried again, after a scan that
  // met an irregular stretch straight away.
  int bytes_before_next_scan_ = 0;
};

}  // namespace r38

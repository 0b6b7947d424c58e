#include "decode/tape_decoder.h"

namespace r38 {

namespace {

// Hands out the reader's words from its buffer, and gives back to the reader what it has taken
// when it goes out of scope. Only at the end of a buffer does a word go through the reader one
// byte at a time, exactly as the tick stream reads it, so the end of the image (an odd final
// byte, a read error) is met the same way.
class WordSource {
 public:
  explicit WordSource(ImageReader& reader) : reader_(reader) { rewind(); }
  WordSource(const WordSource&) = delete;
  WordSource& operator=(const WordSource&) = delete;
  ~WordSource() { give_back(); }

  bool next(unsigned& word) {
    if (end_ - pos_ >= 2) {
      word = unsigned{pos_[0]} << 8 | pos_[1];
      pos_ += 2;
      return true;
    }
    return next_through_reader(word);
  }
  // The image offset just past the last word taken.
  std::uint64_t offset() const {
    return reader_.offset() + static_cast<std::uint64_t>(pos_ - reader_.data());
  }

 private:
  void rewind() {
    pos_ = reader_.data();
    end_ = pos_ + reader_.buffered();
  }
  void give_back() { reader_.skip(static_cast<std::size_t>(pos_ - reader_.data())); }

  bool next_through_reader(unsigned& word) {
    give_back();
    const int high = reader_.read_image_byte();
    // A word cut short by the end of the image is never used.
    const int low = high == END_OF_INPUT ? END_OF_INPUT : reader_.read_image_byte();
    rewind();
    if (low == END_OF_INPUT) return false;
    word = static_cast<unsigned>(high) << 8 | static_cast<unsigned>(low);
    return true;
  }

  ImageReader& reader_;
  const std::uint8_t* pos_ = nullptr;
  const std::uint8_t* end_ = nullptr;
};

// The tick stream's state, kept in locals while a bit or byte is decoded.
struct Pulse {
  std::int32_t ticks;
  int level;
};

// One bit, decided a word at a time. Tick by tick, a bit waits for a low tick, then for the
// first high tick (the edge), then takes SAMPLE_DELAY more ticks and returns the level of the
// last. Since a word is read only once the one before is used up, the edge is always the first
// tick of a high word of nonzero count, and the sampled tick lies in the first word at which the
// counts summed from the edge's word reach SAMPLE_COUNT. Words of count 0 hold no tick but
// still become the current word, as they do tick by tick. At the end of the image every tick
// has been taken, so no ticks are left.
inline int word_bit(WordSource& words, Pulse& pulse, unsigned flip) {
  unsigned w;
  // Wait for a low tick: one left in the current word will do.
  if (!(pulse.ticks > 0 && (static_cast<unsigned>(pulse.level) ^ flip) == 0)) {
    do {
      if (!words.next(w)) return pulse.ticks = 0, END_OF_INPUT;
      pulse.level = static_cast<int>(w >> 15);
    } while ((w & COUNT_MASK) == 0 || ((w >> 15) ^ flip) != 0);
  }
  // Wait for the rising edge; the rest of the current low word passes by.
  do {
    if (!words.next(w)) return pulse.ticks = 0, END_OF_INPUT;
    pulse.level = static_cast<int>(w >> 15);
  } while ((w & COUNT_MASK) == 0 || ((w >> 15) ^ flip) != 1);
  // Sample.
  unsigned counts = w & COUNT_MASK;
  while (counts < SAMPLE_COUNT) {
    if (!words.next(w)) return pulse.ticks = 0, END_OF_INPUT;
    counts += w & COUNT_MASK;
    pulse.level = static_cast<int>(w >> 15);
  }
  pulse.ticks = static_cast<std::int32_t>(TICKS_PER_COUNT * counts) - (SAMPLE_DELAY + 1);
  return static_cast<int>(static_cast<unsigned>(pulse.level) ^ flip);
}

}  // namespace

TapeDecoder::TapeDecoder(ImageReader& reader, Phase phase, DecodePath path)
    : reader_(reader), phase_(phase) {
  if (path == DecodePath::AUTOMATIC) scan_function_ = vector_frame_scanner();
}

int TapeDecoder::take_tick() {
  drop_scan();
  while (pulse_ticks_ <= 0) {
    const int high = reader_.read_image_byte();
    if (high == END_OF_INPUT) return END_OF_INPUT;
    // A word cut short by the end of the image is never used.
    const int low = reader_.read_image_byte();
    if (low == END_OF_INPUT) return END_OF_INPUT;
    const unsigned word = static_cast<unsigned>(high) << 8 | static_cast<unsigned>(low);
    pulse_ticks_ += TICKS_PER_COUNT * static_cast<std::int32_t>(word & COUNT_MASK);
    pulse_level_ = (word & LEVEL_BIT) ? 1 : 0;
  }
  --pulse_ticks_;
  return phase_ == PHASE_NORMAL ? pulse_level_ : 1 - pulse_level_;
}

int TapeDecoder::read_bit() {
  drop_scan();
  Pulse pulse{pulse_ticks_, pulse_level_};
  int bit;
  {
    WordSource words(reader_);
    bit = word_bit(words, pulse, phase_ == PHASE_NORMAL ? 0 : 1);
  }
  pulse_ticks_ = pulse.ticks;
  pulse_level_ = pulse.level;
  return bit;
}

int TapeDecoder::read_byte_beyond_scan() {
  if (scan_function_ != nullptr) {
    end_scan();
    if (bytes_before_next_scan_ > 0) {
      --bytes_before_next_scan_;
    } else {
      while (scan_ahead()) {
        if (scan_.bytes > 0) return take_scanned_byte();
      }
      // The signal is irregular here: a few bytes go word by word before the next try.
      bytes_before_next_scan_ = 8;
    }
  }
  last_byte_scanned_ = false;
  return read_byte_by_words();
}

// Scans what the reader holds in its buffer from where it stands. It never makes the reader read
// more, so the image is read exactly as it is tick by tick: the word-by-word machine crosses
// each buffer end. Returns whether the scan got anywhere: bytes decoded ahead, or idle bits
// passed over (those are taken at once, since they belong to the search for the start bit of
// the read_byte under way).
bool TapeDecoder::scan_ahead() {
  scan_words_ = reader_.data();
  scan_offset_ = reader_.offset();
  scan_skipped_ = 0;
  scan_next_ = 0;
  scan_function_(scan_words_, reader_.buffered(), pulse_ticks_, pulse_level_, phase_, scan_);
  if (scan_.bytes > 0) return true;
  if (scan_.idle_through < 0) return false;
  const SamplePoint last =
      sample_point(scan_, scan_words_, static_cast<unsigned>(scan_.idle_through));
  reader_.skip(last.word + 2);
  pulse_ticks_ = last.pulse_ticks;
  pulse_level_ = static_cast<int>(1 ^ scan_.phase_flip);
  return true;
}

void TapeDecoder::settle_scanned_byte() const {
  const unsigned last_bit = scan_.start_bits[scan_next_ - 1] + 10u;
  const SamplePoint last = sample_point(scan_, scan_words_, last_bit);
  reader_.skip(last.word + 2 - scan_skipped_);
  scan_skipped_ = last.word + 2;
  pulse_ticks_ = last.pulse_ticks;
  pulse_level_ = static_cast<int>(static_cast<unsigned>(scan_.bit(last_bit)) ^ scan_.phase_flip);
  unsettled_ = false;
}

std::uint64_t TapeDecoder::last_byte_offset() const {
  if (!last_byte_scanned_) return byte_offset_;
  return scan_offset_ + sample_point(scan_, scan_words_, scan_.start_bits[scan_next_ - 1]).word;
}

int TapeDecoder::read_byte_by_words() {
  const unsigned flip = phase_ == PHASE_NORMAL ? 0 : 1;
  Pulse pulse{pulse_ticks_, pulse_level_};
  int result = END_OF_INPUT;
  {
    WordSource words(reader_);
    int bit;
    do {  // idle 1 bits before the start bit are skipped
      bit = word_bit(words, pulse, flip);
    } while (bit == 1);
    if (bit == 0) {
      // A bit returns with its sampled word the last one taken.
      byte_offset_ = words.offset() - 2;
      int value = 0;
      int i = 0;
      for (; i < 8; ++i) {
        bit = word_bit(words, pulse, flip);
        if (bit == END_OF_INPUT) break;
        value = (value >> 1) | (bit << 7);
      }
      if (i == 8) {
        const int stop1 = word_bit(words, pulse, flip);
        const int stop2 = stop1 == END_OF_INPUT ? END_OF_INPUT : word_bit(words, pulse, flip);
        if (stop2 != END_OF_INPUT) result = (stop1 == 1 && stop2 == 1) ? value : FRAMING_ERROR;
      }
    }
  }
  pulse_ticks_ = pulse.ticks;
  pulse_level_ = pulse.level;
  return result;
}

int TapeDecoder::read_block(BlockBuffer& buffer, int& block_type) {
  // Both bytes of the sync mark must be read within this call: a 0x01 that ended the previous
  // block does not pair with a 0x3C read first here.
  int previous = 0;
  for (;;) {
    const int byte = read_byte();
    if (byte == END_OF_INPUT) return END_OF_INPUT;
    if (previous == SYNC_MARK_FIRST && byte == SYNC_MARK_SECOND) break;
    if (byte == SYNC_MARK_FIRST) block_offset_ = last_byte_offset();
    previous = byte;
  }
  const int type = read_byte();
  block_type = type;
  if (type == END_OF_INPUT) return END_OF_INPUT;
  const int length = read_byte();
  if (length == END_OF_INPUT) return END_OF_INPUT;
  // A damaged byte counts in the sum as -2, which agrees with 0xFE in its low 8 bits. A damaged
  // length reads no data at all.
  int sum = type + length;
  int count = 0;
  while (count < length) {
    const int byte = read_byte();
    if (byte == END_OF_INPUT) return END_OF_INPUT;
    buffer[static_cast<std::size_t>(count)] = static_cast<std::uint8_t>(byte & 0xFF);
    sum += byte;
    ++count;
  }
  const int checksum = read_byte();
  if (checksum == END_OF_INPUT) return END_OF_INPUT;
  return checksum == (sum & 0xFF) ? count : CHECKSUM_ERROR;
}

}  // namespace r38

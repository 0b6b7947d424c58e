// Recognises the files on a tape from its sequence of blocks and reports them as events.
//
// The recognition (the states, the values that carry over from one file to the next, what
// happens when a block is lost) lives here alone. What becomes of a file is up to the
// ExtractorEvents handed in: the console report and the output files of the converter, or a
// catalogue of the tape.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/tape_decoder.h"
#include "decode/tape_format.h"

namespace r38 {

enum ExtractorState { SEARCHING, IN_FILE };

// The fields of an accepted header block.
struct FileHeader {
  std::uint8_t file_name[8];   // exactly as stored
  int file_type;               // FILE_BASIC, FILE_BASIC_DATA, FILE_MACHINE or another value
  std::uint8_t ascii_mark[2];  // meaningful for FILE_BASIC only
  bool known_type;             // one of the three types above
  bool ascii;                  // FILE_BASIC stored as ASCII text (both mark bytes 0xFF)
  const char* extension;       // ".BAS", ".IBA", ".TXT", ".BIN", or "" for an unknown type
  char output_name[13];        // name up to its first zero byte, "/" made "_", then extension
  std::size_t name_length;     // length of the name part of output_name
  std::uint64_t offset;        // image offset at which the header block begins
};

// What is known of a file when it ends, or when the image ends inside it.
struct FileSummary {
  long bytes_written;  // bytes handed to file_data
  int file_type;
  int data_blocks;      // data blocks that reached the file
  int checksum_errors;  // blocks lost to checksum errors while the file was open
  // Machine-language programs: from the latest preamble and trailer read in this run. They
  // carry over from earlier files when this one brought none of its own.
  unsigned program_length;
  unsigned load_address;
  unsigned exec_address;
  bool has_preamble;  // this file's own preamble was read
  bool has_trailer;   // this file's own trailer was read
};

class ExtractorEvents {
 public:
  virtual ~ExtractorEvents() = default;
  // A block failed its checksum and is dropped; `in_file` tells whether a file is open.
  virtual void checksum_error(bool in_file, std::uint64_t offset) = 0;
  // A header block opens a file. Returning false refuses it (its output could not be made, say):
  // the search for a header goes on, and the file's data and end blocks are dropped.
  virtual bool file_started(const FileHeader& header) = 0;
  // Bytes of the open file, in order: the data blocks' bytes, or a program's bytes alone.
  virtual void file_data(const std::uint8_t* bytes, std::size_t count) = 0;
  // The end block of the open file came.
  virtual void file_ended(const FileSummary& summary) = 0;
  // A good block that the current state has no use for is dropped.
  virtual void block_dropped(ExtractorState, int /*block_type*/, int /*length*/,
                             std::uint64_t /*offset*/) {}
  // The image ended; `open_file` is set when it ended inside a file.
  virtual void input_ended(const FileSummary* /*open_file*/) {}
};

// Hands every event to two sinks in turn. A file refused by the first is not shown to the
// second; the second must accept every file the first accepts.
class EventTee : public ExtractorEvents {
 public:
  EventTee(ExtractorEvents& first, ExtractorEvents& second) : first_(first), second_(second) {}
  void checksum_error(bool in_file, std::uint64_t offset) override {
    first_.checksum_error(in_file, offset);
    second_.checksum_error(in_file, offset);
  }
  bool file_started(const FileHeader& header) override {
    return first_.file_started(header) && second_.file_started(header);
  }
  void file_data(const std::uint8_t* bytes, std::size_t count) override {
    first_.file_data(bytes, count);
    second_.file_data(bytes, count);
  }
  void file_ended(const FileSummary& summary) override {
    first_.file_ended(summary);
    second_.file_ended(summary);
  }
  void block_dropped(ExtractorState state, int block_type, int length,
                     std::uint64_t offset) override {
    first_.block_dropped(state, block_type, length, offset);
    second_.block_dropped(state, block_type, length, offset);
  }
  void input_ended(const FileSummary* open_file) override {
    first_.input_ended(open_file);
    second_.input_ended(open_file);
  }

 private:
  ExtractorEvents& first_;
  ExtractorEvents& second_;
};

// Reads blocks until the end of the image and reports every file found. `buffer` is the run's
// block buffer: fields of short blocks are read at their fixed positions in it, so what it held
// before (the magic line, earlier blocks) shows through there.
void extract_files(TapeDecoder& decoder, BlockBuffer& buffer, ExtractorEvents& events);

}  // namespace r38

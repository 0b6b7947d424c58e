#include "extract/extractor.h"

#include <algorithm>
#include <cstring>

namespace r38 {
namespace {

void read_header(const BlockBuffer& buffer, std::uint64_t offset, FileHeader& header) {
  std::memcpy(header.file_name, buffer.bytes, 8);
  header.file_type = buffer[8];
  header.ascii_mark[0] = buffer[9];
  header.ascii_mark[1] = buffer[10];
  header.offset = offset;
  header.known_type = true;
  header.ascii = false;
  switch (header.file_type) {
    case FILE_BASIC:
      header.ascii = buffer[9] == 0xFF && buffer[10] == 0xFF;
      header.extension = header.ascii ? ".BAS" : ".IBA";
      break;
    case FILE_BASIC_DATA:
      header.extension = ".TXT";
      break;
    case FILE_MACHINE:
      header.extension = ".BIN";
      break;
    default:
      header.known_type = false;
      header.extension = "";
      break;
  }
  // A zero byte ends the name. A "/" would make the name a path leading out of the output
  // directory, so it becomes "_"; every other byte is kept as it stands.
  std::size_t length = 0;
  while (length < 8 && header.file_name[length] != 0) {
    const std::uint8_t c = header.file_name[length];
    header.output_name[length] = c == '/' ? '_' : static_cast<char>(c);
    ++length;
  }
  header.name_length = length;
  std::strcpy(header.output_name + length, header.extension);
}

}  // namespace

void extract_files(TapeDecoder& decoder, BlockBuffer& buffer, ExtractorEvents& events) {
  ExtractorState state = SEARCHING;
  FileHeader header{};
  FileSummary file{};
  // These carry over from one machine-language file to the next until a new preamble or
  // trailer replaces them.
  unsigned program_length = 0;
  unsigned load_address = 0;
  unsigned exec_address = 0;
  long remaining = 0;

  auto summary = [&] {
    file.program_length = program_length;
    file.load_address = load_address;
    file.exec_address = exec_address;
    return file;
  };

  for (;;) {
    int block_type = 0;
    const int result = decoder.read_block(buffer, block_type);
    if (result == END_OF_INPUT) {
      if (state == IN_FILE) {
        const FileSummary open_file = summary();
        events.input_ended(&open_file);
      } else {
        events.input_ended(nullptr);
      }
      return;
    }
    if (result == CHECKSUM_ERROR) {
      if (state == IN_FILE) ++file.checksum_errors;
      events.checksum_error(state == IN_FILE, decoder.block_offset());
      continue;
    }
    const int length = result;

    if (state == SEARCHING) {
      if (block_type != BLOCK_HEADER) {
        events.block_dropped(state, block_type, length, decoder.block_offset());
        continue;
      }
      read_header(buffer, decoder.block_offset(), header);
      if (!events.file_started(header)) continue;
      file = FileSummary{};
      file.file_type = header.file_type;
      state = IN_FILE;
      continue;
    }

    // IN_FILE
    if (block_type == BLOCK_END) {
      events.file_ended(summary());
      state = SEARCHING;
      continue;
    }
    if (block_type != BLOCK_DATA) {
      // A header here means the open file's end block was lost: the next file's data blocks
      // will join the open file.
      events.block_dropped(state, block_type, length, decoder.block_offset());
      continue;
    }

    switch (file.file_type) {
      case FILE_BASIC:
      case FILE_BASIC_DATA:
        ++file.data_blocks;
        file.bytes_written += length;
        events.file_data(buffer.bytes, static_cast<std::size_t>(length));
        break;
      case FILE_MACHINE: {
        int start = 0;
        if (file.data_blocks == 0) {
          // The preamble: byte 0 is not examined, then the length and the load address, both
          // big-endian. A block shorter than five bytes still yields them from the positions
          // it did not reach.
          program_length = buffer[1] * 256u + buffer[2];
          load_address = buffer[3] * 256u + buffer[4];
          remaining = program_length;
          file.has_preamble = true;
          start = 5;
        }
        ++file.data_blocks;
        int i = start;
        if (i < length && remaining > 0) {
          const int count = static_cast<int>(std::min<long>(remaining, length - i));
          events.file_data(buffer.bytes + i, static_cast<std::size_t>(count));
          file.bytes_written += count;
          remaining -= count;
          i += count;
        }
        if (i < length) {
          // The trailer begins right after the last program byte; its bytes 3 and 4 hold the
          // execution address. Every later data block of the file is read as a trailer too.
          exec_address = buffer[static_cast<std::size_t>(i) + 3] * 256u +
                         buffer[static_cast<std::size_t>(i) + 4];
          file.has_trailer = true;
        }
        break;
      }
      default:
        // The data of a file of unknown type is dropped.
        ++file.data_blocks;
        break;
    }
  }
}

}  // namespace r38

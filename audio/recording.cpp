#include "audio/recording.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace r38::audio {
namespace {

constexpr sf_count_t READ_FRAMES = 4096;

// Bytes in memory seen as a read-only file.
struct MemoryFile {
  std::span<const std::uint8_t> bytes;
  sf_count_t pos = 0;
};

sf_count_t memory_length(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t memory_seek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t size = static_cast<sf_count_t>(m->bytes.size());
  sf_count_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? size : 0;
  // A seek outside the file stays at its nearest end instead of wrapping around.
  if (offset > 0 && base > size - offset) {
    m->pos = size;
  } else {
    m->pos = std::max<sf_count_t>(0, base + offset);
  }
  return m->pos;
}

sf_count_t memory_read(void* to, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t size = static_cast<sf_count_t>(m->bytes.size());
  if (count <= 0 || m->pos >= size) return 0;
  const sf_count_t n = std::min(count, size - m->pos);
  std::memcpy(to, m->bytes.data() + m->pos, static_cast<std::size_t>(n));
  m->pos += n;
  return n;
}

sf_count_t memory_write(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t memory_tell(void* user) {
  return static_cast<MemoryFile*>(user)->pos;
}

struct CloseFile {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using FileHandle = std::unique_ptr<SNDFILE, CloseFile>;

std::string describe(const SF_INFO& info) {
  SF_FORMAT_INFO major{};
  major.format = info.format & SF_FORMAT_TYPEMASK;
  SF_FORMAT_INFO minor{};
  minor.format = info.format & SF_FORMAT_SUBMASK;
  std::string text = "audio";
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof(major)) == 0 && major.name)
    text = major.name;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof(minor)) == 0 && minor.name)
    text += std::string(", ") + minor.name;
  return text;
}

std::string read_all(SNDFILE* file, const SF_INFO& info, int channel, Recording& out,
                     const ProgressFn& progress, std::size_t max_samples) {
  if (info.channels < 1) return "the recording has no channels";
  if (channel < 0 || channel >= info.channels) {
    return "the recording has " + std::to_string(info.channels) +
           (info.channels == 1 ? " channel" : " channels") + ", not " + std::to_string(channel + 1);
  }
  if (!(info.samplerate > 0)) return "the recording gives no sample rate";
  out.sample_rate = info.samplerate;
  out.channels = info.channels;
  out.format = describe(info);
  out.samples.clear();
  // The frame count in the header is only a hint: a damaged file may claim any number, so
  // no more than a few minutes are set aside for it in advance.
  const bool known_length = info.frames > 0 && info.frames < (sf_count_t{1} << 40);
  if (known_length) {
    out.samples.reserve(static_cast<std::size_t>(std::min<sf_count_t>(info.frames, 1 << 24)));
  }

  std::vector<float> chunk(static_cast<std::size_t>(READ_FRAMES * info.channels));
  sf_count_t done = 0;
  for (;;) {
    const sf_count_t n = sf_readf_float(file, chunk.data(), READ_FRAMES);
    if (n <= 0) break;
    if (out.samples.size() + static_cast<std::size_t>(n) > max_samples) {
      out.samples.clear();
      out.samples.shrink_to_fit();
      return "the recording is longer than " + std::to_string(max_samples) + " samples";
    }
    for (sf_count_t i = 0; i < n; ++i) {
      const float v = chunk[static_cast<std::size_t>(i * info.channels + channel)];
      // Float formats may hold anything; keep the arithmetic downstream finite and bounded.
      out.samples.push_back(std::isfinite(v) ? std::clamp(v, -64.0f, 64.0f) : 0.0f);
    }
    done += n;
    if (progress && known_length) progress(static_cast<double>(done) / info.frames);
  }
  if (out.samples.empty()) return "the recording holds no samples";
  return {};
}

}  // namespace

std::string read_recording(const std::string& path, int channel, Recording& out,
                           const ProgressFn& progress, std::size_t max_samples) {
  SF_INFO info{};
  FileHandle file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) return std::string(UNREADABLE_RECORDING) + " (" + sf_strerror(nullptr) + ")";
  return read_all(file.get(), info, channel, out, progress, max_samples);
}

std::string read_recording(std::span<const std::uint8_t> bytes, int channel, Recording& out,
                           std::size_t max_samples) {
  SF_VIRTUAL_IO io{memory_length, memory_seek, memory_read, memory_write, memory_tell};
  MemoryFile memory{bytes, 0};
  SF_INFO info{};
  FileHandle file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file) return std::string(UNREADABLE_RECORDING) + " (" + sf_strerror(nullptr) + ")";
  return read_all(file.get(), info, channel, out, {}, max_samples);
}

RecordingWriter::~RecordingWriter() {
  close();
}

std::string RecordingWriter::open(const std::string& path, double sample_rate, SampleType type,
                                  int channels) {
  close();
  const auto ends_with = [&](const char* ext) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(ext);
  };
  int major = SF_FORMAT_WAV;
  if (ends_with(".flac")) major = SF_FORMAT_FLAC;
  if (ends_with(".aif") || ends_with(".aiff")) major = SF_FORMAT_AIFF;
  if (ends_with(".au")) major = SF_FORMAT_AU;
  if (ends_with(".caf")) major = SF_FORMAT_CAF;
  int minor = SF_FORMAT_PCM_16;
  switch (type) {
    case SampleType::PCM_8:
      // WAV keeps 8-bit samples unsigned, the other containers signed.
      minor = major == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
      break;
    case SampleType::PCM_16:
      minor = SF_FORMAT_PCM_16;
      break;
    case SampleType::PCM_24:
      minor = SF_FORMAT_PCM_24;
      break;
    case SampleType::PCM_32:
      minor = SF_FORMAT_PCM_32;
      break;
    case SampleType::FLOAT:
      minor = SF_FORMAT_FLOAT;
      break;
  }
  SF_INFO info{};
  info.samplerate = static_cast<int>(std::lround(sample_rate));
  info.channels = channels;
  info.format = major | minor;
  if (!sf_format_check(&info)) return "this container cannot hold that sample type";
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return sf_strerror(nullptr);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  file_ = file;
  channels_ = channels;
  return {};
}

std::string RecordingWriter::write(std::span<const float> samples) {
  auto* file = static_cast<SNDFILE*>(file_);
  if (!file) return "no recording is open";
  const auto frames = static_cast<sf_count_t>(samples.size() / channels_);
  if (sf_writef_float(file, samples.data(), frames) != frames) return sf_strerror(file);
  return {};
}

std::string RecordingWriter::close() {
  auto* file = static_cast<SNDFILE*>(file_);
  file_ = nullptr;
  if (!file) return {};
  sf_write_sync(file);
  const int error = sf_close(file);
  return error == 0 ? std::string() : sf_error_number(error);
}

}  // namespace r38::audio

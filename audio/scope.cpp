#include "audio/scope.h"

#include <algorithm>

#include "audio/block_survey.h"
#include "audio/exporter.h"
#include "audio/speed.h"
#include "encode/tape_encoder.h"

namespace r38::audio {
namespace {

constexpr double SPEED_POINTS_PER_SECOND = 4;

// Histograms, clusters and the start of every word in counts. Returns the word starts.
std::vector<double> read_words(std::span<const std::uint8_t> image, ScopeReport& report) {
  report.high.assign(SCOPE_BINS, 0);
  report.low.assign(SCOPE_BINS, 0);
  std::vector<double> starts;
  std::vector<double> lengths;
  double at = 0;
  for (std::size_t i = IMAGE_DATA_OFFSET; i + 1 < image.size(); i += 2) {
    const unsigned word = static_cast<unsigned>(image[i]) << 8 | image[i + 1];
    const unsigned count = word & COUNT_MASK;
    starts.push_back(at);
    lengths.push_back(count);
    at += count;
    auto& bins = (word & LEVEL_BIT) ? report.high : report.low;
    bins[std::min<std::size_t>(count, SCOPE_BINS - 1)] += 1;
  }
  starts.push_back(at);
  report.short_half_cycle = find_short_half_cycle(lengths);
  report.long_half_cycle = 2 * report.short_half_cycle;
  // The speed along an image: its short half-cycle against the standard 14 counts.
  if (report.short_half_cycle > 0) {
    const std::vector<float> local = track_short_half_cycle(lengths, report.short_half_cycle);
    const double seconds_per_count =
        static_cast<double>(TICKS_PER_COUNT) / (TICKS_PER_BIT_CELL * NOMINAL_BAUD);
    double next = 0;
    for (std::size_t w = 0; w < local.size(); ++w) {
      const double seconds = starts[w] * seconds_per_count;
      if (seconds < next) continue;
      report.speed.push_back({seconds, NOMINAL_BAUD * SHORT_HALF_CYCLE / local[w]});
      next = seconds + 1 / SPEED_POINTS_PER_SECOND;
    }
  }
  return starts;
}

}  // namespace

ScopeReport scope_image(std::span<const std::uint8_t> image, Phase phase, bool automatic) {
  ScopeReport report;
  const std::vector<double> starts = read_words(image, report);
  const double seconds_per_count =
      static_cast<double>(TICKS_PER_COUNT) / (TICKS_PER_BIT_CELL * NOMINAL_BAUD);
  report.seconds = starts.back() * seconds_per_count;
  std::vector<BlockSite> sites = survey_blocks(image, phase);
  if (automatic) {
    // An image stored the other way up shows nothing useful read as it stands.
    const auto good = [](const std::vector<BlockSite>& all) {
      return std::count_if(all.begin(), all.end(), [](const BlockSite& b) { return !b.damaged; });
    };
    std::vector<BlockSite> reverse = survey_blocks(image, PHASE_REVERSE);
    if (good(reverse) > good(sites)) {
      sites = std::move(reverse);
      phase = PHASE_REVERSE;
    }
  }
  report.phase = phase;
  for (const BlockSite& site : sites) {
    if (!site.damaged) {
      ++report.good_blocks;
      continue;
    }
    const std::size_t w = std::min(word_index(site.offset), starts.size() - 1);
    const std::size_t end = std::min(word_index(site.end_offset), starts.size() - 1);
    report.damaged.push_back({starts[w] * seconds_per_count, starts[end] * seconds_per_count, -1,
                              -1, site.offset, site.type});
  }
  return report;
}

ScopeReport scope_recording(const ImportResult& imported, std::size_t samples) {
  ScopeReport report;
  read_words(imported.image, report);
  const double rate = imported.sample_rate;
  report.seconds = static_cast<double>(samples) / rate;
  report.speed.clear();
  for (const SpeedPoint& p : imported.speed)
    report.speed.push_back({p.sample / rate, rate / (4 * p.short_half_cycle)});
  for (const BlockSite& site : survey_blocks(imported.image, PHASE_NORMAL)) {
    if (!site.damaged) {
      ++report.good_blocks;
      continue;
    }
    const std::size_t last = imported.word_sample.size() - 1;
    const double sample = imported.word_sample[std::min(word_index(site.offset), last)];
    const double end = std::min(imported.word_sample[std::min(word_index(site.end_offset), last)],
                                static_cast<double>(samples));
    report.damaged.push_back({sample / rate, end / rate, static_cast<std::int64_t>(sample),
                              static_cast<std::int64_t>(end), site.offset, site.type});
  }
  return report;
}

}  // namespace r38::audio

#include "audio/speed.h"

#include <algorithm>
#include <cmath>

namespace r38::audio {
namespace {

// Lengths are binned on a logarithmic scale, 1 % per bin, from MIN_LENGTH upwards.
constexpr double MIN_LENGTH = 0.25;
constexpr double BIN_RATIO = 1.01;
constexpr int BINS = 2000;  // up to about 100,000 times MIN_LENGTH
// A run counts for a cluster within 25 % of its centre.
constexpr double TOLERANCE = 1.25;
// Along the tape, the speed follows changes up to 20 % either way of its overall estimate.
constexpr double TRACKING_RANGE = 1.2;

int bin_of(double length) {
  if (!(length >= MIN_LENGTH)) return -1;
  const int bin = static_cast<int>(std::log(length / MIN_LENGTH) / std::log(BIN_RATIO));
  return bin < BINS ? bin : -1;
}

double bin_centre(int bin) {
  return MIN_LENGTH * std::pow(BIN_RATIO, bin + 0.5);
}

}  // namespace

double find_short_half_cycle(std::span<const double> lengths) {
  std::vector<double> counts(BINS, 0);
  for (double length : lengths) {
    const int bin = bin_of(length);
    if (bin >= 0) counts[static_cast<std::size_t>(bin)] += 1;
  }
  std::vector<double> cumulative(BINS + 1, 0);
  for (int i = 0; i < BINS; ++i) cumulative[i + 1] = cumulative[i] + counts[i];
  // Runs within TOLERANCE of `centre`, by whole bins.
  const auto sum_near = [&](double centre) {
    const double scale = std::log(BIN_RATIO);
    const double lo = std::floor(std::log(centre / TOLERANCE / MIN_LENGTH) / scale);
    const double hi = std::floor(std::log(centre * TOLERANCE / MIN_LENGTH) / scale);
    if (hi < 0 || lo >= BINS) return 0.0;
    const auto from = static_cast<std::size_t>(std::max(0.0, lo));
    const auto to = static_cast<std::size_t>(std::min<double>(BINS - 1, hi));
    return cumulative[to + 1] - cumulative[from];
  };
  // A tape always holds more 1 bits than nothing but 0 bits (stop bits, lead-ins), so a short
  // cluster is weighted a little higher: a signal of short cycles alone is read as such, not as
  // long cycles at double speed.
  double best_score = 0;
  double best = 0;
  for (int bin = 0; bin < BINS; ++bin) {
    const double u = bin_centre(bin);
    const double score = 1.01 * sum_near(u) + sum_near(2 * u);
    if (score > best_score) {
      best_score = score;
      best = u;
    }
  }
  if (best == 0) return 0;
  // The mean of the runs near either cluster, once within TOLERANCE of the best bin and again
  // within half of it, so that runs scattered about (noise in a pause) pull it less.
  const auto refine = [&](double u, double tolerance) {
    double total = 0;
    double weight = 0;
    for (double length : lengths) {
      if (length >= u / tolerance && length <= u * tolerance) {
        total += length;
        weight += 1;
      } else if (length >= 2 * u / tolerance && length <= 2 * u * tolerance) {
        total += length;
        weight += 2;
      }
    }
    return weight > 0 ? total / weight : u;
  };
  return refine(refine(best, TOLERANCE), 1 + (TOLERANCE - 1) / 2);
}

std::vector<float> track_short_half_cycle(std::span<const double> lengths, double initial,
                                          double smoothing) {
  const double alpha = 1.0 / std::max(1.0, smoothing);
  const std::size_t n = lengths.size();
  const auto observe = [](double length, double u) {
    if (length < 1.5 * u) return length;
    if (length < OUTLIER_FACTOR * u) return length / 2;
    return 0.0;
  };
  // Noise in a pause slices into runs of every length. Were they followed, the estimate could
  // drift to half the true one and then read every short half-cycle as a long one, so only runs
  // near a cluster count, and the estimate stays within TRACKING_RANGE of the whole tape's.
  const double lowest = initial / TRACKING_RANGE;
  const double highest = initial * TRACKING_RANGE;
  const auto step = [&](double& u, std::size_t i) {
    const double seen = observe(lengths[i], u);
    if (std::abs(seen - u) < (TOLERANCE - 1) * u) {
      u = std::clamp(u + alpha * (seen - u), lowest, highest);
    }
  };
  // A first pass only finds the estimate at the end of the tape, from which the backward pass
  // starts settled; the forward pass then starts from where the backward one ended.
  double u = initial;
  for (std::size_t i = 0; i < n; ++i) step(u, i);
  std::vector<float> backward(n);
  for (std::size_t i = n; i-- > 0;) {
    step(u, i);
    backward[i] = static_cast<float>(u);
  }
  std::vector<float> forward(n);
  for (std::size_t i = 0; i < n; ++i) {
    step(u, i);
    forward[i] = static_cast<float>((u + backward[i]) / 2);
  }
  return forward;
}

std::vector<std::size_t> histogram(std::span<const double> lengths, std::size_t bins) {
  std::vector<std::size_t> counts(bins, 0);
  if (bins == 0) return counts;
  for (double length : lengths) {
    const double at = std::max(0.0, std::floor(length));
    counts[at >= static_cast<double>(bins - 1) ? bins - 1 : static_cast<std::size_t>(at)] += 1;
  }
  return counts;
}

}  // namespace r38::audio

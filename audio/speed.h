// The time scale of a tape signal, found from the signal itself: the lengths of its
// half-cycles fall into a short cluster (the halves of a 1 bit's cycles) and a long one, twice
// as long (the halves of a 0 bit's cycle).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace r38::audio {

// Runs more than this many times the short half-cycle belong to neither cluster: silence,
// dropouts, the gaps between files.
inline constexpr double OUTLIER_FACTOR = 3.0;

// The short half-cycle length, in the unit of `lengths`, that best explains them: the value u
// for which the most lengths lie near u or near 2u, refined as their mean. 0 when no length
// is positive.
double find_short_half_cycle(std::span<const double> lengths);

// The short half-cycle length in force at each run, following slow changes of speed along the
// tape (worn belts, a stretched tape) of up to 20 % either way of `initial`, the whole tape's.
// Each run is classed short or long against the local estimate, and only runs within 25 % of
// their cluster move it; the estimate is smoothed forwards and backwards, so it does not lag
// behind. `smoothing` is the number of runs over which a change is followed.
std::vector<float> track_short_half_cycle(std::span<const double> lengths, double initial,
                                          double smoothing = 128);

// A histogram of lengths in bins of one unit; the last bin gathers everything beyond.
std::vector<std::size_t> histogram(std::span<const double> lengths, std::size_t bins);

}  // namespace r38::audio

#include "cli/r38_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace r38::cli {
namespace {

constexpr auto DELAY = std::chrono::seconds(1);
constexpr auto REDRAW = std::chrono::milliseconds(100);
constexpr int BAR_WIDTH = 40;

}  // namespace

Progress::Progress(std::string label, bool quiet)
    : label_(std::move(label)), active_(!quiet && isatty(STDERR_FILENO)), start_(Clock::now()) {}

void Progress::update(double share) {
  if (!active_) return;
  const auto now = Clock::now();
  if (now - start_ < DELAY || (drawn_ && now - last_draw_ < REDRAW)) return;
  last_draw_ = now;
  drawn_ = true;
  share = std::clamp(share, 0.0, 1.0);
  const int filled = static_cast<int>(share * BAR_WIDTH);
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
               "########################################", BAR_WIDTH - filled, "",
               static_cast<int>(share * 100));
  std::fflush(stderr);
}

void Progress::finish() {
  if (!drawn_) return;
  drawn_ = false;
  // Blank the line so that what follows starts clean.
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + BAR_WIDTH + 8, "");
  std::fflush(stderr);
}

}  // namespace r38::cli

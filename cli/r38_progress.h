// A progress bar on standard error for the subcommands that can take a while. It appears only
// when standard error is a terminal, only once a run has lasted about a second, and never
// with --quiet.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace r38::cli {

class Progress {
 public:
  Progress(std::string label, bool quiet);
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `share` of the work is done, 0..1.
  void update(double share);
  // Clears the bar, if one was drawn.
  void finish();
  std::function<void(double)> callback() {
    return [this](double share) { update(share); };
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::string label_;
  bool active_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace r38::cli

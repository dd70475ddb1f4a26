// A progress bar drawn in place on a terminal: "[####    ] done/total",
// redrawn on one line and ended with a line break once anything was drawn.
// Small jobs (fewer than kProgressBarFrom items) finish in a blink and draw
// nothing; a disabled bar (output that is no terminal) never draws.
#pragma once

#include <cstddef>
#include <ostream>

namespace hollowmere {

inline constexpr std::size_t kProgressBarFrom = 2000;

class TConsoleProgressBar {
 public:
  TConsoleProgressBar(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
  ~TConsoleProgressBar() { Finish(); }
  TConsoleProgressBar(const TConsoleProgressBar&) = delete;
  TConsoleProgressBar& operator=(const TConsoleProgressBar&) = delete;

  void Update(std::size_t done, std::size_t total);
  // Ends the bar's line, when one was drawn.
  void Finish();

 private:
  std::ostream& out_;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace hollowmere

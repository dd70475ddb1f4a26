// The bar's drawing.
#include "app/ConsoleProgressBar.h"

#include <algorithm>
#include <string>

namespace hollowmere {

void TConsoleProgressBar::Update(std::size_t done, std::size_t total) {
  if (!enabled_ || total < kProgressBarFrom) return;
  constexpr std::size_t kWidth = 40;
  const std::size_t filled = std::min(done, total) * kWidth / total;
  out_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done << '/'
       << total << std::flush;
  drawn_ = true;
}

void TConsoleProgressBar::Finish() {
  if (drawn_) out_ << '\n' << std::flush;
  drawn_ = false;
}

}  // namespace hollowmere

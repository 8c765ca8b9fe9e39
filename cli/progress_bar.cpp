#include "cli/progress_bar.h"

#include <cstdio>
#include <string>

namespace glimpses {

void ProgressBar::Show(long long done, long long total) {
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  if (percent == lastPercent_ && done != total) return;
  lastPercent_ = percent;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %lld / %lld", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), done, total);
  std::fflush(stderr);
  shown_ = true;
}

void ProgressBar::Finish() {
  if (shown_) std::fputc('\n', stderr);
}

}  // namespace glimpses

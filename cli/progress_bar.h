// A progress bar on standard error for the long commands (export,
// catalogue), redrawn in place.
#pragma once

namespace glimpses {

// Only when the shown figure changes, so that thousands of documents cost
// few writes. Callers show it on a terminal only.
class ProgressBar {
 public:
  void Show(long long done, long long total);
  // Ends the bar's line, when one was drawn.
  void Finish();

 private:
  int lastPercent_ = -1;
  bool shown_ = false;
};

}  // namespace glimpses

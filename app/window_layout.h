// Where the window's elements stand at a given size. At its first size,
// 950 x 600, each stands where it always has. A larger window gives the
// room it adds to the results (list or grid) and the preview: the height to
// both, the width shared at the splitter between them. The edits keep their
// places at the top left, the column of buttons and the tip picture stay
// beside the preview, the status line stays at the bottom. A window tall
// enough gives the details of the selected document a place of their own
// under the preview; a smaller one shows them in the preview's box instead,
// on request.
#pragma once

#include <QRect>
#include <QSize>

namespace glimpses {

inline constexpr QSize kFirstWindowSize{950, 600};
// Where the column of buttons starts at the first size; the elements of the
// column keep their distance from it.
inline constexpr int kFirstColumnX = 656;

struct WindowLayout {
  QRect results;  // the list and the grid
  QRect statusText;
  QRect splitter;  // between the results and the column
  QRect preview;
  QRect details;  // under the preview; empty when there is no room for it
  int columnX = kFirstColumnX;
};

// `listShare`: the results' part (0..1) of the width beyond the first size.
WindowLayout LayOutWindow(QSize window, double listShare);

// The share that puts the splitter's left edge at `x` in a window `width`
// wide, within 0..1; `current` when the window is no wider than at first.
double ListShareAt(int x, int width, double current);

}  // namespace glimpses

#include "app/window_layout.h"

#include <algorithm>
#include <cmath>

namespace glimpses {

namespace {

// The first layout's results and preview.
constexpr QRect kFirstResults{1, 25, 650, 518};
constexpr QRect kFirstStatus{1, 545, 650, 22};
constexpr QRect kFirstPreview{kFirstColumnX, 250, 270, 256};

// The details under the preview: their part of the column's height below
// the preview's top (down to the status line's bottom), and the least that
// is worth showing; the preview never gets less than at first.
constexpr double kDetailsShare = 0.4;
constexpr int kLeastDetailsHeight = 150;
constexpr int kDetailsGap = 6;

int ExtraWidth(int width) { return std::max(0, width - kFirstWindowSize.width()); }

// Splits `preview` (the whole column below its top) into the preview and
// the details under it, when there is room for both.
void PlaceDetails(WindowLayout& layout, int bottom) {
  const int height = bottom - layout.preview.top() + 1;
  const int previewHeight =
      std::max(kFirstPreview.height(), static_cast<int>(std::lround(height * (1 - kDetailsShare))));
  const int detailsHeight = height - previewHeight - kDetailsGap;
  if (detailsHeight < kLeastDetailsHeight) return;
  layout.preview.setHeight(previewHeight);
  layout.details =
      QRect(layout.preview.left(), layout.preview.bottom() + 1 + kDetailsGap, layout.preview.width(), detailsHeight);
}

}  // namespace

WindowLayout LayOutWindow(QSize window, double listShare) {
  const int extraWidth = ExtraWidth(window.width());
  const int extraHeight = std::max(0, window.height() - kFirstWindowSize.height());
  const int toResults = static_cast<int>(std::lround(extraWidth * std::clamp(listShare, 0.0, 1.0)));
  WindowLayout layout;
  layout.results = kFirstResults.adjusted(0, 0, toResults, extraHeight);
  layout.statusText = kFirstStatus.adjusted(0, 0, toResults, 0).translated(0, extraHeight);
  layout.splitter = QRect(layout.results.right() + 1, layout.results.top(), kFirstColumnX - kFirstResults.right() - 1,
                          layout.results.height());
  layout.columnX = kFirstColumnX + toResults;
  layout.preview = kFirstPreview.adjusted(toResults, 0, extraWidth, extraHeight);
  PlaceDetails(layout, layout.statusText.bottom());
  return layout;
}

double ListShareAt(int x, int width, double current) {
  const int extraWidth = ExtraWidth(width);
  if (extraWidth == 0) return current;
  return std::clamp(static_cast<double>(x - (kFirstResults.right() + 1)) / extraWidth, 0.0, 1.0);
}

}  // namespace glimpses

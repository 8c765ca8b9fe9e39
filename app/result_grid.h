// The result list as a grid of pictures: one cell per document, its stored
// thumbnail fitted into the cell and its file name under it, the kind's
// icon when it has no picture, a quiet marker while the picture is being
// made. It shows the list's own model, so the list's selection, drag and
// actions work on it unchanged; pictures come from a PicturePool, asked for
// the cells on screen.
#pragma once

#include <QListView>
#include <QTimer>
#include <utility>

namespace glimpses {

class PicturePool;
class ResultListModel;

// The picture box of a cell, in pixels, and the step of the zoom keys.
inline constexpr int kMinCellEdge = 64;
inline constexpr int kMaxCellEdge = 512;
inline constexpr int kCellEdgeStep = 32;

class ResultGrid : public QListView {
  Q_OBJECT

 public:
  ResultGrid(ResultListModel& model, PicturePool& pictures, QWidget* parent = nullptr);

  int cellEdge() const { return cellEdge_; }
  // Within kMinCellEdge..kMaxCellEdge.
  void SetCellEdge(int edge);
  // The first and last rows with a cell on screen; {-1, -1} when none.
  std::pair<int, int> VisibleRows() const;

 signals:
  // Ctrl+wheel: the cell edge the user asks for, not yet clamped.
  void cellEdgeRequested(int edge);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void showEvent(QShowEvent* event) override;

 private:
  int LineWidth() const;
  int ColumnsOf(int cellWidth) const;
  void FitCells();
  void AskForPictures();
  void UpdateRow(int row);

  ResultListModel& model_;
  PicturePool& pictures_;
  int cellEdge_ = 128;
  int wheelAngle_ = 0;  // a high-resolution wheel's part of a notch
  // Scrolling, resizing and rows arriving come in bursts: the pictures on
  // screen are asked for once the burst has been handled.
  QTimer askTimer_;
};

}  // namespace glimpses

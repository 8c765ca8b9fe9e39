#include "app/result_grid.h"

#include <QApplication>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>
#include <algorithm>
#include <map>
#include <optional>

#include "app/picture_pool.h"
#include "app/result_list_model.h"
#include "base/document_kind.h"

namespace glimpses {

namespace {

constexpr int kPadding = 6;

QColor KindColor(DocumentKind kind) {
  const BadgeColor color = KindBadgeColor(kind);
  return QColor(color.red, color.green, color.blue);
}

// A page with a folded corner and the kind's name on a band of its colour,
// for a kind the icon theme has no picture of.
void DrawPageBadge(QPainter* painter, const QRect& box, DocumentKind kind) {
  const double height = box.height() * 0.78;
  const double width = height * 0.76;
  const QRectF page(box.center().x() - width / 2, box.center().y() - height / 2, width, height);
  const double fold = width * 0.28;
  QPainterPath outline;
  outline.moveTo(page.topLeft());
  outline.lineTo(page.right() - fold, page.top());
  outline.lineTo(page.right(), page.top() + fold);
  outline.lineTo(page.bottomRight());
  outline.lineTo(page.bottomLeft());
  outline.closeSubpath();
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QPen(QColor(0x9E, 0x9E, 0x9E), std::max(1.0, width / 60)));
  painter->setBrush(Qt::white);
  painter->drawPath(outline);
  painter->drawPolyline(QPolygonF{
      {page.right() - fold, page.top()}, {page.right() - fold, page.top() + fold}, {page.right(), page.top() + fold}});
  const QRectF band(page.left(), page.top() + height * 0.52, width, height * 0.24);
  painter->fillRect(band, KindColor(kind));
  QFont font = painter->font();
  font.setBold(true);
  font.setPixelSize(std::max(6, static_cast<int>(band.height() * 0.62)));
  painter->setFont(font);
  painter->setPen(Qt::white);
  painter->drawText(band, Qt::AlignCenter, QString::fromStdString(KindBadgeLabel(kind)));
  painter->restore();
}

// Three faint dots: the picture is on its way.
void DrawComingMarker(QPainter* painter, const QRect& box, const QPalette& palette) {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  QColor color = palette.color(QPalette::Text);
  color.setAlpha(70);
  painter->setPen(Qt::NoPen);
  painter->setBrush(color);
  const double radius = std::max(1.5, box.width() / 48.0);
  for (int i = -1; i <= 1; ++i)
    painter->drawEllipse(QPointF(box.center().x() + i * radius * 4, box.center().y()), radius, radius);
  painter->restore();
}

class GridDelegate : public QStyledItemDelegate {
 public:
  GridDelegate(ResultGrid& grid, ResultListModel& model, PicturePool& pictures)
      : QStyledItemDelegate(&grid), grid_(grid), model_(model), pictures_(pictures) {}

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return grid_.gridSize(); }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);
    if ((option.state & QStyle::State_HasFocus) != 0) {
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &option, painter, widget);
    }

    const int edge = grid_.cellEdge();
    const QRect box(option.rect.x() + (option.rect.width() - edge) / 2, option.rect.y() + kPadding, edge, edge);
    const std::optional<SearchResult> result = model_.ResultAt(index.row());
    if (!result) {
      DrawComingMarker(painter, box, option.palette);
      return;
    }
    DrawPicture(painter, box, *result, option.palette);

    const QRect line(option.rect.x() + kPadding, box.bottom() + 1 + kPadding / 2, option.rect.width() - 2 * kPadding,
                     option.fontMetrics.height());
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString name = QString::fromStdString(result->fileName);
    painter->drawText(line, Qt::AlignHCenter | Qt::AlignTop,
                      option.fontMetrics.elidedText(name, Qt::ElideMiddle, line.width()));
  }

 private:
  void DrawPicture(QPainter* painter, const QRect& box, const SearchResult& result, const QPalette& palette) const {
    const CellPicture* picture = pictures_.Find(result);
    if (picture == nullptr) {
      DrawComingMarker(painter, box, palette);
      return;
    }
    if (picture->image.isNull()) {
      DrawKindIcon(painter, box, KindOfName(result.fileName, NameUse::kRead));
      return;
    }
    // A picture made for another cell size stands in, scaled, until its
    // own arrives.
    QSize size = picture->image.size();
    if (picture->edge != box.width()) size = (QSizeF(size) * box.width() / picture->edge).toSize();
    const QRect target(box.x() + (box.width() - size.width()) / 2, box.y() + (box.height() - size.height()) / 2,
                       size.width(), size.height());
    painter->drawImage(target, picture->image);
  }

  void DrawKindIcon(QPainter* painter, const QRect& box, DocumentKind kind) const {
    const QIcon& icon = ThemeIcon(kind);
    if (icon.isNull()) {
      DrawPageBadge(painter, box, kind);
      return;
    }
    const int side = box.width() * 3 / 4;
    icon.paint(painter, QRect(box.center().x() - side / 2, box.center().y() - side / 2, side, side));
  }

  // The icon theme's picture of the kind's MIME type; null when the theme
  // has none (or there is no theme, as offscreen).
  const QIcon& ThemeIcon(DocumentKind kind) const {
    auto known = themeIcons_.find(kind);
    if (known != themeIcons_.end()) return known->second;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + QLatin1String(KindName(kind)),
                                                           QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    return themeIcons_.emplace(kind, icon).first->second;
  }

  ResultGrid& grid_;
  ResultListModel& model_;
  PicturePool& pictures_;
  mutable std::map<DocumentKind, QIcon> themeIcons_;
};

}  // namespace

ResultGrid::ResultGrid(ResultListModel& model, PicturePool& pictures, QWidget* parent)
    : QListView(parent), model_(model), pictures_(pictures) {
  askTimer_.setSingleShot(true);
  askTimer_.setInterval(0);
  connect(&askTimer_, &QTimer::timeout, this, &ResultGrid::AskForPictures);
  // The list mode laid out in wrapped rows: it keeps a position per row and
  // a few segments, where the icon mode keeps an item record each, so a
  // hundred thousand results lay out at once.
  setViewMode(QListView::ListMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setMovement(QListView::Static);
  setUniformItemSizes(true);
  setSpacing(0);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  // A scroll bar that came and went would change the columns, and so the
  // rows, and so the scroll bar again.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setModel(&model_);
  setItemDelegate(new GridDelegate(*this, model_, pictures_));
  SetCellEdge(cellEdge_);

  auto askSoon = [this] { askTimer_.start(); };
  connect(&model_, &QAbstractItemModel::modelReset, this, askSoon);
  connect(&model_, &QAbstractItemModel::dataChanged, this, askSoon);
  connect(&pictures_, &PicturePool::pictureReady, this, &ResultGrid::UpdateRow);
}

// The view starts a new line where a cell would reach the viewport's last
// pixel column.
int ResultGrid::LineWidth() const { return viewport()->width() - 1; }

int ResultGrid::ColumnsOf(int cellWidth) const { return std::max(1, LineWidth() / cellWidth); }

void ResultGrid::SetCellEdge(int edge) {
  cellEdge_ = std::clamp(edge, kMinCellEdge, kMaxCellEdge);
  FitCells();
}

// As many cells as fit side by side, sharing what is left over, so the
// grid ends at the right edge with no empty band.
void ResultGrid::FitCells() {
  const int narrowest = cellEdge_ + 2 * kPadding;
  const int columns = ColumnsOf(narrowest);
  const QSize cell(std::max(narrowest, LineWidth() / columns), cellEdge_ + 2 * kPadding + fontMetrics().height());
  if (cell != gridSize()) setGridSize(cell);
  verticalScrollBar()->setSingleStep(cell.height() / 3);
  askTimer_.start();
}

std::pair<int, int> ResultGrid::VisibleRows() const {
  const int rows = model_.rowCount();
  const QSize cell = gridSize();
  if (rows == 0 || cell.isEmpty()) return {-1, -1};
  const int columns = ColumnsOf(cell.width());
  const int firstLine = verticalOffset() / cell.height();
  const int lastLine = (verticalOffset() + viewport()->height() - 1) / cell.height();
  const int first = firstLine * columns;
  if (first >= rows) return {-1, -1};
  return {first, std::min(rows - 1, (lastLine + 1) * columns - 1)};
}

// The cells on screen, then the next screenful, which a steady scroll
// shows next; rows still being read are asked for when they arrive.
void ResultGrid::AskForPictures() {
  if (!isVisible()) return;
  const auto [first, last] = VisibleRows();
  if (first < 0) return;
  const int end = std::min(model_.rowCount() - 1, last + (last - first + 1));
  std::vector<PicturePool::Request> requests;
  for (int row = first; row <= end; ++row) {
    if (std::optional<SearchResult> result = model_.ResultAt(row)) requests.push_back({row, std::move(*result)});
  }
  pictures_.Want(requests, cellEdge_);
}

void ResultGrid::UpdateRow(int row) { viewport()->update(visualRect(model_.index(row, 0))); }

void ResultGrid::wheelEvent(QWheelEvent* event) {
  if ((event->modifiers() & Qt::ControlModifier) == 0) {
    QListView::wheelEvent(event);
    return;
  }
  wheelAngle_ += event->angleDelta().y();
  const int notches = wheelAngle_ / QWheelEvent::DefaultDeltasPerStep;
  wheelAngle_ -= notches * QWheelEvent::DefaultDeltasPerStep;
  if (notches != 0) emit cellEdgeRequested(cellEdge_ + notches * kCellEdgeStep);
  event->accept();
}

void ResultGrid::resizeEvent(QResizeEvent* event) {
  QListView::resizeEvent(event);
  FitCells();
}

void ResultGrid::scrollContentsBy(int dx, int dy) {
  QListView::scrollContentsBy(dx, dy);
  askTimer_.start();
}

void ResultGrid::showEvent(QShowEvent* event) {
  QListView::showEvent(event);
  askTimer_.start();
}

}  // namespace glimpses

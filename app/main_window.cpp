#include "app/main_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStringListModel>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <array>
#include <functional>
#include <map>
#include <optional>

#include "app/document_details.h"
#include "app/main_controller.h"
#include "app/result_grid.h"
#include "app/result_list_model.h"
#include "app/window_language.h"
#include "app/window_layout.h"

namespace glimpses {

namespace {

constexpr QSize kTipPictureBox{190, 190};
constexpr int kStatusCancelWidth = 40;
constexpr char kStartText[] = QT_TRANSLATE_NOOP("glimpses", "开始执行");
constexpr char kStartToolTip[] = QT_TRANSLATE_NOOP("glimpses", "开始执行提取缩略图");
constexpr char kCancelText[] = QT_TRANSLATE_NOOP("glimpses", "取消");
constexpr char kCancelToolTip[] = QT_TRANSLATE_NOOP("glimpses", "停止正在进行的导出, 已写入的缩略图保留");

template <typename Widget>
Widget* Place(QWidget* window, const char* name, int x, int y, int width, int height) {
  auto* widget = new Widget(window);
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}

QPushButton* PlaceButton(QWidget* window, const char* name, int x, int y, int width, int height, const char* text,
                         const char* toolTip) {
  auto* button = Place<QPushButton>(window, name, x, y, width, height);
  button->setText(Tr(text));
  if (toolTip != nullptr) button->setToolTip(Tr(toolTip));
  return button;
}

// The columns the search sorts by, as the header shows them.
constexpr std::array<std::pair<int, SortKey>, 4> kSortColumns{{
    {ResultListModel::kNameColumn, SortKey::kName},
    {ResultListModel::kFolderColumn, SortKey::kFolder},
    {ResultListModel::kSizeColumn, SortKey::kSize},
    {ResultListModel::kModifiedColumn, SortKey::kModified},
}};

std::optional<SortKey> SortKeyOfColumn(int column) {
  for (const auto& [shown, key] : kSortColumns) {
    if (shown == column) return key;
  }
  return std::nullopt;
}

int ColumnOfSortKey(SortKey key) {
  for (const auto& [shown, sortKey] : kSortColumns) {
    if (sortKey == key) return shown;
  }
  return ResultListModel::kNameColumn;
}

void ToClipboard(std::unique_ptr<QMimeData> data) {
  if (data) QGuiApplication::clipboard()->setMimeData(data.release());
}

// The splitter between the results and the preview: tells where it is
// dragged to, in the window's coordinates.
class SplitterHandle : public QWidget {
 public:
  SplitterHandle(QWidget* window, std::function<void(int x)> moved) : QWidget(window), moved_(std::move(moved)) {
    setCursor(Qt::SplitHCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override { grabbedAt_ = event->position().toPoint().x(); }
  void mouseMoveEvent(QMouseEvent* event) override {
    if ((event->buttons() & Qt::LeftButton) != 0) moved_(mapToParent(event->position().toPoint()).x() - grabbedAt_);
  }

 private:
  std::function<void(int x)> moved_;
  int grabbedAt_ = 0;
};

void ShowPicture(QLabel* label, const QImage& image) {
  if (image.isNull()) {
    label->clear();
  } else {
    label->setPixmap(QPixmap::fromImage(image));
  }
}

}  // namespace

MainWindow::MainWindow(MainController& controller, const QIcon& icon, const QImage& tipPicture, QWidget* parent)
    : QWidget(parent), controller_(controller) {
  setWindowTitle(Tr(kWindowTitle));
  // The frame's corner at (0, 0), as the window has always opened.
  move(0, 0);
  setMinimumSize(kFirstWindowSize);
  keepArrangementTimer_.setSingleShot(true);
  keepArrangementTimer_.setInterval(500);
  connect(&keepArrangementTimer_, &QTimer::timeout, this, [this] { controller_.SetWindowArrangement(arrangement_); });
  arrangement_ = controller_.preferences().window;
  resize(arrangement_.size.isValid() ? arrangement_.size.expandedTo(kFirstWindowSize) : kFirstWindowSize);
  if (arrangement_.maximized) setWindowState(Qt::WindowMaximized);
  if (!icon.isNull()) setWindowIcon(icon);
  LayoutMainWindow(tipPicture);
  BindHandlers();
  ShowView(arrangement_.grid);
  cellEdgeSlider_->setValue(arrangement_.cellEdge);
}

MainWindow::~MainWindow() {
  if (keepArrangementTimer_.isActive()) controller_.SetWindowArrangement(arrangement_);
}

void MainWindow::KeepArrangement() { keepArrangementTimer_.start(); }

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  arrangement_.maximized = isMaximized();
  if (!arrangement_.maximized) arrangement_.size = size() == kFirstWindowSize ? QSize() : size();
  ArrangeElements();
  KeepArrangement();
  onScreenTimer_.start();
}

void MainWindow::ArrangeElements() {
  const WindowLayout layout = LayOutWindow(size(), arrangement_.listShare);
  resultList_->setGeometry(layout.results);
  resultGrid_->setGeometry(layout.results);
  QRect status = layout.statusText;
  if (!statusCancel_->isHidden()) {
    statusCancel_->setGeometry(status.right() + 1 - kStatusCancelWidth, status.y(), kStatusCancelWidth,
                               status.height());
    status.setRight(status.right() - kStatusCancelWidth);
  }
  statusText_->setGeometry(status);
  splitter_->setGeometry(layout.splitter);
  for (const auto& [widget, offset] : column_) widget->move(layout.columnX + offset, widget->y());
  if (previewPicture_->geometry() != layout.preview) {
    previewPicture_->setGeometry(layout.preview);
    ShowPreviewPicture();
  }
  // Under the preview when there is room, else in its box when asked for.
  const bool docked = !layout.details.isEmpty();
  const bool inPreviewBox = !docked && detailsTabButton_->isChecked();
  previewTabButton_->setVisible(!docked);
  detailsTabButton_->setVisible(!docked);
  detailsPanel_->setGeometry(docked ? layout.details : layout.preview);
  detailsPanel_->setVisible(docked || inPreviewBox);
  previewPicture_->setVisible(!inPreviewBox);
}

void MainWindow::MoveSplitter(int x) {
  arrangement_.listShare = ListShareAt(x, width(), arrangement_.listShare);
  ArrangeElements();
  KeepArrangement();
}

// At its first size the preview shows the controller's picture as it is;
// a larger box scales the larger picture kept for it.
void MainWindow::ShowPreviewPicture() {
  const QSize box = previewPicture_->size();
  ShowPicture(previewPicture_,
              box == kPreviewBox ? controller_.previewImage() : FitPicture(controller_.previewSource(), box));
}

void MainWindow::LayoutMainWindow(const QImage& tipPicture) {
  keywordEdit_ = Place<QLineEdit>(this, "keywordEdit", 1, 2, 300, 22);
  outputDirEdit_ = Place<QLineEdit>(this, "outputDirEdit", 410, 2, 241, 22);
  keywordEdit_->setText(controller_.keywordText());
  outputDirEdit_->setText(controller_.outputDirText());

  searchButton_ = PlaceButton(this, "searchButton", 306, 2, 98, 22, QT_TRANSLATE_NOOP("glimpses", "关键字 --> 搜索"),
                              QT_TRANSLATE_NOOP("glimpses", "请输入关键字,用空格隔开"));
  folderButton_ = PlaceButton(this, "folderButton", 656, 2, 80, 32, QT_TRANSLATE_NOOP("glimpses", "选择目录"),
                              QT_TRANSLATE_NOOP("glimpses", "选择缩略图保存的目录"));
  startButton_ = PlaceButton(this, "startButton", 656, 40, 80, 40, kStartText, kStartToolTip);
  saveCloseButton_ =
      PlaceButton(this, "saveCloseButton", 656, 88, 80, 32, QT_TRANSLATE_NOOP("glimpses", "保存关闭"), nullptr);

  resultList_ = Place<QTreeView>(this, "resultList", 1, 25, 650, 518);
  resultList_->setModel(controller_.resultModel());
  resultList_->setRootIsDecorated(false);
  resultList_->setUniformRowHeights(true);  // keeps lists of many thousands of rows fast
  resultList_->setAllColumnsShowFocus(true);
  resultList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  resultList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultList_->setDragDropMode(QAbstractItemView::DragOnly);
  resultList_->setDefaultDropAction(Qt::CopyAction);
  // The event filter tells a right-click (open the folder) from the
  // keyboard's menu request (the actions).
  resultList_->installEventFilter(this);
  resultList_->viewport()->installEventFilter(this);
  resultList_->header()->setStretchLastSection(false);
  // The search sorts; the header only shows the order and asks for another.
  resultList_->header()->setSectionsClickable(true);
  resultList_->header()->setSortIndicatorShown(true);
  resultList_->setColumnWidth(ResultListModel::kNameColumn, 260);
  resultList_->setColumnWidth(ResultListModel::kFolderColumn, 260);
  resultList_->setColumnWidth(ResultListModel::kVersionColumn, 100);
  resultList_->setColumnWidth(ResultListModel::kSizeColumn, 80);
  resultList_->setColumnWidth(ResultListModel::kModifiedColumn, 130);
  ShowSort();

  statusText_ = Place<QLabel>(this, "statusText", 1, 545, 650, 22);
  statusText_->setText(controller_.statusText());
  auto* tipCaption = Place<QLabel>(this, "tipCaption", 780, 195, 160, 18);
  tipCaption->setText(Tr("微信扫一扫打赏作者"));

  previewPicture_ = Place<QLabel>(this, "previewPicture", 656, 250, 270, 256);
  previewPicture_->setAlignment(Qt::AlignCenter);
  ShowPreviewPicture();
  auto* tipPictureLabel = Place<QLabel>(this, "tipPicture", 740, 2, 190, 190);
  tipPictureLabel->setAlignment(Qt::AlignCenter);
  ShowPicture(tipPictureLabel, FitPicture(tipPicture, kTipPictureBox));

  // Under the save button: the one free place in the column of buttons.
  actionsButton_ = Place<QToolButton>(this, "actionsButton", 656, 126, 80, 24);
  actionsButton_->setText(Tr("所选文档"));
  actionsButton_->setPopupMode(QToolButton::InstantPopup);
  rowMenu_ = new QMenu(actionsButton_);
  actionsButton_->setMenu(rowMenu_);
  CreateViewControls();
  CreateRowActions();
  splitter_ = new SplitterHandle(this, [this](int x) { MoveSplitter(x); });
  splitter_->setObjectName(QStringLiteral("splitter"));
  CreateDetailsControls();
  for (QWidget* widget : std::initializer_list<QWidget*>{folderButton_, startButton_, saveCloseButton_, actionsButton_,
                                                         listViewButton_, gridViewButton_, cellEdgeSlider_, tipCaption,
                                                         tipPictureLabel, previewTabButton_, detailsTabButton_}) {
    column_.emplace_back(widget, widget->x() - kFirstColumnX);
  }
  ArrangeElements();

  recentKeywords_ = new QStringListModel(controller_.preferences().recentKeywords, keywordEdit_);
  auto* completer = new QCompleter(recentKeywords_, keywordEdit_);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  keywordEdit_->setCompleter(completer);
  keywordEdit_->installEventFilter(this);

  keywordEdit_->setFocus();
}

QAction* MainWindow::AddRowAction(const char* text, QKeySequence key, QKeySequence otherKey) {
  auto* action = new QAction(Tr(text), this);
  QList<QKeySequence> keys;
  if (!key.isEmpty()) keys << key;
  if (!otherKey.isEmpty()) keys << otherKey;
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WidgetShortcut);
  resultList_->addAction(action);
  resultGrid_->addAction(action);
  rowMenu_->addAction(action);
  return action;
}

// The grid shares the list's model and selection, so the preview, the
// actions and the drag follow it as they follow the list.
void MainWindow::CreateViewControls() {
  resultGrid_ = new ResultGrid(*controller_.resultModel(), *controller_.pictures(), this);
  resultGrid_->setObjectName(QStringLiteral("resultGrid"));
  resultGrid_->setGeometry(resultList_->geometry());
  resultGrid_->setSelectionModel(resultList_->selectionModel());
  resultGrid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  resultGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultGrid_->setDragDropMode(QAbstractItemView::DragOnly);
  resultGrid_->setDefaultDropAction(Qt::CopyAction);
  resultGrid_->installEventFilter(this);
  resultGrid_->viewport()->installEventFilter(this);
  resultGrid_->hide();

  listViewButton_ = PlaceButton(this, "listViewButton", 656, 156, 39, 24, QT_TRANSLATE_NOOP("glimpses", "列表"),
                                QT_TRANSLATE_NOOP("glimpses", "列表视图 (Ctrl+1)"));
  gridViewButton_ = PlaceButton(this, "gridViewButton", 697, 156, 39, 24, QT_TRANSLATE_NOOP("glimpses", "网格"),
                                QT_TRANSLATE_NOOP("glimpses", "缩略图网格视图 (Ctrl+2)"));
  for (QPushButton* button : {listViewButton_, gridViewButton_}) {
    button->setCheckable(true);
    button->setAutoExclusive(true);
  }
  listViewButton_->setChecked(true);

  cellEdgeSlider_ = Place<QSlider>(this, "cellSizeSlider", 656, 186, 80, 22);
  cellEdgeSlider_->setOrientation(Qt::Horizontal);
  cellEdgeSlider_->setRange(kMinCellEdge, kMaxCellEdge);
  cellEdgeSlider_->setSingleStep(kCellEdgeStep);
  cellEdgeSlider_->setPageStep(2 * kCellEdgeStep);
  cellEdgeSlider_->setValue(resultGrid_->cellEdge());
  cellEdgeSlider_->setToolTip(Tr("缩略图大小 (Ctrl+滚轮, Ctrl+加号/减号)"));
  cellEdgeSlider_->setEnabled(false);

  auto addWindowKeys = [this](QList<QKeySequence> keys, auto slot) {
    auto* action = new QAction(this);
    action->setShortcuts(keys);
    addAction(action);
    connect(action, &QAction::triggered, this, slot);
  };
  addWindowKeys({Qt::CTRL | Qt::Key_1}, [this] { ShowView(false); });
  addWindowKeys({Qt::CTRL | Qt::Key_2}, [this] { ShowView(true); });
  addWindowKeys({QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal},
                [this] { cellEdgeSlider_->setValue(cellEdgeSlider_->value() + kCellEdgeStep); });
  addWindowKeys({QKeySequence::ZoomOut},
                [this] { cellEdgeSlider_->setValue(cellEdgeSlider_->value() - kCellEdgeStep); });
}

// Two tabs over the preview's box, in the free band above it, for a window
// too small to show the details under the preview; and the status line's
// way to stop an export.
void MainWindow::CreateDetailsControls() {
  previewTabButton_ = PlaceButton(this, "previewTabButton", 656, 224, 39, 24, QT_TRANSLATE_NOOP("glimpses", "预览"),
                                  QT_TRANSLATE_NOOP("glimpses", "显示所选文档的缩略图"));
  detailsTabButton_ = PlaceButton(this, "detailsTabButton", 697, 224, 39, 24, QT_TRANSLATE_NOOP("glimpses", "信息"),
                                  QT_TRANSLATE_NOOP("glimpses", "显示所选文档的信息 (Ctrl+I)"));
  // A group of their own: on their own they would share the parent's
  // exclusive group with the view buttons.
  auto* tabs = new QButtonGroup(this);
  for (QPushButton* button : {previewTabButton_, detailsTabButton_}) {
    button->setCheckable(true);
    tabs->addButton(button);
  }
  previewTabButton_->setChecked(true);

  detailsPanel_ = Place<QTextBrowser>(this, "detailsPanel", 656, 250, 270, 256);
  detailsPanel_->setOpenLinks(false);
  detailsPanel_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  detailsPanel_->hide();
  ShowDetails();

  statusCancel_ = Place<QLabel>(this, "statusCancel", 1, 545, kStatusCancelWidth, 22);
  statusCancel_->setText(QStringLiteral("<a href=\"#cancel\">%1</a>").arg(Tr(kCancelText)));
  statusCancel_->setToolTip(Tr("停止正在进行的导出"));
  statusCancel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  statusCancel_->hide();

  auto* toggle = new QAction(this);
  toggle->setShortcut(Qt::CTRL | Qt::Key_I);
  addAction(toggle);
  connect(toggle, &QAction::triggered, this, [this] {
    (detailsTabButton_->isChecked() ? previewTabButton_ : detailsTabButton_)->setChecked(true);
    ArrangeElements();
  });
}

// The catalogue reads these documents first, so that their versions and
// their answers to font: and the like come soon.
void MainWindow::TellDocumentsOnScreen() {
  std::pair<int, int> rows = resultGrid_->VisibleRows();
  if (ShownView() == resultList_) {
    const QWidget* viewport = resultList_->viewport();
    const int last = resultList_->indexAt(QPoint(1, viewport->height() - 1)).row();
    rows = {resultList_->indexAt(QPoint(1, 1)).row(), last >= 0 ? last : resultList_->model()->rowCount() - 1};
  }
  if (rows.first >= 0) controller_.DocumentsOnScreen(rows.first, rows.second);
}

void MainWindow::ShowDetails() { detailsPanel_->setHtml(DetailsHtml(controller_.details())); }

// The links are the placed files of the details shown, by their index.
void MainWindow::PlacedFileClicked(const QUrl& link) {
  const QString anchor = QLatin1String(kPlacedFileAnchor);
  const QString fragment = link.fragment();
  if (!fragment.startsWith(anchor)) return;
  bool isNumber = false;
  const qsizetype index = fragment.mid(anchor.size()).toLongLong(&isNumber);
  const std::vector<PlacedFile>& links = controller_.details().metadata.links;
  if (!isNumber || index < 0 || index >= static_cast<qsizetype>(links.size())) return;
  controller_.SearchPlacedFile(PlacedFileName(links[static_cast<std::size_t>(index)].path));
}

QAbstractItemView* MainWindow::ShownView() const {
  return resultGrid_->isHidden() ? static_cast<QAbstractItemView*>(resultList_) : resultGrid_;
}

// The row at the top of the view left stays at the top of the view shown,
// and the focus goes with the view.
void MainWindow::ShowView(bool grid) {
  arrangement_.grid = grid;
  KeepArrangement();
  listViewButton_->setChecked(!grid);
  gridViewButton_->setChecked(grid);
  cellEdgeSlider_->setEnabled(grid);
  QAbstractItemView* from = ShownView();
  QAbstractItemView* to = grid ? static_cast<QAbstractItemView*>(resultGrid_) : resultList_;
  if (from == to) return;
  const QModelIndex top = from->indexAt(QPoint(1, 1));
  const bool hadFocus = from->hasFocus();
  from->hide();
  to->show();
  if (top.isValid()) to->scrollTo(top.siblingAtColumn(0), QAbstractItemView::PositionAtTop);
  if (hadFocus) to->setFocus();
  onScreenTimer_.start();
}

void MainWindow::SetCellEdge(int edge) {
  resultGrid_->SetCellEdge(edge);
  arrangement_.cellEdge = resultGrid_->cellEdge();
  KeepArrangement();
}

void MainWindow::CreateRowActions() {
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "打开"), Qt::Key_Return, Qt::Key_Enter), &QAction::triggered, this,
          [this] {
            controller_.RememberKeywords();
            controller_.OpenDocuments(SelectedRows());
          });
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "打开所在文件夹"), Qt::CTRL | Qt::Key_Return,
                       Qt::CTRL | Qt::Key_Enter),
          &QAction::triggered, this, [this] { controller_.OpenFolders(SelectedRows()); });
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "复制文件"), QKeySequence::Copy), &QAction::triggered, this,
          [this] { ToClipboard(controller_.CopyFiles(SelectedRows())); });
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "复制完整路径"), Qt::CTRL | Qt::SHIFT | Qt::Key_C),
          &QAction::triggered, this, [this] { ToClipboard(controller_.CopyPaths(SelectedRows())); });
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "全选"), QKeySequence::SelectAll), &QAction::triggered,
          resultList_, &QTreeView::selectAll);
  rowMenu_->addSeparator();
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "导出所选缩略图"), {}), &QAction::triggered, this, [this] {
    controller_.RememberKeywords();
    controller_.ExportRows(SelectedRows());
  });
  // The selection, or every listed document when none is selected.
  connect(AddRowAction(kContactSheetTitle, {}), &QAction::triggered, this, [this] {
    controller_.RememberKeywords();
    controller_.ExportContactSheet(SelectedRows());
  });
  rowMenu_->addSeparator();
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "排除此文件夹"), {}), &QAction::triggered, this,
          [this] { controller_.ExcludeFolderOf(resultList_->currentIndex().row()); });
  connect(AddRowAction(QT_TRANSLATE_NOOP("glimpses", "编辑排除列表..."), {}), &QAction::triggered, this,
          &MainWindow::EditExcludes);
  // The keyboard's ways to the menu; a right-click keeps opening the folder.
  auto* menuKeys = new QAction(this);
  menuKeys->setShortcuts({Qt::SHIFT | Qt::Key_F10, Qt::Key_Menu});
  menuKeys->setShortcutContext(Qt::WidgetShortcut);
  resultList_->addAction(menuKeys);
  resultGrid_->addAction(menuKeys);
  connect(menuKeys, &QAction::triggered, this, &MainWindow::ShowRowMenu);
}

std::vector<int> MainWindow::SelectedRows() const {
  std::vector<int> rows;
  for (const QItemSelectionRange& range : resultList_->selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  }
  return rows;
}

void MainWindow::ShowRowMenu() {
  QAbstractItemView* view = ShownView();
  const QRect cell = view->visualRect(view->currentIndex());
  const QPoint at = cell.isValid() ? cell.bottomLeft() : QPoint(0, 0);
  rowMenu_->popup(view->viewport()->mapToGlobal(at));
}

// One line a folder or pattern. A folder whose name is not UTF-8 cannot be
// typed back: an unchanged line keeps its bytes.
void MainWindow::EditExcludes() {
  std::map<QString, std::string> bytesOfLine;
  QStringList lines;
  for (const std::string& exclude : controller_.preferences().excludes) {
    lines << QString::fromStdString(exclude);
    bytesOfLine.emplace(lines.back(), exclude);
  }
  bool accepted = false;
  const QString text = QInputDialog::getMultiLineText(
      this, Tr("排除的文件夹"), Tr("每行一个文件夹或模式 (可用 * 和 ?):"), lines.join(u'\n'), &accepted);
  if (!accepted) return;
  std::vector<std::string> excludes;
  for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
    auto known = bytesOfLine.find(line);
    excludes.push_back(known != bytesOfLine.end() ? known->second : line.toStdString());
  }
  controller_.SetExcludes(std::move(excludes));
}

void MainWindow::ShowSort() {
  const SortOrder order = controller_.preferences().sort;
  resultList_->header()->setSortIndicator(ColumnOfSortKey(order.key),
                                          order.reverse ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const bool onResults = watched == resultList_ || watched == resultList_->viewport() || watched == resultGrid_ ||
                         watched == resultGrid_->viewport();
  if (event->type() == QEvent::ContextMenu && onResults) {
    if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
      controller_.OpenSelectedFolder();
    } else {
      ShowRowMenu();
    }
    return true;
  }
  if (event->type() == QEvent::KeyPress && watched == keywordEdit_) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool popupShown = keywordEdit_->completer()->popup()->isVisible();
    if (!popupShown && (key == Qt::Key_Up || key == Qt::Key_Down)) {
      return controller_.WalkRecentKeywords(key == Qt::Key_Up ? 1 : -1);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::BindHandlers() {
  connect(keywordEdit_, &QLineEdit::textChanged, &controller_, &MainController::SetKeywordText);
  // Only the user's own edits search as they type, not a text set by code.
  connect(keywordEdit_, &QLineEdit::textEdited, &controller_, &MainController::KeywordEdited);
  connect(outputDirEdit_, &QLineEdit::textChanged, &controller_, &MainController::SetOutputDirText);
  connect(&controller_, &MainController::outputDirTextChanged, outputDirEdit_, &QLineEdit::setText);
  connect(keywordEdit_, &QLineEdit::returnPressed, &controller_, &MainController::SearchDocuments);
  connect(keywordEdit_, &QLineEdit::returnPressed, &controller_, &MainController::RememberKeywords);
  connect(&controller_, &MainController::keywordTextChanged, keywordEdit_, &QLineEdit::setText);
  connect(&controller_, &MainController::recentKeywordsChanged, recentKeywords_, &QStringListModel::setStringList);

  connect(searchButton_, &QPushButton::clicked, &controller_, &MainController::SearchDocuments);
  connect(searchButton_, &QPushButton::clicked, &controller_, &MainController::RememberKeywords);
  connect(folderButton_, &QPushButton::clicked, &controller_, &MainController::ChooseOutputFolder);
  connect(startButton_, &QPushButton::clicked, &controller_, &MainController::StartExport);
  connect(saveCloseButton_, &QPushButton::clicked, &controller_, &MainController::SaveAndClose);

  connect(resultList_->selectionModel(), &QItemSelectionModel::currentRowChanged, &controller_,
          [this](const QModelIndex& current) { controller_.PreviewSelectedDocument(current.row()); });
  connect(resultList_, &QAbstractItemView::doubleClicked, &controller_, &MainController::OpenSelectedFile);
  connect(resultGrid_, &QAbstractItemView::doubleClicked, &controller_, &MainController::OpenSelectedFile);
  connect(listViewButton_, &QPushButton::clicked, this, [this] { ShowView(false); });
  connect(gridViewButton_, &QPushButton::clicked, this, [this] { ShowView(true); });
  connect(cellEdgeSlider_, &QSlider::valueChanged, this, &MainWindow::SetCellEdge);
  // The slider keeps the edge within its range.
  connect(resultGrid_, &ResultGrid::cellEdgeRequested, cellEdgeSlider_, &QSlider::setValue);
  connect(resultList_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (auto key = SortKeyOfColumn(column)) controller_.SortBy(*key);
    ShowSort();  // the header moves its indicator itself, also on a column that does not sort
  });

  connect(&controller_, &MainController::statusTextChanged, statusText_, &QLabel::setText);
  // The start button doubles as the cancel button while an export runs;
  // it stays bound to StartExport, which then asks the export to stop.
  connect(&controller_, &MainController::exportRunningChanged, startButton_, [this](bool running) {
    startButton_->setText(Tr(running ? kCancelText : kStartText));
    startButton_->setToolTip(Tr(running ? kCancelToolTip : kStartToolTip));
    statusCancel_->setVisible(running);
    ArrangeElements();
  });
  connect(statusCancel_, &QLabel::linkActivated, &controller_, &MainController::CancelExport);
  connect(&controller_, &MainController::detailsChanged, this, &MainWindow::ShowDetails);
  onScreenTimer_.setSingleShot(true);
  onScreenTimer_.setInterval(100);
  connect(&onScreenTimer_, &QTimer::timeout, this, &MainWindow::TellDocumentsOnScreen);
  auto onScreenSoon = [this] { onScreenTimer_.start(); };
  connect(resultList_->verticalScrollBar(), &QScrollBar::valueChanged, this, onScreenSoon);
  connect(resultGrid_->verticalScrollBar(), &QScrollBar::valueChanged, this, onScreenSoon);
  connect(controller_.resultModel(), &QAbstractItemModel::modelReset, this, onScreenSoon);
  // Rows that arrive, not the versions the catalogue gives them.
  connect(controller_.resultModel(), &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& first) {
            if (first.column() == ResultListModel::kNameColumn) onScreenTimer_.start();
          });
  connect(detailsPanel_, &QTextBrowser::anchorClicked, this, &MainWindow::PlacedFileClicked);
  for (QPushButton* tab : {previewTabButton_, detailsTabButton_})
    connect(tab, &QPushButton::clicked, this, &MainWindow::ArrangeElements);
  connect(&controller_, &MainController::previewChanged, this, &MainWindow::ShowPreviewPicture);
}

}  // namespace glimpses

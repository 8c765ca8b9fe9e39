#include "main_window.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeView>

#include "main_controller.h"
#include "result_list_model.h"

namespace glimpses {

namespace {

constexpr QSize kTipPictureBox{190, 190};
constexpr char kStartText[] = "开始执行";
constexpr char kStartToolTip[] = "开始执行提取缩略图";
constexpr char kCancelText[] = "取消";
constexpr char kCancelToolTip[] = "停止正在进行的导出, 已写入的缩略图保留";

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
  button->setText(QString::fromUtf8(text));
  if (toolTip != nullptr) button->setToolTip(QString::fromUtf8(toolTip));
  return button;
}

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
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  // The frame's corner at (0, 0), as the window has always opened.
  move(0, 0);
  resize(950, 600);
  if (!icon.isNull()) setWindowIcon(icon);
  LayoutMainWindow(tipPicture);
  BindHandlers();
}

void MainWindow::LayoutMainWindow(const QImage& tipPicture) {
  keywordEdit_ = Place<QLineEdit>(this, "keywordEdit", 1, 2, 300, 22);
  outputDirEdit_ = Place<QLineEdit>(this, "outputDirEdit", 410, 2, 241, 22);
  keywordEdit_->setText(controller_.keywordText());
  outputDirEdit_->setText(controller_.outputDirText());

  searchButton_ = PlaceButton(this, "searchButton", 306, 2, 98, 22, "关键字 --> 搜索", "请输入关键字,用空格隔开");
  folderButton_ = PlaceButton(this, "folderButton", 656, 2, 80, 32, "选择目录", "选择缩略图保存的目录");
  startButton_ = PlaceButton(this, "startButton", 656, 40, 80, 40, kStartText, kStartToolTip);
  saveCloseButton_ = PlaceButton(this, "saveCloseButton", 656, 88, 80, 32, "保存关闭", nullptr);

  resultList_ = Place<QTreeView>(this, "resultList", 1, 25, 650, 518);
  resultList_->setModel(controller_.resultModel());
  resultList_->setRootIsDecorated(false);
  resultList_->setUniformRowHeights(true);  // keeps lists of many thousands of rows fast
  resultList_->setAllColumnsShowFocus(true);
  resultList_->setSelectionMode(QAbstractItemView::SingleSelection);
  resultList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  resultList_->setContextMenuPolicy(Qt::CustomContextMenu);
  resultList_->header()->setStretchLastSection(false);
  resultList_->setColumnWidth(ResultListModel::kNameColumn, 260);
  resultList_->setColumnWidth(ResultListModel::kFolderColumn, 260);
  resultList_->setColumnWidth(ResultListModel::kVersionColumn, 100);

  statusText_ = Place<QLabel>(this, "statusText", 1, 545, 650, 22);
  statusText_->setText(controller_.statusText());
  auto* tipCaption = Place<QLabel>(this, "tipCaption", 780, 195, 160, 18);
  tipCaption->setText(QStringLiteral("微信扫一扫打赏作者"));

  previewPicture_ = Place<QLabel>(this, "previewPicture", 656, 250, 270, 256);
  previewPicture_->setAlignment(Qt::AlignCenter);
  ShowPicture(previewPicture_, controller_.previewImage());
  auto* tipPictureLabel = Place<QLabel>(this, "tipPicture", 740, 2, 190, 190);
  tipPictureLabel->setAlignment(Qt::AlignCenter);
  ShowPicture(tipPictureLabel, FitPicture(tipPicture, kTipPictureBox));

  keywordEdit_->setFocus();
}

void MainWindow::BindHandlers() {
  connect(keywordEdit_, &QLineEdit::textChanged, &controller_, &MainController::SetKeywordText);
  // Only the user's own edits search as they type, not a text set by code.
  connect(keywordEdit_, &QLineEdit::textEdited, &controller_, &MainController::KeywordEdited);
  connect(outputDirEdit_, &QLineEdit::textChanged, &controller_, &MainController::SetOutputDirText);
  connect(&controller_, &MainController::outputDirTextChanged, outputDirEdit_, &QLineEdit::setText);
  connect(keywordEdit_, &QLineEdit::returnPressed, &controller_, &MainController::SearchDocuments);

  connect(searchButton_, &QPushButton::clicked, &controller_, &MainController::SearchDocuments);
  connect(folderButton_, &QPushButton::clicked, &controller_, &MainController::ChooseOutputFolder);
  connect(startButton_, &QPushButton::clicked, &controller_, &MainController::StartExport);
  connect(saveCloseButton_, &QPushButton::clicked, &controller_, &MainController::SaveAndClose);

  connect(resultList_->selectionModel(), &QItemSelectionModel::currentRowChanged, &controller_,
          [this](const QModelIndex& current) { controller_.PreviewSelectedDocument(current.row()); });
  connect(resultList_, &QAbstractItemView::doubleClicked, &controller_, &MainController::OpenSelectedFile);
  connect(resultList_, &QWidget::customContextMenuRequested, &controller_, &MainController::OpenSelectedFolder);

  connect(&controller_, &MainController::statusTextChanged, statusText_, &QLabel::setText);
  // The start button doubles as the cancel button while an export runs;
  // it stays bound to StartExport, which then asks the export to stop.
  connect(&controller_, &MainController::exportRunningChanged, startButton_, [this](bool running) {
    startButton_->setText(QString::fromUtf8(running ? kCancelText : kStartText));
    startButton_->setToolTip(QString::fromUtf8(running ? kCancelToolTip : kStartToolTip));
  });
  connect(&controller_, &MainController::previewChanged, previewPicture_,
          [this](const QImage& image) { ShowPicture(previewPicture_, image); });
}

}  // namespace glimpses

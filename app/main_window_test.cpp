#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/app_test_support.h"
#include "app/main_controller.h"
#include "app/preferences.h"
#include "app/result_grid.h"
#include "app/status_text.h"
#include "app/window_language.h"
#include "search/document_filter.h"
#include "search/index_rows.h"
#include "search/search_service.h"

using namespace glimpses;
using namespace glimpses::testing;

namespace {

// Holds a lock on a thread of its own, as the index's catch-up does, until
// released; after a minute it lets go anyway, so a reader that waits for it
// fails the test instead of hanging it.
class LockHeldElsewhere {
 public:
  explicit LockHeldElsewhere(std::mutex& lock) : thread_([this, &lock] { Hold(lock); }) {
    std::unique_lock state(mutex_);
    changed_.wait(state, [this] { return held_; });
  }
  ~LockHeldElsewhere() {
    Release();
    thread_.join();
  }
  bool Held() {
    std::lock_guard state(mutex_);
    return held_;
  }
  void Release() {
    std::lock_guard state(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  void Hold(std::mutex& lock) {
    std::lock_guard held(lock);
    std::unique_lock state(mutex_);
    held_ = true;
    changed_.notify_all();
    changed_.wait_for(state, std::chrono::minutes(1), [this] { return released_; });
    held_ = false;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
  std::thread thread_;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  PrivateHome home_;
  std::shared_ptr<FakeSearchService> service_;
  QStringList opened_;
  std::unique_ptr<MainController> controller_;
  std::unique_ptr<MainWindow> window_;

  template <typename Widget>
  Widget* Child(const char* name) {
    auto* widget = window_->findChild<Widget*>(QLatin1String(name));
    if (widget == nullptr) qFatal("no child %s", name);
    return widget;
  }

  QTreeView* List() { return Child<QTreeView>("resultList"); }
  ResultGrid* Grid() { return Child<ResultGrid>("resultGrid"); }
  QLabel* Preview() { return Child<QLabel>("previewPicture"); }

  void ClickSearchAndWait() {
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    QTest::mouseClick(Child<QPushButton>("searchButton"), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
  }

  void SelectRowAndWait(int row) {
    QSignalSpy finished(controller_.get(), &MainController::previewFinished);
    List()->setCurrentIndex(List()->model()->index(row, 0));
    QVERIFY(finished.wait(10000));
  }

  void DoubleClickThenRightClick(QAbstractItemView* view, int row) {
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    // A real double-click starts with a press on the same row.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &rightClick);
  }

  void ListDocuments() {
    service_->SetAnswer("doc", Results("/data/文档", {"with.pdf", "without.ai", "third.cdr"}));
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), "doc");
    ClickSearchAndWait();
    QCOMPARE(List()->model()->rowCount(), 3);
  }

 private slots:
  void init() {
    service_ = std::make_shared<FakeSearchService>();
    opened_.clear();
    MainControllerSetup setup;
    setup.service = service_;
    setup.settingsPath = home_.SettingsPath();
    setup.settings = {u"", u"/home/me/Thumbs缩略图"};
    setup.startPicture = SolidPicture(270, 256, Qt::blue);
    setup.opener = [this](const QUrl& url) { opened_ << url.toLocalFile(); };
    setup.extractor = FakeExtractor({{"with.pdf", SolidPicture(135, 128, Qt::red)}}, nullptr);
    DocumentMetadata placing;
    placing.application = "InDesign";
    placing.links = {{"file:///Volumes/Jobs/Brand/logo 2024.ai", "xmp.did:1"}, {"", "xmp.did:2"}};
    setup.readDetails = FakeDetailsReader({{"with.pdf", placing}}, nullptr);
    setup.cellPictures = [extract = setup.extractor](const std::string& path, int) { return extract(path); };
    controller_ = std::make_unique<MainController>(std::move(setup));
    QIcon icon(QCoreApplication::applicationDirPath() + "/glimpses-icon.png");
    window_ = std::make_unique<MainWindow>(*controller_, icon, SolidPicture(380, 380, Qt::black));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    window_.reset();
    controller_.reset();
    QDir(QString::fromStdString(home_.Path("config"))).removeRecursively();
  }

  void windowHasItsTitleGeometryAndIcon() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具"));
    QCOMPARE(window_->pos(), QPoint(0, 0));
    QCOMPARE(window_->size(), QSize(950, 600));
    QVERIFY(window_->windowIcon().availableSizes().contains(QSize(128, 128)));
  }

  void elementsInCreationOrderAtTheirPlaces() {
    struct Element {
      const char* name;
      const char* kind;
      QRect geometry;
      const char* text;  // nullptr: not looked at
      const char* toolTip;
    };
    const Element expected[] = {
        {"keywordEdit", "QLineEdit", {1, 2, 300, 22}, "", ""},
        {"outputDirEdit", "QLineEdit", {410, 2, 241, 22}, "/home/me/Thumbs缩略图", ""},
        {"searchButton", "QPushButton", {306, 2, 98, 22}, "关键字 --> 搜索", "请输入关键字,用空格隔开"},
        {"folderButton", "QPushButton", {656, 2, 80, 32}, "选择目录", "选择缩略图保存的目录"},
        {"startButton", "QPushButton", {656, 40, 80, 40}, "开始执行", "开始执行提取缩略图"},
        {"saveCloseButton", "QPushButton", {656, 88, 80, 32}, "保存关闭", ""},
        {"resultList", "QTreeView", {1, 25, 650, 518}, nullptr, ""},
        {"statusText", "QLabel", {1, 545, 650, 22}, "Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具", ""},
        {"tipCaption", "QLabel", {780, 195, 160, 18}, "微信扫一扫打赏作者", ""},
        {"previewPicture", "QLabel", {656, 250, 270, 256}, nullptr, ""},
        {"tipPicture", "QLabel", {740, 2, 190, 190}, nullptr, ""},
        {"actionsButton", "QToolButton", {656, 126, 80, 24}, "所选文档", ""},
        {"resultGrid", "glimpses::ResultGrid", {1, 25, 650, 518}, nullptr, ""},
        {"listViewButton", "QPushButton", {656, 156, 39, 24}, "列表", "列表视图 (Ctrl+1)"},
        {"gridViewButton", "QPushButton", {697, 156, 39, 24}, "网格", "缩略图网格视图 (Ctrl+2)"},
        {"cellSizeSlider", "QSlider", {656, 186, 80, 22}, nullptr, "缩略图大小 (Ctrl+滚轮, Ctrl+加号/减号)"},
        {"splitter", "QWidget", {651, 25, 5, 518}, nullptr, ""},
        {"previewTabButton", "QPushButton", {656, 224, 39, 24}, "预览", "显示所选文档的缩略图"},
        {"detailsTabButton", "QPushButton", {697, 224, 39, 24}, "信息", "显示所选文档的信息 (Ctrl+I)"},
        {"detailsPanel", "QTextBrowser", {656, 250, 270, 256}, nullptr, ""},
        {"statusCancel", "QLabel", {1, 545, 40, 22}, nullptr, "停止正在进行的导出"},
    };
    QList<QWidget*> children = window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), int(std::size(expected)));
    for (int i = 0; i < children.size(); ++i) {
      const Element& e = expected[i];
      QWidget* child = children[i];
      QCOMPARE(child->objectName(), QLatin1String(e.name));
      QCOMPARE(child->metaObject()->className(), e.kind);
      QCOMPARE(child->geometry(), e.geometry);
      QCOMPARE(child->toolTip(), QString::fromUtf8(e.toolTip));
      if (e.text == nullptr) continue;
      QString text = child->property("text").toString();
      QCOMPARE(text, QString::fromUtf8(e.text));
    }
  }

  // The locale as the program reads it at start; only English is
  // translated, and C/POSIX (no locale set) keeps the Chinese texts.
  void windowSpeaksTheLocalesLanguage_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("saveClose");
    QTest::addColumn<QString>("modifiedHeader");
    QTest::addColumn<QString>("title");
    const QString chinese[] = {u"保存关闭"_qs, u"修改日期"_qs, u"Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具"_qs};
    QTest::newRow("en_US") << "en_US.UTF-8"
                           << "Save and close"
                           << "Modified"
                           << "Adobe AI EPS INDD PDF and CorelDRAW thumbnail tool";
    QTest::newRow("en_GB") << "en_GB"
                           << "Save and close"
                           << "Modified"
                           << "Adobe AI EPS INDD PDF and CorelDRAW thumbnail tool";
    for (const char* locale : {"C", "POSIX", "zh_CN.UTF-8", "de_DE.UTF-8"}) {
      QTest::newRow(locale) << locale << chinese[0] << chinese[1] << chinese[2];
    }
  }

  void windowSpeaksTheLocalesLanguage() {
    QFETCH(QString, locale);
    QFETCH(QString, saveClose);
    QFETCH(QString, modifiedHeader);
    QFETCH(QString, title);
    std::unique_ptr<QTranslator> translator = WindowTranslator(QLocale(locale));
    if (translator) QCoreApplication::installTranslator(translator.get());
    MainControllerSetup setup;
    setup.service = service_;
    setup.settingsPath = home_.SettingsPath();
    MainController controller(std::move(setup));
    MainWindow window(controller, QIcon(), QImage());
    QCOMPARE(window.findChild<QPushButton*>("saveCloseButton")->text(), saveClose);
    QTreeView* list = window.findChild<QTreeView*>("resultList");
    QCOMPARE(list->model()->headerData(ResultListModel::kModifiedColumn, Qt::Horizontal).toString(), modifiedHeader);
    QCOMPARE(window.windowTitle(), title);
    QCOMPARE(controller.statusText(), title);
    if (translator) QCoreApplication::removeTranslator(translator.get());
  }

  // Through the real index: the header's clicks reach the search, which
  // orders by the files' own times, and the order outlives the window.
  void headerClicksOnTheDateListOldestThenNewestFirst() {
    QTemporaryDir root;
    const std::pair<const char*, int> documents[] = {{"a.pdf", 2024}, {"b.ai", 2020}, {"c.eps", 2022}};
    for (const auto& [name, year] : documents) {
      QFile file(root.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
      QVERIFY(file.setFileTime(QDateTime(QDate(year, 6, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
    }
    SearchOptions options;
    options.roots = {root.path().toStdString()};
    options.cacheDir = home_.Path("cache");
    window_.reset();
    MainControllerSetup setup;
    setup.service = EnsureSearchServiceRunning(options);
    setup.settingsPath = home_.SettingsPath();
    controller_ = std::make_unique<MainController>(std::move(setup));
    window_ = std::make_unique<MainWindow>(*controller_, QIcon(), QImage());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

    auto names = [this] {
      QStringList shown;
      for (int row = 0; row < List()->model()->rowCount(); ++row)
        shown << List()->model()->index(row, 0).data().toString();
      return shown;
    };
    auto clickModified = [this] {
      QSignalSpy finished(controller_.get(), &MainController::searchFinished);
      QHeaderView* header = List()->header();
      List()->scrollTo(List()->model()->index(0, ResultListModel::kModifiedColumn));
      const int x = header->sectionViewportPosition(ResultListModel::kModifiedColumn) + 10;
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
      QVERIFY(finished.wait(10000));
    };
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), ".");
    ClickSearchAndWait();
    QCOMPARE(names(), (QStringList{"a.pdf", "b.ai", "c.eps"}));
    clickModified();
    QCOMPARE(names(), (QStringList{"b.ai", "c.eps", "a.pdf"}));
    QCOMPARE(List()->model()->index(2, ResultListModel::kModifiedColumn).data().toString(),
             QLocale().toString(QDateTime(QDate(2024, 6, 1), QTime(12, 0)), QLocale::ShortFormat));
    clickModified();
    QCOMPARE(names(), (QStringList{"a.pdf", "c.eps", "b.ai"}));
    QCOMPARE(List()->header()->sortIndicatorSection(), int(ResultListModel::kModifiedColumn));
    QCOMPARE(List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY((LoadPreferences(PreferencesPathBeside(home_.SettingsPath())).sort == SortOrder{SortKey::kModified, true}));
  }

  void listHasItsColumns() {
    QHeaderView* header = List()->header();
    const char* titles[] = {"名称", "路径", "文件版本", "大小", "修改日期"};
    const int widths[] = {260, 260, 100, 80, 130};
    QCOMPARE(List()->model()->columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
      QCOMPARE(List()->model()->headerData(column, Qt::Horizontal).toString(), QString::fromUtf8(titles[column]));
      QCOMPARE(header->sectionSize(column), widths[column]);
    }
  }

  void keywordEditHasTheFocusAndPicturesShow() {
    QCOMPARE(window_->focusWidget(), Child<QLineEdit>("keywordEdit"));
    QCOMPARE(Preview()->pixmap().size(), QSize(270, 256));
    QCOMPARE(Child<QLabel>("tipPicture")->pixmap().size(), QSize(190, 190));
  }

  void statusLineCountsTheListedDocuments() {
    ListDocuments();
    QCOMPARE(Child<QLabel>("statusText")->text(),
             QStringLiteral("匹配: 3 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径"));
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(List()->model()->index(row, 1).data().toString(), QStringLiteral("/data/文档"));
      QVERIFY(List()->model()->index(row, 2).data().toString().isEmpty());
    }

    service_->SetAnswer("nothing", Results("/x", {}));
    Child<QLineEdit>("keywordEdit")->setText("nothing");
    ClickSearchAndWait();
    QCOMPARE(List()->model()->rowCount(), 0);
    QCOMPARE(Child<QLabel>("statusText")->text(),
             QStringLiteral("匹配: 0 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径"));
  }

  void selectingRowsShowsOrEmptiesThePreview() {
    ListDocuments();
    SelectRowAndWait(0);
    QCOMPARE(Preview()->pixmap().size(), QSize(270, 256));
    const QColor shown = Preview()->pixmap().toImage().pixelColor(10, 10);
    QVERIFY(shown.red() > 240 && shown.green() < 16 && shown.blue() < 16);  // red, through JPEG
    SelectRowAndWait(1);
    QVERIFY(Preview()->pixmap().isNull());
  }

  void doubleClickOpensTheFileAndRightClickTheFolder() {
    ListDocuments();
    SelectRowAndWait(2);
    DoubleClickThenRightClick(List(), 2);
    QCOMPARE(opened_, (QStringList{"/data/文档/third.cdr", "/data/文档"}));
  }

  void keysActOnTheSelection() {
    ListDocuments();
    List()->setFocus();
    SelectRowAndWait(0);
    QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(List()->selectionModel()->selectedRows().size(), 3);

    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(copied->data("text/uri-list"),
             QByteArray("file:///data/%E6%96%87%E6%A1%A3/with.pdf\r\nfile:///data/%E6%96%87%E6%A1%A3/without.ai\r\n"
                        "file:///data/%E6%96%87%E6%A1%A3/third.cdr\r\n"));
    QVERIFY(copied->data("x-special/gnome-copied-files").startsWith("copy\nfile:///"));
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("/data/文档/with.pdf\n/data/文档/without.ai\n/data/文档/third.cdr\n"));

    QTest::keyClick(List(), Qt::Key_Return);
    QCOMPARE(opened_, (QStringList{"/data/文档/with.pdf", "/data/文档/without.ai", "/data/文档/third.cdr"}));
    opened_.clear();
    QTest::keyClick(List(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(opened_, QStringList{"/data/文档"});  // their one folder, once

    auto* menu = Child<QToolButton>("actionsButton")->menu();
    QVERIFY(!menu->isVisible());
    QTest::keyClick(List(), Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(menu->isVisible());
    menu->hide();
    QCOMPARE(opened_.size(), 1);  // the menu key opens nothing by itself
  }

  // The grid is the list's model and selection seen as cells: the keys
  // switch between them with the selection and the top row kept, and a cell
  // answers the mouse and the keys as a row does.
  void gridShowsTheListsRowsAndActsLikeIt() {
    ListDocuments();
    QCOMPARE(Grid()->isVisible(), false);  // the list is the view at start
    SelectRowAndWait(0);
    List()->selectionModel()->select(List()->model()->index(2, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_2, Qt::ControlModifier);
    QVERIFY(Grid()->isVisible() && !List()->isVisible());
    QVERIFY(Grid()->hasFocus());
    QVERIFY(Child<QPushButton>("gridViewButton")->isChecked());
    QCOMPARE(Grid()->selectionModel()->selectedRows().size(), 2);

    // Pictures arrive in their cells; a document without one shows its kind.
    QTRY_VERIFY(controller_->pictures()->Find(*controller_->resultModel()->ResultAt(1)) != nullptr);
    QTRY_VERIFY(controller_->pictures()->Find(*controller_->resultModel()->ResultAt(0)) != nullptr);
    const QImage shown = Grid()->viewport()->grab().toImage();
    const QRect first = Grid()->visualRect(Grid()->model()->index(0, 0));
    QCOMPARE(shown.pixelColor(first.center() - QPoint(0, 10)), QColor(Qt::red));

    QTest::keyClick(Grid(), Qt::Key_Right);
    QTRY_COMPARE(controller_->selectedPath(), QStringLiteral("/data/文档/without.ai"));
    QTest::keyClick(Grid(), Qt::Key_End);
    QCOMPARE(Grid()->currentIndex().row(), 2);
    QTest::keyClick(Grid(), Qt::Key_Home);
    QCOMPARE(Grid()->currentIndex().row(), 0);
    QTest::keyClick(Grid(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(Grid(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/data/文档/with.pdf\n/data/文档/without.ai\n"));

    DoubleClickThenRightClick(Grid(), 2);
    QCOMPARE(opened_, (QStringList{"/data/文档/third.cdr", "/data/文档"}));

    QTest::keyClick(Grid(), Qt::Key_1, Qt::ControlModifier);
    QVERIFY(List()->isVisible() && !Grid()->isVisible());
    QCOMPARE(List()->currentIndex().row(), 2);
    QCOMPARE(List()->selectionModel()->selectedRows().size(), 1);
  }

  // The row at the top of one view is at the top of the other; the grid
  // asks for the pictures of the cells it shows.
  void switchingViewsKeepsTheTopRow() {
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) names.push_back(QString::asprintf("doc%03d.pdf", i).toStdString());
    service_->SetAnswer("doc", Results("/d", names));
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), "doc");
    ClickSearchAndWait();
    QAbstractItemModel* model = List()->model();
    List()->scrollTo(model->index(300, 0), QAbstractItemView::PositionAtTop);
    QTest::keyClick(window_.get(), Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(Grid()->visualRect(model->index(300, 0)).top(), 0);

    const auto [first, last] = Grid()->VisibleRows();
    QCOMPARE(Grid()->indexAt(QPoint(1, 1)).row(), first);
    QVERIFY(Grid()->viewport()->rect().intersects(Grid()->visualRect(model->index(last, 0))));
    QVERIFY(!Grid()->viewport()->rect().intersects(Grid()->visualRect(model->index(last + 1, 0))));
    QTRY_VERIFY(controller_->pictures()->Find(*controller_->resultModel()->ResultAt(last)) != nullptr);

    Grid()->scrollTo(model->index(420, 0), QAbstractItemView::PositionAtTop);
    const int gridTop = Grid()->indexAt(QPoint(1, 1)).row();
    QVERIFY(gridTop > 400 && gridTop <= 420);
    QTest::keyClick(window_.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(List()->indexAt(QPoint(1, 1)).row(), gridTop);
  }

  // The cell size stays within 64..512 px whichever way it is asked for.
  void cellSizeStaysWithinItsBounds() {
    QTest::keyClick(window_.get(), Qt::Key_2, Qt::ControlModifier);
    auto* slider = Child<QSlider>("cellSizeSlider");
    QVERIFY(slider->isEnabled());
    for (int i = 0; i < 20; ++i) QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(Grid()->cellEdge(), 512);
    QWheelEvent down(QPointF(10, 10), Grid()->viewport()->mapToGlobal(QPointF(10, 10)), {}, {0, -120 * 30},
                     Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Grid()->viewport(), &down);
    QCOMPARE(Grid()->cellEdge(), 64);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(Grid()->cellEdge(), 96);
    QCOMPARE(slider->value(), 96);
  }

  // Larger, the results and the preview take the room, split at the
  // splitter, with the edits where they were, the buttons beside the
  // preview, the details under it and the status line at the bottom; back
  // at the first size every element is where it was. The arrangement
  // outlives the window.
  void aLargerWindowGivesItsRoomToTheResultsAndThePreview() {
    const QRect firstPreview = Preview()->geometry();
    window_->resize(1920, 1080);
    QTRY_COMPARE(List()->geometry(), QRect(1, 25, 650 + 582, 518 + 480));
    QCOMPARE(Grid()->geometry(), List()->geometry());
    QCOMPARE(Preview()->geometry(), QRect(656 + 582, 250, 270 + 388, 478));
    QCOMPARE(Preview()->geometry().right(), 1920 - 25);  // as at 950 x 600: no band beside it
    // The details share the column down to the status line's bottom, 6 px below the preview.
    auto* details = Child<QTextBrowser>("detailsPanel");
    QCOMPARE(details->geometry(), QRect(656 + 582, 250 + 478 + 6, 270 + 388, 545 + 480 + 22 - 734));
    QVERIFY(details->isVisible());
    QVERIFY(!Child<QPushButton>("detailsTabButton")->isVisible());
    QCOMPARE(Child<QLabel>("statusText")->geometry(), QRect(1, 545 + 480, 650 + 582, 22));
    QCOMPARE(Child<QLineEdit>("keywordEdit")->geometry(), QRect(1, 2, 300, 22));
    QCOMPARE(Child<QPushButton>("startButton")->geometry(), QRect(656 + 582, 40, 80, 40));
    QCOMPARE(Child<QLabel>("tipPicture")->geometry(), QRect(740 + 582, 2, 190, 190));
    // The start picture (270 x 256) fills the larger box.
    QCOMPARE(Preview()->pixmap().size(), QSize(504, 478));

    QWidget* splitter = Child<QWidget>("splitter");
    const QPoint grip = splitter->rect().center();
    QTest::mousePress(splitter, Qt::LeftButton, {}, grip);
    QMouseEvent drag(QEvent::MouseMove, QPointF(grip - QPoint(291, 0)),
                     splitter->mapToGlobal(QPointF(grip - QPoint(291, 0))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(splitter, &drag);
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, grip - QPoint(291, 0));
    QCOMPARE(List()->width(), 650 + 291);
    QCOMPARE(Preview()->geometry(), QRect(656 + 291, 250, 270 + 679, 478));

    window_->resize(950, 600);
    QTRY_COMPARE(List()->geometry(), QRect(1, 25, 650, 518));
    QCOMPARE(Preview()->geometry(), firstPreview);
    QVERIFY(!details->isVisible());
    QVERIFY(Child<QPushButton>("detailsTabButton")->isVisible());
    QCOMPARE(Child<QPushButton>("startButton")->geometry(), QRect(656, 40, 80, 40));

    window_->resize(1280, 800);
    QTRY_COMPARE(window_->size(), QSize(1280, 800));
    QTest::keyClick(window_.get(), Qt::Key_2, Qt::ControlModifier);
    QTest::keyClick(window_.get(), Qt::Key_Plus, Qt::ControlModifier);
    window_.reset();
    const WindowArrangement kept = LoadPreferences(PreferencesPathBeside(home_.SettingsPath())).window;
    QCOMPARE(kept, (WindowArrangement{QSize(1280, 800), false, 0.3, true, 160}));
    window_ = std::make_unique<MainWindow>(*controller_, QIcon(), QImage());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(window_->size(), QSize(1280, 800));
    QVERIFY(Grid()->isVisible());
    QCOMPARE(Grid()->cellEdge(), 160);
    QCOMPARE(List()->width(), 650 + 99);
  }

  // At the first size the details take the preview's box on request; a
  // placed file's name there lists the documents that place it.
  void detailsTabShowsThePlacedFilesAndANameSearchesForThem() {
    ListDocuments();
    SelectRowAndWait(0);
    auto* details = Child<QTextBrowser>("detailsPanel");
    QVERIFY(!details->isVisible());
    QTest::mouseClick(Child<QPushButton>("detailsTabButton"), Qt::LeftButton);
    QVERIFY(details->isVisible());
    QVERIFY(!Preview()->isVisible());
    QVERIFY(Child<QPushButton>("listViewButton")->isChecked());  // the tabs are a pair of their own
    QCOMPARE(details->geometry(), QRect(656, 250, 270, 256));
    QTRY_VERIFY(details->toPlainText().contains(QStringLiteral("logo 2024.ai")));

    QTextCursor link = details->document()->find(QStringLiteral("logo 2024.ai"));
    QVERIFY(!link.isNull());
    link.setPosition(link.selectionStart() + 2);
    const QPoint at = details->cursorRect(link).center();
    QSignalSpy searched(controller_.get(), &MainController::searchFinished);
    QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(searched.wait(10000));
    QCOMPARE(Child<QLineEdit>("keywordEdit")->text(), QStringLiteral("links:\"logo 2024.ai\""));
    QCOMPARE(service_->Queries().back(), std::string("links:\"logo 2024.ai\""));

    QTest::keyClick(window_.get(), Qt::Key_I, Qt::ControlModifier);
    QVERIFY(!details->isVisible());
    QVERIFY(Preview()->isVisible());
  }

  void saveAndCloseWritesTheEditsAndClosesWithZero() {
    QSignalSpy close(controller_.get(), &MainController::closeRequested);
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), "logo");
    Child<QLineEdit>("outputDirEdit")->setText(QStringLiteral("/out"));
    QTest::mouseClick(Child<QPushButton>("saveCloseButton"), Qt::LeftButton);
    QCOMPARE(close.count(), 1);
    QCOMPARE(close.first().first().toInt(), 0);
    QCOMPARE(home_.SettingsBytes(), QByteArray("logo\r\n/out\r\n"));
  }

  void closingTheWindowOtherwiseSavesNothing() {
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), "logo");
    window_->close();
    QVERIFY(!QFile::exists(QString::fromStdString(home_.SettingsPath())));
  }

  void startButtonReadsTheEdits() {
    Child<QLineEdit>("outputDirEdit")->setText(QStringLiteral("导出/到这里"));
    QTest::mouseClick(Child<QPushButton>("startButton"), Qt::LeftButton);
    QCOMPARE(controller_->outputDir(), QStringLiteral("导出/到这里"));
    // Relative: refused, not written under the folder we happen to run in.
    QVERIFY(Child<QLabel>("statusText")->text().contains(QStringLiteral("完整路径")));
    QVERIFY(!QDir(QStringLiteral("导出")).exists());
  }

  void startButtonExportsThenCancelsAndShowsTheOutcome() {
    QTemporaryDir documents;
    service_->SetAnswer("logo", Results(documents.path().toStdString(), WriteExportSamples(documents.path())));
    const QString output = home_.path() + QStringLiteral("/导出");
    QPushButton* start = Child<QPushButton>("startButton");
    QLabel* status = Child<QLabel>("statusText");
    QTest::keyClicks(Child<QLineEdit>("keywordEdit"), "logo");
    // The searches typed end first: one still waiting when the gate below
    // closes would end after the export and put its count in the line.
    QTRY_VERIFY(!controller_->IsSearching());
    Child<QLineEdit>("outputDirEdit")->setText(output);

    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(start->text(), QStringLiteral("取消"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(status->text(), QStringLiteral("导出完成: 4 个文档, 写入 3 个缩略图, 1 个文档没有缩略图"));
    QCOMPARE(start->text(), QStringLiteral("开始执行"));
    QCOMPARE(start->toolTip(), QStringLiteral("开始执行提取缩略图"));
    QStringList written = FilesIn(output);
    written.sort();
    QCOMPARE(written, ExportSamplePictures());
    QCOMPARE(opened_, QStringList{output});

    // Held at the query, then cancelled by a second press of the same button.
    QVERIFY(QDir(output).removeRecursively());
    service_->gates().Close("logo");
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(start->text(), QStringLiteral("取消"));
    QVERIFY(start->toolTip() != QStringLiteral("开始执行提取缩略图"));
    QTest::mouseClick(start, Qt::LeftButton);
    service_->gates().Open("logo");
    QTRY_COMPARE(finished.count(), 2);
    QVERIFY(status->text().startsWith(QStringLiteral("导出已取消: ")));
    QCOMPARE(start->text(), QStringLiteral("开始执行"));
    QCOMPARE(FilesIn(output), QStringList());
    QCOMPARE(opened_.size(), 1);
  }

  void typingSearchesAtEveryKeyAndTheLastInputWins() {
    service_->SetAnswer("rep", Results("/d", {"rep.pdf", "report.pdf"}));
    service_->SetAnswer("repo", Results("/d", {"report.pdf"}));
    auto* edit = Child<QLineEdit>("keywordEdit");
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    // "r" searches at once; the keys that come while it runs wait for it,
    // and only the text they leave is searched next.
    QTest::keyClicks(edit, "rep");
    QVERIFY(controller_->IsSearching());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(service_->Queries(), (std::vector<std::string>{"r", "rep"}));
    QCOMPARE(List()->model()->rowCount(), 2);

    QTest::keyClick(edit, 'o');
    QVERIFY(controller_->IsSearching());
    QTRY_COMPARE(finished.count(), 2);
    QCOMPARE(List()->model()->rowCount(), 1);
    QCOMPARE(Child<QLabel>("statusText")->text(), FormatStatusText(1));

    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(controller_->IsSearching());
    QTRY_COMPARE(finished.count(), 3);
    QCOMPARE(service_->Queries(), (std::vector<std::string>{"r", "rep", "repo", "repo"}));
    // A text set by code is not typing.
    edit->setText("set");
    QVERIFY(!controller_->IsSearching());
  }

  void theListMakesOnlyTheRowsItShows() {
    // Half a million rows: the list asks for those on screen, not for all.
    struct CountingRows final : AnswerRows {
      std::size_t size() const override { return 500'000; }
      RowsRead Read(std::size_t first, std::size_t count, RowsWait) const override {
        RowsRead read;
        for (std::size_t i = first; i < first + count; ++i, ++made)
          read.rows.push_back({"row" + std::to_string(i) + ".pdf", "/d"});
        return read;
      }
      mutable std::atomic<int> made{0};
    };
    auto rows = std::make_shared<CountingRows>();
    controller_->resultModel()->SetRows(rows);
    List()->scrollToBottom();
    List()->viewport()->repaint();
    QCOMPARE(List()->model()->rowCount(), 500'000);
    QCOMPARE(List()->model()->data(List()->model()->index(499'999, 0)).toString(), QStringLiteral("row499999.pdf"));
    QVERIFY(rows->made > 0);
    QVERIFY(rows->made < 2000);
  }

  void rowsOutdatedByTheIndexSearchAgain() {
    struct Outdated final : AnswerRows {
      std::size_t size() const override { return 3; }
      RowsRead Read(std::size_t, std::size_t, RowsWait) const override { return {RowsRead::kOutdated, {}}; }
    };
    service_->SetAnswer("doc", Results("/d", {"a.pdf"}));
    controller_->SetKeywordText("doc");
    controller_->resultModel()->SetRows(std::make_shared<Outdated>());
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    QVERIFY(!List()->model()->data(List()->model()->index(0, 0)).isValid());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(service_->Queries(), std::vector<std::string>{"doc"});
    QCOMPARE(List()->model()->data(List()->model()->index(0, 0)).toString(), QStringLiteral("a.pdf"));
  }

  void rowsShowAndSelectWhileACatchUpHoldsTheIndex() {
    // A real index whose answer reaches past the run made with it.
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkdir("d"));
    for (int i = 0; i < 200; ++i)
      QVERIFY(QFile(tree.filePath(QString::asprintf("d/doc%03d.pdf", i))).open(QFile::WriteOnly));
    auto guarded = std::make_shared<GuardedIndex>(NormalizeRoots({tree.path().toStdString()}), false);
    {
      std::lock_guard lock(guarded->mutex);
      guarded->index.Build();
      controller_->resultModel()->SetRows(
          MakeIndexRows(guarded, *guarded->index.Match(Query::Parse("doc"), IsListedDocument)));
    }
    QAbstractItemModel* model = List()->model();
    QCOMPARE(model->rowCount(), 200);

    LockHeldElsewhere catchUp(guarded->mutex);
    List()->scrollToBottom();
    List()->viewport()->repaint();
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("doc000.pdf"));
    QVERIFY(!model->data(model->index(199, 0)).isValid());
    List()->setCurrentIndex(model->index(199, 0));
    QVERIFY(controller_->selectedPath().isEmpty());
    QVERIFY(catchUp.Held());  // all of the above ended while the index was held

    catchUp.Release();
    QTRY_COMPARE(model->data(model->index(199, 0)).toString(), QStringLiteral("doc199.pdf"));
    QCOMPARE(model->data(model->index(150, 1)).toString(), tree.filePath("d"));
    QTRY_COMPARE(controller_->selectedPath(), tree.filePath("d/doc199.pdf"));
  }
};

QTEST_MAIN(MainWindowTest)

#include "main_window_test.moc"

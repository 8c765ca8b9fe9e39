#include "app/main_controller.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QScopeGuard>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "app/app_test_support.h"
#include "base/file_uri.h"
#include "base/file_util.h"
#include "samples/adobe_samples.h"
#include "thumbcache/desktop_thumbnails.h"
#include "thumbcache/thumbnail_png.h"

using namespace glimpses;
using namespace glimpses::testing;

namespace {

const QString kStatusZero =
    QStringLiteral("匹配: 0 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径");
const QString kStatusTwo =
    QStringLiteral("匹配: 2 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径");

// Every file below `folder`, full paths, sorted.
QStringList FilesUnder(const std::string& folder) {
  QStringList files;
  QDirIterator it(QString::fromStdString(folder), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) files << it.next();
  files.sort();
  return files;
}

}  // namespace

class MainControllerTest : public QObject {
  Q_OBJECT

 private:
  PrivateHome home_;
  std::shared_ptr<FakeSearchService> service_;
  Gates extractGates_;
  QStringList opened_;
  QStringList folderDialogTitles_;
  QString folderAnswer_;
  std::unique_ptr<MainController> controller_;
  // The grid's pictures: every load waits while "cells" is closed, and the
  // documents loaded are noted in order.
  Gates cellGates_;
  std::mutex cellMutex_;
  std::vector<std::string> cellLoads_;
  std::atomic<int> cellLoadsStarted_{0};

  MainControllerSetup Setup() {
    MainControllerSetup setup;
    setup.service = service_;
    setup.settingsPath = home_.SettingsPath();
    setup.settings = {u"旧 关键字", u"/data/输出"};
    setup.startPicture = SolidPicture(540, 512, Qt::blue);
    setup.opener = [this](const QUrl& url) { opened_ << url.toLocalFile(); };
    setup.chooseFolder = [this](const QString& title, const QString&) {
      folderDialogTitles_ << title;
      return folderAnswer_;
    };
    setup.extractor = FakeExtractor({{"with.pdf", SolidPicture(100, 50, Qt::red)},
                                     {"big.ai", SolidPicture(1000, 100, Qt::green)},
                                     {"slow.eps", SolidPicture(60, 60, Qt::yellow)}},
                                    &extractGates_);
    setup.readDetails = FakeDetailsReader(
        {{"with.pdf", Made("Illustrator", "CC 2017")}, {"slow.eps", Made("Illustrator", "CS6")}}, &extractGates_);
    setup.cellPictures = [this](const std::string& path, int edge) {
      ++cellLoadsStarted_;
      cellGates_.WaitWhileClosed("cells");
      std::lock_guard lock(cellMutex_);
      cellLoads_.push_back(path.substr(path.rfind('/') + 1));
      return SolidPicture(edge, edge / 2, Qt::green);
    };
    return setup;
  }

  std::vector<std::string> CellLoads() {
    std::lock_guard lock(cellMutex_);
    return cellLoads_;
  }

  // Lists d000.pdf, d001.pdf... and wishes for the cells of `rows`, most
  // wanted first.
  void ListMany(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(QString::asprintf("d%03d.pdf", i).toStdString());
    service_->SetAnswer("many", Results("/d", names));
    QVERIFY(Search("many"));
  }
  void WantCells(int first, int last, int edge = 128) {
    std::vector<PicturePool::Request> requests;
    for (int row = first; row <= last; ++row) requests.push_back({row, *controller_->resultModel()->ResultAt(row)});
    controller_->pictures()->Want(requests, edge);
  }

  static DocumentMetadata Made(const std::string& application, const std::string& version) {
    DocumentMetadata metadata;
    metadata.application = application;
    metadata.version = version;
    return metadata;
  }

  // Runs a search for `text` and waits for its outcome.
  bool Search(const QString& text) {
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText(text);
    controller_->SearchDocuments();
    if (!finished.wait(10000)) return false;
    return finished.first().first().toBool();
  }

  bool Preview(int row) {
    QSignalSpy finished(controller_.get(), &MainController::previewFinished);
    if (!controller_->PreviewSelectedDocument(row)) return false;
    return finished.wait(10000) && finished.first().first().toBool();
  }

  void ListDocuments() {
    service_->SetAnswer("doc", Results("/data/文档", {"with.pdf", "without.pdf", "big.ai", "slow.eps"}));
    QVERIFY(Search("doc"));
  }

  // Lets every worker finish and delivers what they reported.
  void Settle() {
    controller_->WaitForBackgroundWork();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }

 private slots:
  void init() {
    service_ = std::make_shared<FakeSearchService>();
    opened_.clear();
    folderDialogTitles_.clear();
    folderAnswer_.clear();
    controller_ = std::make_unique<MainController>(Setup());
  }

  void cleanup() {
    extractGates_.Open("slow.eps");
    cellGates_.Open("cells");
    cellLoads_.clear();
    cellLoadsStarted_ = 0;
    controller_.reset();
    QDir(QString::fromStdString(home_.Path("config"))).removeRecursively();
    QDir(QString::fromStdString(home_.Path("cache"))).removeRecursively();
  }

  void startsWithTitleSettingsAndFittedStartPicture() {
    QCOMPARE(controller_->statusText(), QStringLiteral("Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具"));
    QCOMPARE(controller_->keywordText(), QStringLiteral("旧 关键字"));
    QCOMPARE(controller_->outputDirText(), QStringLiteral("/data/输出"));
    QCOMPARE(controller_->previewImage().size(), QSize(270, 256));
    QCOMPARE(controller_->resultModel()->rowCount(), 0);
  }

  void searchListsDocumentsAndCounts() {
    service_->SetAnswer("报告 pdf", Results("/data/项目", {"报告.pdf", "notes.txt", "图.Cdr", "a.Pdf"}));
    QVERIFY(Search(QStringLiteral("报告 pdf")));
    QCOMPARE(service_->Queries(), std::vector<std::string>{"报告 pdf"});
    ResultListModel* model = controller_->resultModel();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("报告.pdf"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("/data/项目"));
    QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("图.Cdr"));
    for (int row = 0; row < model->rowCount(); ++row) QVERIFY(!model->index(row, 2).data().isValid());
    QCOMPARE(controller_->statusText(), kStatusTwo);
  }

  void foldersBeyondTheNotificationsAreNamedAfterTheCount() {
    service_->SetAnswer("two", Results("/d", {"a.pdf", "b.ai"}));
    service_->SetCoverage({1, 250});
    QVERIFY(Search(QStringLiteral("two")));
    QCOMPARE(controller_->statusText(),
             kStatusTwo + QStringLiteral(" (1 个网络目录、250 个未能监视的文件夹: 每次搜索前检查修改时间)"));
    service_->SetCoverage({});
    QVERIFY(Search(QStringLiteral("two")));
    QCOMPARE(controller_->statusText(), kStatusTwo);
  }

  void searchWithNothingListedEmptiesTheList() {
    service_->SetAnswer("two", Results("/d", {"a.pdf", "b.ai"}));
    service_->SetAnswer("none", Results("/d", {"only.txt"}));
    QVERIFY(Search("two"));
    QVERIFY(Search("none"));
    QCOMPARE(controller_->resultModel()->rowCount(), 0);
    QCOMPARE(controller_->statusText(), kStatusZero);
  }

  void noAnswerChangesNothing() {
    service_->SetAnswer("two", Results("/d", {"a.pdf", "b.ai"}));
    service_->SetAnswer("broken", std::nullopt);
    QVERIFY(Search("two"));
    QSignalSpy statusChanges(controller_.get(), &MainController::statusTextChanged);
    QVERIFY(!Search("broken"));
    QCOMPARE(controller_->resultModel()->rowCount(), 2);
    QCOMPARE(controller_->statusText(), kStatusTwo);
    QCOMPARE(statusChanges.count(), 0);
  }

  // The reason is the one of the text searched, not of whatever the field
  // holds by the time the answer arrives.
  void malformedModifierSaysWhyAndKeepsTheList() {
    service_->SetAnswer("two", Results("/d", {"a.pdf", "b.ai"}));
    QVERIFY(Search("two"));
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText("size:>lots");
    controller_->SearchDocuments();
    controller_->SetKeywordText("two");
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(controller_->resultModel()->rowCount(), 2);
    QVERIFY2(controller_->statusText().startsWith(QStringLiteral("查询有误: size:")),
             qPrintable(controller_->statusText()));
  }

  void indexingNoteGivesWayToTheAnswerOrTheOldStatus() {
    QVERIFY(service_->AskedToKeepCurrent());
    service_->SetIndexing(true, 1234);
    service_->SetAnswer("broken", std::nullopt);
    service_->gates().Close("broken");
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText("broken");
    controller_->SearchDocuments();
    QVERIFY(controller_->statusText().contains(QStringLiteral("索引")));
    QVERIFY(controller_->statusText().contains(QStringLiteral("1234")));
    service_->SetIndexing(true, 56789);
    QTRY_VERIFY(controller_->statusText().contains(QStringLiteral("56789")));
    service_->gates().Open("broken");
    QVERIFY(finished.wait(10000));
    QCOMPARE(controller_->statusText(), QStringLiteral("Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具"));

    service_->SetAnswer("two", Results("/d", {"a.pdf", "b.ai"}));
    QVERIFY(Search("two"));
    QCOMPARE(controller_->statusText(), kStatusTwo);
  }

  void closingWhileASearchWaitsForTheIndexDoesNotWaitForTheBuild() {
    service_->SetIndexing(true);
    service_->gates().Close("waiting");
    controller_->SetKeywordText("waiting");
    controller_->SearchDocuments();
    controller_.reset();  // without a shutdown this waits for ever
    QVERIFY(service_->ShutdownRequested());
  }

  void whileASearchRunsOnlyTheNewestTextWaitsForIt() {
    service_->SetAnswer("old", Results("/old", {"old.pdf"}));
    service_->SetAnswer("newest", Results("/new", {"new1.pdf", "new2.pdf"}));
    service_->gates().Close("old");
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    for (const char* text : {"old", "newer", "newest"}) {
      controller_->SetKeywordText(text);
      controller_->SearchDocuments();
    }
    QVERIFY(controller_->IsSearching());
    service_->gates().Open("old");
    QTRY_COMPARE(finished.count(), 1);
    Settle();
    QCOMPARE(finished.count(), 1);  // the old answer was never shown
    QCOMPARE(service_->Queries(), (std::vector<std::string>{"old", "newest"}));
    QCOMPARE(controller_->resultModel()->rowCount(), 2);
    QCOMPARE(controller_->statusText(), kStatusTwo);
    QVERIFY(!controller_->IsSearching());
  }

  void selectingADocumentShowsItsFittedPicture() {
    ListDocuments();
    QVERIFY(Preview(2));  // big.ai, 1000 x 100
    QCOMPARE(controller_->previewImage().size(), QSize(270, 27));
    QVERIFY(Preview(0));  // with.pdf, 100 x 50: enlarged, by at most 2
    QCOMPARE(controller_->previewImage().size(), QSize(200, 100));
    QCOMPARE(controller_->selectedPath(), QStringLiteral("/data/文档/with.pdf"));
    QCOMPARE(controller_->selectedDir(), QStringLiteral("/data/文档"));
  }

  void documentWithoutThumbnailEmptiesThePreviewForGood() {
    ListDocuments();
    QSignalSpy changes(controller_.get(), &MainController::previewChanged);
    QVERIFY(!Preview(1));  // without.pdf
    QVERIFY(controller_->previewImage().isNull());
    QCOMPARE(changes.count(), 1);
    QVERIFY(changes.first().first().value<QImage>().isNull());
    QVERIFY(Preview(0));
    QVERIFY(!Preview(1));
    QVERIFY(controller_->previewImage().isNull());
  }

  void rowThatDoesNotExistChangesNothing_data() {
    QTest::addColumn<int>("row");
    QTest::newRow("no selection") << -1;
    QTest::newRow("far negative") << -100;
    QTest::newRow("past the end") << 4;
  }
  void rowThatDoesNotExistChangesNothing() {
    QFETCH(int, row);
    ListDocuments();
    QVERIFY(Preview(0));
    QImage before = controller_->previewImage();
    QSignalSpy changes(controller_.get(), &MainController::previewChanged);
    QVERIFY(!controller_->PreviewSelectedDocument(row));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(controller_->previewImage(), before);
    QCOMPARE(controller_->selectedPath(), QStringLiteral("/data/文档/with.pdf"));
  }

  void newerSelectionWinsOverAnOlderSlowExtraction() {
    ListDocuments();
    extractGates_.Close("slow.eps");
    QSignalSpy finished(controller_.get(), &MainController::previewFinished);
    QVERIFY(controller_->PreviewSelectedDocument(3));
    QVERIFY(controller_->PreviewSelectedDocument(0));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(controller_->previewImage().size(), QSize(200, 100));
    extractGates_.Open("slow.eps");
    QTRY_COMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).first().toBool(), false);
    QCOMPARE(controller_->previewImage().size(), QSize(200, 100));
    QCOMPARE(controller_->selectedPath(), QStringLiteral("/data/文档/with.pdf"));
  }

  // A scroll replaces the cells wished for: those scrolled past are never
  // made, the new ones come in the order asked for.
  // The details are emptied at once; a slow document read for an older
  // selection never replaces the newer one's; one that cannot be read says so.
  void detailsOfTheNewestSelectionWin() {
    ListDocuments();
    extractGates_.Close("slow.eps");
    QVERIFY(controller_->PreviewSelectedDocument(3));
    QCOMPARE(controller_->details().state, DocumentDetails::State::kReading);
    QCOMPARE(controller_->details().path, std::string("/data/文档/slow.eps"));
    QVERIFY(controller_->PreviewSelectedDocument(0));
    QTRY_COMPARE(controller_->details().state, DocumentDetails::State::kRead);
    extractGates_.Open("slow.eps");
    Settle();
    QCOMPARE(controller_->details().path, std::string("/data/文档/with.pdf"));
    QCOMPARE(VersionLabel(controller_->details().metadata), std::string("Illustrator CC 2017"));

    QVERIFY(controller_->PreviewSelectedDocument(1));
    QTRY_COMPARE(controller_->details().state, DocumentDetails::State::kUnreadable);
    QCOMPARE(controller_->details().path, std::string("/data/文档/without.pdf"));
  }

  void cellPicturesComeMostWantedFirstAndScrolledPastOnesAreDropped() {
    ListMany(100);
    cellGates_.Close("cells");
    WantCells(0, 29);
    QTRY_VERIFY(cellLoadsStarted_ > 0);
    WantCells(60, 69);
    const int started = controller_->pictures()->Pending() - 10;  // taken by a worker before the scroll
    QSignalSpy ready(controller_->pictures(), &PicturePool::pictureReady);
    cellGates_.Open("cells");
    QTRY_COMPARE(controller_->pictures()->Pending(), 0);
    // The workers took the first rows asked for; of the rest, only the new ones were made.
    std::vector<std::string> loads = CellLoads();
    std::sort(loads.begin(), loads.end());
    std::vector<std::string> expected;
    for (int i = 0; i < started; ++i) expected.push_back(QString::asprintf("d%03d.pdf", i).toStdString());
    for (int i = 60; i < 70; ++i) expected.push_back(QString::asprintf("d%03d.pdf", i).toStdString());
    QCOMPARE(loads, expected);
    QCOMPARE(ready.count(), started + 10);
    const CellPicture* made = controller_->pictures()->Find(*controller_->resultModel()->ResultAt(60));
    QVERIFY(made != nullptr);
    QCOMPARE(made->image.size(), QSize(128, 64));
  }

  // What the old answer still had coming is dropped at once; what a worker
  // had already started is kept as the document's picture, but is not told
  // as a row of the new answer.
  void aNewAnswerDropsTheOldOnesPictureWork() {
    ListMany(40);
    cellGates_.Close("cells");
    WantCells(0, 39);
    QTRY_VERIFY(cellLoadsStarted_ > 0);
    service_->SetAnswer("other", Results("/o", {"other.pdf"}));
    QVERIFY(Search("other"));
    const int started = controller_->pictures()->Pending();  // taken by a worker before the answer
    QVERIFY(started < 40);
    QSignalSpy ready(controller_->pictures(), &PicturePool::pictureReady);
    cellGates_.Open("cells");
    QTRY_COMPARE(controller_->pictures()->Pending(), 0);
    Settle();
    QCOMPARE(int(CellLoads().size()), started);
    QCOMPARE(ready.count(), 0);
    QVERIFY(controller_->pictures()->Find(Results("/d", {"d000.pdf"})[0]) != nullptr);
  }

  // 300 pictures of 512 x 256 px (512 KiB each) never stay in memory
  // together: at most 64 MiB of them do.
  void cellPictureMemoryIsBounded() {
    ListMany(300);
    WantCells(0, 299, 512);
    QTRY_COMPARE_WITH_TIMEOUT(controller_->pictures()->Pending(), 0, 20000);
    int kept = 0;
    for (int row = 0; row < 300; ++row)
      kept += controller_->pictures()->Find(*controller_->resultModel()->ResultAt(row)) != nullptr;
    QVERIFY2(kept > 0 && kept <= 128, qPrintable(QString::number(kept)));
  }

  // A picture read from its document is shown first; its cache file is
  // written once no picture waits to be made, read again when it was past
  // the bytes held for writing, skipped when the document has changed since.
  // Then every cache file is whole and stands for its document.
  void cellPicturesAreShownBeforeTheDesktopCacheGetsThem() {
    const std::string folder = home_.Path("documents");
    QDir().mkpath(QString::fromStdString(folder));
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
      names.push_back("doc" + std::to_string(i) + ".pdf");
      const Bytes bytes = i < 5 ? BuildAdobeDocument(SampleJpeg(200, 150, i), {})
                                : BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0);
      QVERIFY(WriteFileAtomically(folder + "/" + names.back(), bytes.data(), bytes.size()));
    }
    const std::vector<SearchResult> documents = Results(folder, names);
    Gates writes;
    writes.Close("writes");
    DesktopPictures desktop;
    desktop.cache.root = home_.Path("cache/thumbnails");
    desktop.writeBehindBytes = 2 * 128 * 96 * 3;  // two of the five pictures; the rest are read again
    desktop.store = [&writes](const std::string& path, const CachedThumbnail& made, ThumbnailFolder folder,
                              const ThumbnailCacheOptions& options) {
      writes.WaitWhileClosed("writes");
      return StoreThumbnail(path, made, folder, options);
    };
    auto pool = std::make_unique<PicturePool>(desktop);
    const auto openWrites = qScopeGuard([&writes] { writes.Open("writes"); });  // before the pool waits for them
    QSignalSpy ready(pool.get(), &PicturePool::pictureReady);
    std::vector<PicturePool::Request> requests;
    for (int row = 0; row < 6; ++row) requests.push_back({row, documents[row]});
    pool->Want(requests, 128);

    QTRY_COMPARE(ready.count(), 6);
    QCOMPARE(pool->Find(documents[0])->image.size(), QSize(128, 96));
    QTRY_COMPARE(pool->PendingWrites(), 6);
    QCOMPARE(FilesUnder(desktop.cache.root), QStringList());
    for (int changed : {0, 4}) {
      const std::string path = documents[changed].FullPath();
      struct stat st;
      QCOMPARE(stat(path.c_str(), &st), 0);
      const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 1, st.st_mtim.tv_nsec}};
      QCOMPARE(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    writes.Open("writes");
    QTRY_COMPARE(pool->PendingWrites(), 0);

    QStringList expected;
    for (int i : {1, 2, 3, 5}) {
      const std::string path = documents[i].FullPath();
      const std::string file =
          i < 5 ? ThumbnailPath(path, ThumbnailFolder::kNormal, desktop.cache) : FailureRecordPath(path, desktop.cache);
      expected << QString::fromStdString(file);
      auto bytes = ReadWholeFile(file, 1 << 20);
      QVERIFY2(bytes, file.c_str());
      auto thumbnail = ReadThumbnailPng(bytes->data(), bytes->size());
      struct stat st;
      QVERIFY(thumbnail && stat(path.c_str(), &st) == 0);
      QVERIFY(Describes(*thumbnail, {FileUri(path), st.st_mtim.tv_sec, st.st_size}));
      QCOMPARE(thumbnail->picture.Width(), i < 5 ? 128 : 1);
    }
    expected.sort();
    QCOMPARE(FilesUnder(desktop.cache.root), expected);
  }

  void openersGetTheLastSelectedPaths() {
    controller_->OpenSelectedFile();
    controller_->OpenSelectedFolder();
    QCOMPARE(opened_, QStringList());  // nothing selected yet: nothing to open

    ListDocuments();
    QVERIFY(Preview(0));
    controller_->OpenSelectedFile();
    controller_->OpenSelectedFolder();
    QCOMPARE(opened_, (QStringList{"/data/文档/with.pdf", "/data/文档"}));

    // A new search keeps the selection until a row of it is chosen.
    service_->SetAnswer("other", Results("/elsewhere", {"x.pdf"}));
    QVERIFY(Search("other"));
    controller_->OpenSelectedFolder();
    QCOMPARE(opened_.last(), QStringLiteral("/data/文档"));
  }

  void sortOrderAndRecentKeywordsAreKeptBesideAnUnchangedIni() {
    QVERIFY(Search("doc"));
    controller_->SaveAndClose();
    const QByteArray ini = home_.SettingsBytes();
    QCOMPARE(ini, QByteArray("doc\r\n/data/\xca\xe4\xb3\xf6\r\n"));

    controller_->SortBy(SortKey::kModified);
    Settle();
    controller_->SortBy(SortKey::kModified);  // again: reversed
    Settle();
    controller_->SortBy(SortKey::kSize);
    Settle();
    const std::vector<SortOrder> orders = service_->Orders();
    QCOMPARE(orders.size(), std::size_t(4));
    QVERIFY((orders[1] == SortOrder{SortKey::kModified, false}));
    QVERIFY((orders[2] == SortOrder{SortKey::kModified, true}));
    QVERIFY((orders[3] == SortOrder{SortKey::kSize, false}));

    for (const char* text : {"logo", "plan", "logo"}) {
      controller_->SetKeywordText(QString::fromUtf8(text));
      controller_->RememberKeywords();
    }
    QCOMPARE(home_.SettingsBytes(), ini);

    // A new window finds them; Up in the empty field walks from the newest.
    controller_.reset();
    controller_ = std::make_unique<MainController>(Setup());
    QVERIFY((controller_->preferences().sort == SortOrder{SortKey::kSize, false}));
    QCOMPARE(controller_->preferences().recentKeywords, (QStringList{"logo", "plan"}));
    controller_->SetKeywordText({});
    QVERIFY(controller_->WalkRecentKeywords(1));
    QCOMPARE(controller_->keywordText(), QStringLiteral("logo"));
    QVERIFY(controller_->WalkRecentKeywords(1));
    QCOMPARE(controller_->keywordText(), QStringLiteral("plan"));
    QVERIFY(controller_->WalkRecentKeywords(-1));
    QCOMPARE(controller_->keywordText(), QStringLiteral("logo"));
    controller_->KeywordEdited(QStringLiteral("logo2"));  // typed: no longer walking
    QVERIFY(!controller_->WalkRecentKeywords(1));
    Settle();
  }

  void selectionActionsReadTheRowsOnce() {
    service_->SetAnswer("doc", {{{"a.pdf", "/d1"}, {"b.ai", "/d2"}, {"c.eps", "/d1"}}});
    QVERIFY(Search("doc"));
    controller_->OpenFolders({2, 0, 1, 7});  // a row past the end is ignored
    QCOMPARE(opened_, (QStringList{"/d1", "/d2"}));
    opened_.clear();
    controller_->OpenDocuments({1, 1});
    QCOMPARE(opened_, QStringList{"/d2/b.ai"});
    QCOMPARE(controller_->CopyPaths({0, 2})->text(), QStringLiteral("/d1/a.pdf\n/d1/c.eps\n"));

    int restarts = 0;
    std::vector<std::string> excludedAtRestart;
    controller_.reset();
    MainControllerSetup setup = Setup();
    setup.restartService = [&](const std::vector<std::string>& excludes) {
      ++restarts;
      excludedAtRestart = excludes;
      return service_;
    };
    controller_ = std::make_unique<MainController>(std::move(setup));
    QVERIFY(Search("doc"));
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    controller_->ExcludeFolderOf(1);
    QVERIFY(finished.wait(10000));
    QCOMPARE(restarts, 1);
    QCOMPARE(excludedAtRestart, std::vector<std::string>{"/d2"});
    QCOMPARE(LoadPreferences(PreferencesPathBeside(home_.SettingsPath())).excludes, std::vector<std::string>{"/d2"});
  }

  void chosenFolderBecomesTheOutputFolder() {
    QSignalSpy shown(controller_.get(), &MainController::outputDirTextChanged);
    folderAnswer_ = QStringLiteral("/media/盘/缩略图");
    controller_->ChooseOutputFolder();
    QCOMPARE(folderDialogTitles_, QStringList{QStringLiteral("选择路径 ")});
    QCOMPARE(controller_->outputDir(), folderAnswer_);
    QCOMPARE(controller_->outputDirText(), folderAnswer_);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.first().first().toString(), folderAnswer_);
  }

  void cancelledFolderDialogPutsTheStoredFolderBack() {
    controller_->SetOutputDirText(QStringLiteral("/typed/but/not/read"));
    folderAnswer_.clear();
    controller_->ChooseOutputFolder();
    QCOMPARE(controller_->outputDirText(), QStringLiteral("/data/输出"));
    QCOMPARE(controller_->outputDir(), QStringLiteral("/data/输出"));
  }

  void readInputFieldsTakesTheEditsWhole() {
    QString longText(400, QChar(u'字'));
    controller_->SetKeywordText(longText);
    controller_->SetOutputDirText(QStringLiteral("/new/目录"));
    // Typing alone changes nothing the handlers use.
    QCOMPARE(controller_->keywords(), QStringLiteral("旧 关键字"));
    QCOMPARE(controller_->outputDir(), QStringLiteral("/data/输出"));
    controller_->ReadInputFields();
    QCOMPARE(controller_->keywords(), longText);
    QCOMPARE(controller_->outputDir(), QStringLiteral("/new/目录"));
  }

  void saveAndCloseWritesTheSettingsAndAsksToClose() {
    QSignalSpy close(controller_.get(), &MainController::closeRequested);
    controller_->SetKeywordText(QStringLiteral("新 关键字"));
    controller_->SetOutputDirText(QStringLiteral("D:\\Thumbs缩略图"));
    controller_->SaveAndClose();
    QCOMPARE(close.count(), 1);
    QCOMPARE(close.first().first().toInt(), 0);
    QCOMPARE(home_.SettingsBytes(),
             QByteArray("\xD0\xC2 \xB9\xD8\xBC\xFC\xD7\xD6\r\nD:\\Thumbs\xCB\xF5\xC2\xD4\xCD\xBC\r\n"));
  }

  void settingsThatCannotBeSavedKeepTheWindowOpen() {
    const std::string path = home_.SettingsPath();
    QVERIFY(QDir().mkpath(QString::fromStdString(home_.Path("config/glimpses"))));
    QVERIFY(WriteFileAtomically(path, "old\r\n/old\r\n", 11));
    QSignalSpy close(controller_.get(), &MainController::closeRequested);
    controller_->SetKeywordText(QStringLiteral("emoji 😀"));
    controller_->SaveAndClose();
    QCOMPARE(close.count(), 0);
    QVERIFY(controller_->statusText().contains(QStringLiteral("GBK")));
    QCOMPARE(controller_->keywordText(), QStringLiteral("emoji 😀"));
    QCOMPARE(home_.SettingsBytes(), QByteArray("old\r\n/old\r\n"));

    // A file that cannot be written (a folder stands in its way) is said so.
    QVERIFY(QFile::remove(QString::fromStdString(path)));
    QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    controller_->SetKeywordText(QStringLiteral("plain"));
    controller_->SaveAndClose();
    QCOMPARE(close.count(), 0);
    QCOMPARE(controller_->statusText(), QStringLiteral("设置未保存: 无法写入 %1").arg(QString::fromStdString(path)));
    QVERIFY(QDir().rmdir(QString::fromStdString(path)));
  }

  void exportOutcomeTellsOfFailuresAndAFullDisk() {
    ExportResult full;
    full.answered = true;
    full.documents = 10;
    full.picturesWritten = 4;
    full.errorKind = ExportError::kOutputFull;
    QCOMPARE(ExportOutcomeText(full, QStringLiteral("/out")),
             QStringLiteral("导出中止: 输出目录已满, 已写入 4 个缩略图, 其余文档没有导出: /out"));
    ExportResult failed;
    failed.answered = true;
    failed.documents = 3;
    failed.picturesWritten = 1;
    failed.withoutThumbnail = 1;
    failed.failed = 1;
    failed.failures = {"/d/x.pdf: vanished during the export"};
    QCOMPARE(ExportOutcomeText(failed, QStringLiteral("/out")),
             QStringLiteral("导出完成: 3 个文档, 写入 1 个缩略图, 1 个文档没有缩略图, 1 个文档导出失败 "
                            "(/d/x.pdf: vanished during the export)"));
  }

  void searchWithoutServiceIsNoAnswer() {
    MainControllerSetup setup = Setup();
    setup.service = nullptr;
    MainController controller(std::move(setup));
    QSignalSpy finished(&controller, &MainController::searchFinished);
    controller.SearchDocuments();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), false);
  }
};

// The real extractor behind the controller, on documents as the authoring
// applications write them.
class RealDocumentTest : public QObject {
  Q_OBJECT

 private slots:
  void storedThumbnailsShowAndNothingIsWritten() {
    PrivateHome home;
    const QStringList currentFolderBefore = FilesIn(QDir::currentPath());
    QTemporaryDir documents;
    struct Document {
      const char* name;
      Bytes bytes;
      QSize shown;  // 0 x 0: no picture
    };
    const Document table[] = {
        {"xmp 缩略图.pdf", BuildAdobeDocument(SampleJpeg(256, 192, 1), {}), QSize(270, 203)},
        {"hex preview.ai", BuildHexPreviewAi(100, 50, true), QSize(200, 100)},
        {"no thumbnail.pdf", BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 4096), QSize(0, 0)},
        {"not a document.cdr", Bytes{'j', 'u', 'n', 'k'}, QSize(0, 0)},
    };
    std::vector<std::string> names;
    for (const Document& d : table) {
      const std::string path = documents.filePath(QString::fromUtf8(d.name)).toStdString();
      QVERIFY(WriteFileAtomically(path, d.bytes.data(), d.bytes.size()));
      names.push_back(d.name);
    }
    auto service = std::make_shared<FakeSearchService>();
    service->SetAnswer("", Results(documents.path().toStdString(), names));
    MainControllerSetup setup;
    setup.service = service;
    MainController controller(std::move(setup));
    QSignalSpy searched(&controller, &MainController::searchFinished);
    controller.SearchDocuments();
    QVERIFY(searched.wait(10000));
    QCOMPARE(controller.resultModel()->rowCount(), int(std::size(table)));

    for (int row = 0; row < int(std::size(table)); ++row) {
      QSignalSpy finished(&controller, &MainController::previewFinished);
      QVERIFY(controller.PreviewSelectedDocument(row));
      QVERIFY(finished.wait(10000));
      QCOMPARE(controller.previewImage().size(), table[row].shown);
    }
    // The pictures are read in memory: no file anywhere, not even a cache.
    QVERIFY(!QDir(QString::fromStdString(home.Path("cache/glimpses"))).exists());
    QCOMPARE(FilesIn(documents.path()).size(), qsizetype(std::size(table)));
    QCOMPARE(FilesIn(QDir::currentPath()), currentFolderBefore);
  }

  // Names as other systems and archives leave them: each is listed, shown
  // and handed to the desktop with every byte intact; a name holding a line
  // break is no document.
  void hostileNamesAreListedPreviewedAndOpenedByTheirBytes() {
    PrivateHome home;
    QTemporaryDir scratch;
    const std::string folder = scratch.path().toStdString() + "/latin1 \xe9t\xe9 \xff";
    QVERIFY(QDir().mkpath(QString::fromStdString(scratch.path().toStdString())));
    QVERIFY(mkdir(folder.c_str(), 0700) == 0);
    const std::vector<std::string> documents = {
        "caf\xe9.pdf", "tab\there.ai", "back\\slash.eps", "-rf.pdf", "--help.ai", std::string(251, 'n') + ".pdf",
    };
    const Bytes bytes = BuildAdobeDocument(SampleJpeg(64, 48, 3), {});
    std::vector<std::string> names = documents;
    names.push_back("line\nbreak.pdf");
    for (const std::string& name : names) QVERIFY(WriteFileAtomically(folder + "/" + name, bytes.data(), bytes.size()));

    auto service = std::make_shared<FakeSearchService>();
    service->SetAnswer("", Results(folder, names));
    std::vector<std::string> opened;
    MainControllerSetup setup;
    setup.service = service;
    setup.opener = [&opened](const QUrl& url) {
      opened.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
    };
    MainController controller(std::move(setup));
    QSignalSpy searched(&controller, &MainController::searchFinished);
    controller.SearchDocuments();
    QVERIFY(searched.wait(10000));
    QCOMPARE(controller.resultModel()->rowCount(), int(documents.size()));

    for (int row = 0; row < int(documents.size()); ++row) {
      const std::optional<SearchResult> listed = controller.resultModel()->ResultAt(row);
      QVERIFY(listed.has_value());
      QVERIFY(std::find(documents.begin(), documents.end(), listed->fileName) != documents.end());
      QSignalSpy finished(&controller, &MainController::previewFinished);
      QVERIFY(controller.PreviewSelectedDocument(row));
      QVERIFY(finished.wait(10000));
      QCOMPARE(controller.previewImage().isNull(), false);
      opened.clear();
      controller.OpenSelectedFile();
      controller.OpenSelectedFolder();
      QCOMPARE(opened, (std::vector<std::string>{folder + "/" + listed->fileName, folder}));
    }
  }
};

// The start button's export, over real documents, through the seams for
// opening folders.
class ExportTest : public QObject {
  Q_OBJECT

 private:
  const QString kSummary = QStringLiteral("导出完成: 4 个文档, 写入 3 个缩略图, 1 个文档没有缩略图");

  std::unique_ptr<PrivateHome> home_;
  std::unique_ptr<QTemporaryDir> documents_;
  std::shared_ptr<FakeSearchService> service_;
  QStringList opened_;
  std::unique_ptr<MainController> controller_;
  QStringList sheetDialogs_;  // "title|suggested file" each time the save dialog was asked for
  QString sheetAnswer_;       // the file the dialog answers; empty: cancelled

  void MakeController(bool withService = true) {
    MainControllerSetup setup;
    if (withService) setup.service = service_;
    setup.opener = [this](const QUrl& url) { opened_ << url.toLocalFile(); };
    setup.chooseSaveFile = [this](const QString& title, const QString& suggested) {
      sheetDialogs_ << title + "|" + suggested;
      return sheetAnswer_;
    };
    controller_ = std::make_unique<MainController>(std::move(setup));
    controller_->SetKeywordText("doc");
  }

  // Starts an export to `outputText` and waits for its end; its outcome.
  bool Export(const QString& outputText) {
    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    controller_->SetOutputDirText(outputText);
    controller_->StartExport();
    if (finished.isEmpty() && !finished.wait(20000)) return false;
    return finished.first().first().toBool();
  }

  QString InHome(const char* relative) const { return QString::fromStdString(home_->Path(relative)); }

  void ListSamples() {
    QSignalSpy searched(controller_.get(), &MainController::searchFinished);
    controller_->SearchDocuments();
    QVERIFY(searched.wait(10000));
    QCOMPARE(controller_->resultModel()->rowCount(), 3);  // the list leaves out the odd CorelDRAW spelling
  }

  // Writes the sheet of `rows` into `file` and waits for its end; its outcome.
  bool ExportSheet(const std::vector<int>& rows, const QString& file) {
    sheetAnswer_ = file;
    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    controller_->ExportContactSheet(rows);
    if (finished.isEmpty() && !finished.wait(20000)) return false;
    return finished.first().first().toBool();
  }

  // The text poppler reads off the PDF's pages, without blanks (it keeps
  // only those it deems wide).
  static QString PdfText(const QString& pdf) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(20000)) return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
  }

  static QStringList Sorted(QStringList names) {
    names.sort();
    return names;
  }

 private slots:
  void init() {
    home_ = std::make_unique<PrivateHome>();
    documents_ = std::make_unique<QTemporaryDir>();
    std::vector<std::string> names = WriteExportSamples(documents_->path());
    QCOMPARE(names.size(), std::size_t{5});
    service_ = std::make_shared<FakeSearchService>();
    service_->SetAnswer("doc", Results(documents_->path().toStdString(), names));
    opened_.clear();
    MakeController();
  }

  void cleanup() {
    service_->gates().OpenAll();
    controller_.reset();
    sheetDialogs_.clear();
    sheetAnswer_.clear();
  }

  void exportOfTheSelectionWritesItsPicturesWithTheExportsNamesAndCounts() {
    QSignalSpy searched(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText("doc");
    controller_->SearchDocuments();
    QVERIFY(searched.wait(10000));
    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    controller_->SetOutputDirText(InHome("sel"));
    QCOMPARE(controller_->resultModel()->rowCount(), 3);  // the list leaves out the odd CorelDRAW spelling
    controller_->ExportRows({2, 1, 0, 9});                // a row past the end is ignored
    QVERIFY(finished.wait(20000));
    QCOMPARE(controller_->statusText(), QStringLiteral("导出完成: 3 个文档, 写入 2 个缩略图, 1 个文档没有缩略图"));
    QCOMPARE(FilesIn(InHome("sel")).size(), 2);
    QCOMPARE(service_->Queries(), std::vector<std::string>{"doc"});  // the rows, not another query
  }

  // The selection's documents, or every listed one when none is selected,
  // on a sheet whose header names the keywords and the count; the dialog
  // offers the output folder's 联系表.pdf.
  void contactSheetHoldsTheSelectionOrEveryListedDocument() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) QSKIP("poppler-utils not installed");
    ListSamples();
    controller_->SetOutputDirText(home_->path());
    const QString sheet = InHome("联系表.pdf");
    QVERIFY(ExportSheet({2, 0, 9}, sheet));  // a row past the end is ignored
    QCOMPARE(sheetDialogs_, QStringList{QStringLiteral("导出联系表|") + sheet});
    QCOMPARE(controller_->statusText(),
             QStringLiteral("已导出联系表: 2 个文档, 1 页 (1 个没有缩略图), 保存为 ") + sheet);
    QString text = PdfText(sheet);
    QVERIFY2(text.startsWith(QStringLiteral("doc")) && text.contains(QStringLiteral("2个文档")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("xmp缩略图.pdf")) && !text.contains(QStringLiteral("hexpreview.ai")));

    // Again with no selection: every listed document, the old sheet (now
    // listed beside them) left out.
    std::vector<SearchResult> listed =
        Results(documents_->path().toStdString(), {"xmp 缩略图.pdf", "hex preview.ai", "no thumbnail.eps"});
    listed.push_back({"联系表.pdf", home_->path().toStdString()});
    service_->SetAnswer("doc", listed);
    controller_->SearchDocuments();
    QTRY_COMPARE(controller_->resultModel()->rowCount(), 4);
    QVERIFY(ExportSheet({}, sheet));
    QCOMPARE(controller_->statusText(),
             QStringLiteral("已导出联系表: 3 个文档, 1 页 (1 个没有缩略图), 保存为 ") + sheet);
    QVERIFY(PdfText(sheet).contains(QStringLiteral("3个文档")));
    QCOMPARE(service_->Queries(), (std::vector<std::string>{"doc", "doc"}));  // the rows, not another query
  }

  // Cancelled in the dialog: nothing starts. Cancelled while it runs (here
  // while its rows are being read): no file, and the reason in the line.
  void cancelledContactSheetLeavesNothing() {
    ListSamples();
    const QStringList homeBefore = QDir(home_->path()).entryList(QDir::AllEntries | QDir::Hidden);
    QSignalSpy running(controller_.get(), &MainController::exportRunningChanged);
    controller_->ExportContactSheet({});
    QCOMPARE(sheetDialogs_.size(), 1);
    QCOMPARE(running.count(), 0);

    service_->gates().Close("rows");
    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    sheetAnswer_ = InHome("联系表.pdf");
    controller_->ExportContactSheet({});
    QVERIFY(controller_->IsExporting());
    QCOMPARE(controller_->statusText(), QStringLiteral("正在导出联系表..."));
    controller_->CancelExport();
    QCOMPARE(controller_->statusText(), QStringLiteral("正在取消导出..."));
    service_->gates().Open("rows");
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(controller_->statusText(), QStringLiteral("导出联系表已取消, 没有写入文件"));
    QCOMPARE(QDir(home_->path()).entryList(QDir::AllEntries | QDir::Hidden), homeBefore);
  }

  void exportWritesEveryThumbnailAndOpensTheFolder_data() {
    QTest::addColumn<QString>("outputText");
    QTest::addColumn<QString>("folder");  // relative to the home folder
    QTest::newRow("absolute, parents missing") << QStringLiteral("%HOME%/导出/缩略图") << QStringLiteral("导出/缩略图");
    QTest::newRow("under the home folder") << QStringLiteral("~/Thumbs缩略图") << QStringLiteral("Thumbs缩略图");
  }
  void exportWritesEveryThumbnailAndOpensTheFolder() {
    QFETCH(QString, outputText);
    QFETCH(QString, folder);
    const QString expectedFolder = home_->path() + "/" + folder;
    QSignalSpy running(controller_.get(), &MainController::exportRunningChanged);
    QVERIFY(Export(outputText.replace("%HOME%", home_->path())));
    QCOMPARE(controller_->statusText(), kSummary);
    QCOMPARE(Sorted(FilesIn(expectedFolder)), ExportSamplePictures());
    for (const QString& picture : ExportSamplePictures()) {
      QVERIFY2(!LoadPictureByContent(expectedFolder + "/" + picture).isNull(), qPrintable(picture));
    }
    QCOMPARE(opened_, QStringList{expectedFolder});
    QCOMPARE(running.count(), 2);
    QCOMPARE(running.at(0).first().toBool(), true);
    QCOMPARE(running.at(1).first().toBool(), false);
    QVERIFY(!controller_->IsExporting());
  }

  void refusedExportWritesAndOpensNothing_data() {
    QTest::addColumn<QString>("outputText");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<bool>("withService");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty edit") << QString() << true << true << QStringLiteral("导出失败: 请先填写输出目录");
    QTest::newRow("old Windows default") << QStringLiteral("D:\\Thumbs缩略图") << true << true
                                         << QStringLiteral(
                                                "导出失败: 输出目录须为完整路径 (以 / 或 ~/ 开头): D:\\Thumbs缩略图");
    QTest::newRow("relative name") << QStringLiteral("out") << true << true
                                   << QStringLiteral("导出失败: 输出目录须为完整路径 (以 / 或 ~/ 开头): out");
    QTest::newRow("under a regular file")
        << QStringLiteral("%HOME%/file.txt/out") << true << true
        << QStringLiteral("导出失败: 输出目录无法创建或写入, 没有写入任何文件: %HOME%/file.txt/out");
    QTest::newRow("query not answered") << QStringLiteral("%HOME%/out") << false << true
                                        << QStringLiteral("导出失败: 搜索服务没有回答, 没有写入任何文件");
    QTest::newRow("no search service") << QStringLiteral("%HOME%/out") << true << false
                                       << QStringLiteral("导出失败: 搜索服务没有回答, 没有写入任何文件");
  }
  void refusedExportWritesAndOpensNothing() {
    QFETCH(QString, outputText);
    QFETCH(bool, answered);
    QFETCH(bool, withService);
    QFETCH(QString, message);
    if (!answered) service_->SetAnswer("doc", std::nullopt);
    if (!withService) MakeController(false);
    QFile regular(InHome("file.txt"));
    QVERIFY(regular.open(QIODevice::WriteOnly));
    regular.close();
    const QStringList currentFolderBefore = QDir::current().entryList(QDir::AllEntries | QDir::Hidden);
    const QStringList homeBefore = QDir(home_->path()).entryList(QDir::AllEntries | QDir::Hidden);

    QVERIFY(!Export(outputText.replace("%HOME%", home_->path())));
    QCOMPARE(controller_->statusText(), message.replace("%HOME%", home_->path()));
    QCOMPARE(opened_, QStringList());
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::Hidden), currentFolderBefore);
    QCOMPARE(QDir(home_->path()).entryList(QDir::AllEntries | QDir::Hidden), homeBefore);
    QVERIFY(!controller_->IsExporting());
  }

  void secondPressCancelsAndTheWindowStaysUsable() {
    service_->gates().Close("doc");
    QSignalSpy finished(controller_.get(), &MainController::exportFinished);
    controller_->SetOutputDirText(InHome("out"));
    controller_->StartExport();
    QVERIFY(controller_->IsExporting());
    QCOMPARE(controller_->statusText(), QStringLiteral("正在导出缩略图..."));

    // Searches still answer while the export waits.
    service_->SetAnswer("other", Results("/d", {"a.pdf"}));
    QSignalSpy searched(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText("other");
    controller_->SearchDocuments();
    QVERIFY(searched.wait(10000));
    QCOMPARE(controller_->resultModel()->rowCount(), 1);

    controller_->StartExport();
    QCOMPARE(controller_->statusText(), QStringLiteral("正在取消导出..."));
    service_->gates().Open("doc");
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(controller_->statusText(),
             QStringLiteral("导出已取消: 已处理 0 / 4 个文档, 写入 0 个缩略图, 0 个文档没有缩略图"));
    QCOMPARE(opened_, QStringList());
    QCOMPARE(FilesIn(InHome("out")), QStringList());
    // The second press only cancelled: one export, one query of its keywords.
    QCOMPARE(service_->Queries(), (std::vector<std::string>{"other", "doc"}));
    QVERIFY(!controller_->IsExporting());

    // And the next press starts afresh.
    controller_->SetKeywordText("doc");
    QVERIFY(Export(InHome("out")));
    QCOMPARE(controller_->statusText(), kSummary);
  }

  void closingDuringAnExportLeavesOnlyWholePictures() {
    controller_->SetOutputDirText(InHome("out"));
    controller_->StartExport();
    controller_.reset();
    for (const QString& name : FilesIn(InHome("out")))
      QVERIFY2(ExportSamplePictures().contains(name), qPrintable(name));
    for (const QString& name : FilesIn(InHome("out"))) {
      QVERIFY2(!LoadPictureByContent(InHome("out") + "/" + name).isNull(), qPrintable(name));
    }
  }
};

class PictureTest : public QObject {
  Q_OBJECT

 private slots:
  void fitPicture_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("twice the box") << QSize(540, 512) << QSize(270, 256);
    QTest::newRow("exactly the box") << QSize(270, 256) << QSize(270, 256);
    QTest::newRow("wide strip") << QSize(1000, 100) << QSize(270, 27);
    QTest::newRow("tall strip") << QSize(100, 1024) << QSize(25, 256);
    QTest::newRow("small: enlarged by at most 2") << QSize(10, 10) << QSize(20, 20);
    QTest::newRow("a little small: fits the box") << QSize(200, 100) << QSize(270, 135);
    QTest::newRow("one pixel line stays visible") << QSize(5000, 1) << QSize(270, 1);
  }
  void fitPicture() {
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);
    QCOMPARE(FitPicture(SolidPicture(picture.width(), picture.height(), Qt::gray), kPreviewBox).size(), shown);
  }

  void nullPictureStaysNull() { QVERIFY(FitPicture(QImage(), kPreviewBox).isNull()); }

  void outputFolderText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("folder");  // empty: refused
    // clang-format off
    QTest::newRow("absolute") << "/data/缩略图" << "/home/me" << "/data/缩略图";
    QTest::newRow("root") << "/" << "/home/me" << "/";
    QTest::newRow("home alone") << "~" << "/home/me" << "/home/me";
    QTest::newRow("under home") << "~/缩略图/新" << "/home/me" << "/home/me/缩略图/新";
    QTest::newRow("another user's home") << "~other/x" << "/home/me" << "";
    QTest::newRow("relative") << "Thumbs" << "/home/me" << "";
    QTest::newRow("dot relative") << "./Thumbs" << "/home/me" << "";
    QTest::newRow("Windows drive") << "D:\\Thumbs缩略图" << "/home/me" << "";
    QTest::newRow("no home known") << "~/x" << "" << "";
    QTest::newRow("leading space") << " /data" << "/home/me" << "";
    // clang-format on
  }
  void outputFolderText() {
    QFETCH(QString, text);
    QFETCH(QString, home);
    QFETCH(QString, folder);
    QCOMPARE(AbsoluteOutputFolder(text, home), folder);
  }

  void picturesAreReadByContentNotName() {
    QTemporaryDir dir;
    QVERIFY(SolidPicture(8, 4, Qt::red).save(dir.filePath("jpeg-under-png-name.png"), "JPG"));
    QVERIFY(SolidPicture(8, 4, Qt::red).save(dir.filePath("png-under-dat-name.dat"), "PNG"));
    QFile garbage(dir.filePath("text-under-png-name.png"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a picture at all");
    garbage.close();

    QCOMPARE(LoadPictureByContent(dir.filePath("jpeg-under-png-name.png")).size(), QSize(8, 4));
    QCOMPARE(LoadPictureByContent(dir.filePath("png-under-dat-name.dat")).size(), QSize(8, 4));
    QVERIFY(LoadPictureByContent(dir.filePath("text-under-png-name.png")).isNull());
    QVERIFY(LoadPictureByContent(dir.filePath("missing.png")).isNull());
  }
};

namespace {

// Rows of another answer, with the documents the catalogue left pending.
class PendingRows final : public AnswerRows {
 public:
  PendingRows(RowsAnswer rows, std::size_t pending) : rows_(std::move(rows)), pending_(pending) {}
  std::size_t size() const override { return rows_->size(); }
  RowsRead Read(std::size_t first, std::size_t count, RowsWait wait) const override {
    return rows_->Read(first, count, wait);
  }
  std::size_t pending() const override { return pending_; }

 private:
  RowsAnswer rows_;
  std::size_t pending_;
};

// A service whose catalogue the test drives: how far its filling is, how
// many documents an answer leaves pending, and what made the documents it
// holds.
class CatalogueFakeService : public FakeSearchService {
 public:
  void SetMaker(const std::string& path, const std::string& application, const std::string& version) {
    std::lock_guard lock(mutex_);
    makers_[path].application = application;
    makers_[path].version = version;
  }
  std::optional<DocumentMetadata> CataloguedMaker(const std::string& path) override {
    std::lock_guard lock(mutex_);
    lookedUpOnWindowThread_ |= QThread::currentThread() == QCoreApplication::instance()->thread();
    const auto found = makers_.find(path);
    return found == makers_.end() ? std::nullopt : std::optional(found->second);
  }
  bool LookedUpOnWindowThread() {
    std::lock_guard lock(mutex_);
    return lookedUpOnWindowThread_;
  }
  void SetProgress(FillProgress progress) {
    std::lock_guard lock(mutex_);
    progress_ = progress;
  }
  void SetPending(std::size_t pending) {
    std::lock_guard lock(mutex_);
    pending_ = pending;
  }
  std::vector<std::string> ReadFirstPaths() {
    std::lock_guard lock(mutex_);
    return readFirst_;
  }
  FillProgress CatalogueProgress() const override {
    std::lock_guard lock(mutex_);
    return progress_;
  }
  void ReadFirst(std::vector<std::string> paths) override {
    std::lock_guard lock(mutex_);
    readFirst_ = std::move(paths);
  }
  RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) override {
    RowsAnswer rows = FakeSearchService::QueryRows(text, keep, order);
    std::lock_guard lock(mutex_);
    return rows ? std::make_shared<PendingRows>(rows, pending_) : rows;
  }

 private:
  mutable std::mutex mutex_;
  FillProgress progress_;
  std::size_t pending_ = 0;
  std::vector<std::string> readFirst_;
  std::map<std::string, DocumentMetadata> makers_;
  bool lookedUpOnWindowThread_ = false;
};

}  // namespace

// The catalogue as the window sees it: its progress after the status line's
// text, the documents an answer leaves pending, and the rows on screen read
// first.
class CatalogueStatusTest : public QObject {
  Q_OBJECT

 private:
  PrivateHome home_;
  std::shared_ptr<CatalogueFakeService> service_;
  std::unique_ptr<MainController> controller_;

  bool Search(const QString& text) {
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    controller_->SetKeywordText(text);
    controller_->SearchDocuments();
    return finished.wait(10000) && finished.first().first().toBool();
  }

 private slots:
  void init() {
    service_ = std::make_shared<CatalogueFakeService>();
    MainControllerSetup setup;
    setup.service = service_;
    setup.settingsPath = home_.SettingsPath();
    controller_ = std::make_unique<MainController>(std::move(setup));
  }

  void cleanup() { controller_.reset(); }

  void progressFollowsTheCountAndThePendingAreAskedForAgain() {
    service_->SetAnswer("font:helvetica", Results("/d", {"a.pdf", "b.ai"}));
    service_->SetPending(7);
    service_->SetProgress({3, 10});
    QSignalSpy progress(controller_.get(), &MainController::catalogueProgressChanged);
    QVERIFY(progress.wait(5000));
    QCOMPARE(controller_->catalogueProgressText(), QStringLiteral("正在读取文档信息 (3 / 10)…"));
    QVERIFY(Search(QStringLiteral("font:helvetica")));
    QCOMPARE(controller_->statusText(),
             kStatusTwo + QStringLiteral(" (另有 7 个文档尚未读取信息)  正在读取文档信息 (3 / 10)…"));

    // Done: the note goes, and the answer that left documents pending is
    // asked for again.
    service_->SetPending(0);
    service_->SetProgress({});
    QSignalSpy finished(controller_.get(), &MainController::searchFinished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(controller_->statusText(), kStatusTwo);
    QCOMPARE(service_->Queries().size(), 2u);
  }

  void documentsOnScreenAreReadFirst() {
    service_->SetAnswer("doc", Results("/data", {"a.pdf", "notes.txt", "b.ai", "c.eps"}));
    QVERIFY(Search(QStringLiteral("doc")));
    controller_->DocumentsOnScreen(1, 5);
    QCOMPARE(service_->ReadFirstPaths(), (std::vector<std::string>{"/data/b.ai", "/data/c.eps"}));
  }

  // "文件版本" shows what the catalogue says made each document, looked up
  // off the window thread; a row it lacks fills in once it has read more.
  void versionColumnFollowsTheCatalogue() {
    service_->SetMaker("/data/a.pdf", "Illustrator", "CC 2017");
    service_->SetMaker("/data/c.pdf", "", "");  // read, but names no program
    service_->SetAnswer("doc", Results("/data", {"a.pdf", "b.ai", "c.pdf"}));
    QVERIFY(Search(QStringLiteral("doc")));
    ResultListModel* model = controller_->resultModel();
    auto version = [model](int row) { return model->data(model->index(row, ResultListModel::kVersionColumn)); };
    QCOMPARE(version(0), QVariant());  // asked for now, shown when it comes
    QTRY_COMPARE(version(0), QVariant(QStringLiteral("Illustrator CC 2017")));
    QCOMPARE(version(1), QVariant());
    QCOMPARE(version(2), QVariant(QString()));

    service_->SetMaker("/data/b.ai", "Illustrator", "CS6");
    service_->SetProgress({1, 5});
    QTRY_COMPARE(version(1), QVariant(QStringLiteral("Illustrator CS6")));
    QVERIFY(!service_->LookedUpOnWindowThread());
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  MainControllerTest controllerTest;
  RealDocumentTest realDocumentTest;
  ExportTest exportTest;
  PictureTest pictureTest;
  CatalogueStatusTest catalogueTest;
  int failures = QTest::qExec(&controllerTest, argc, argv);
  failures += QTest::qExec(&realDocumentTest, argc, argv);
  failures += QTest::qExec(&exportTest, argc, argv);
  failures += QTest::qExec(&pictureTest, argc, argv);
  failures += QTest::qExec(&catalogueTest, argc, argv);
  return failures == 0 ? 0 : 1;
}

#include "main_controller_test.moc"

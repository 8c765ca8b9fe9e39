#include "app/main_controller.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <utility>

#include "app/contact_sheet_job.h"
#include "app/file_url.h"
#include "app/status_text.h"
#include "app/window_language.h"
#include "extract/extract_thumbnail.h"
#include "search/document_filter.h"

namespace glimpses {

namespace {

constexpr int kWorkerThreads = 8;
// Often enough for the count to look alive, rarely enough that thousands of
// documents a second never flood the event queue.
constexpr int kExportProgressIntervalMs = 50;
constexpr int kIndexingProgressIntervalMs = 250;
constexpr int kCatalogueProgressIntervalMs = 500;

// While the first build runs: how far it got. The answer comes when it is
// done, never from the part read so far.
QString IndexingText(std::size_t entriesSoFar) {
  return Tr("正在建立文件索引 (已读取 %1 项), 索引完成后即显示搜索结果...").arg(entriesSoFar);
}

QString SaveErrorText(SettingsError error, const std::string& path) {
  switch (error) {
    case SettingsError::kNone:
      return {};
    case SettingsError::kNotGbk:
      return Tr("设置未保存: 关键字或输出目录含有 GBK 无法保存的字符, 请修改后再试");
    case SettingsError::kTooLong:
      return Tr("设置未保存: 关键字或输出目录超过 %1 个字符").arg(kSettingsLineLimit);
    case SettingsError::kLineBreak:
      return Tr("设置未保存: 关键字或输出目录含有换行");
    case SettingsError::kWrite:
      return Tr("设置未保存: 无法写入 %1").arg(QString::fromStdString(path));
  }
  return {};
}

// Runs on a worker thread: everything it uses arrives by value.
RowsAnswer QueryDocuments(const std::shared_ptr<SearchService>& service, const std::string& text, SortOrder order) {
  if (!service) return nullptr;
  return service->QueryRows(text, IsListedDocument, order);
}

QString BusyText() { return Tr("索引正忙, 请稍后再试"); }

// The most a preview box grows to, a maximised window's on a large screen;
// a larger picture is kept at this size.
constexpr QSize kLargestPreview{1600, 1600};

PreviewPictures PicturesOf(const QImage& picture) {
  const bool large = picture.width() > kLargestPreview.width() || picture.height() > kLargestPreview.height();
  QImage source = large ? picture.scaled(kLargestPreview, Qt::KeepAspectRatio, Qt::SmoothTransformation) : picture;
  QImage fitted = FitPicture(source, kPreviewBox);
  return {std::move(source), std::move(fitted)};
}

// Runs on a worker thread.
PreviewPictures ExtractPreview(const ThumbnailExtractor& extractor, const std::string& document) {
  return PicturesOf(extractor(document));
}

// The version column's source: the catalogue of `service`.
MakerLookup MakerLookupOf(const std::shared_ptr<SearchService>& service) {
  if (!service) return {};
  return [service](const std::string& path) { return service->CataloguedMaker(path); };
}

ExportResult FailedExport(ExportError kind) {
  ExportResult result;
  result.errorKind = kind;
  return result;
}

}  // namespace

QString AbsoluteOutputFolder(const QString& text, const QString& home) {
  if (text.startsWith(u'/')) return text;
  if (!home.startsWith(u'/')) return {};
  if (text == u"~") return home;
  if (text.startsWith(u"~/")) return home + text.mid(1);
  return {};
}

QString ExportOutcomeText(const ExportResult& result, const QString& folder) {
  switch (result.errorKind) {
    case ExportError::kNoOutputFolder:
      return Tr("导出失败: 请先填写输出目录");
    case ExportError::kNoAnswer:
      return Tr("导出失败: 搜索服务没有回答, 没有写入任何文件");
    case ExportError::kOutputFolderUnusable:
      return Tr("导出失败: 输出目录无法创建或写入, 没有写入任何文件: %1").arg(folder);
    case ExportError::kOutputFull:
      return Tr("导出中止: 输出目录已满, 已写入 %1 个缩略图, 其余文档没有导出: %2")
          .arg(result.picturesWritten)
          .arg(folder);
    case ExportError::kNone:
      break;
  }
  // The first failure names its document; the command line lists them all.
  const QString failures =
      result.failures.empty()
          ? QString()
          : Tr(", %1 个文档导出失败 (%2)").arg(result.failed).arg(QString::fromStdString(result.failures.front()));
  if (result.cancelled) {
    return Tr("导出已取消: 已处理 %1 / %2 个文档, 写入 %3 个缩略图, %4 个文档没有缩略图%5")
        .arg(result.DocumentsDone())
        .arg(result.documents)
        .arg(result.picturesWritten)
        .arg(result.withoutThumbnail)
        .arg(failures);
  }
  return Tr("导出完成: %1 个文档, 写入 %2 个缩略图, %3 个文档没有缩略图%4")
      .arg(result.documents)
      .arg(result.picturesWritten)
      .arg(result.withoutThumbnail)
      .arg(failures);
}

QImage LoadPictureByContent(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  return reader.read();
}

QImage StoredPicturePreview(const std::string& documentPath) {
  const PictureRead read = ReadStoredPicture(documentPath);
  return read.picture ? ToQImage(PicturePixels(*read.picture)) : QImage();
}

MainController::MainController(MainControllerSetup setup, QObject* parent)
    : QObject(parent),
      service_(std::move(setup.service)),
      settingsPath_(std::move(setup.settingsPath)),
      opener_(std::move(setup.opener)),
      chooseFolder_(std::move(setup.chooseFolder)),
      chooseSaveFile_(std::move(setup.chooseSaveFile)),
      extractor_(std::move(setup.extractor)),
      readDetails_(std::move(setup.readDetails)),
      restartService_(std::move(setup.restartService)),
      preferencesPath_(PreferencesPathBeside(settingsPath_)),
      preferences_(LoadPreferences(preferencesPath_)),
      pictures_(std::move(setup.cellPictures)),
      keywordText_(QString::fromStdU16String(setup.settings.keywords)),
      outputDirText_(QString::fromStdU16String(setup.settings.outputDir)),
      keywords_(keywordText_),
      outputDir_(outputDirText_),
      statusText_(Tr(kWindowTitle)),
      settledStatusText_(statusText_),
      preview_(PicturesOf(setup.startPicture)) {
  if (!extractor_) extractor_ = StoredPicturePreview;
  if (!readDetails_) readDetails_ = ReadDocumentMetadata;
  resultModel_.SetMakerLookup(MakerLookupOf(service_));
  pool_.setMaxThreadCount(kWorkerThreads);
  exportProgressTimer_.setInterval(kExportProgressIntervalMs);
  connect(&exportProgressTimer_, &QTimer::timeout, this, &MainController::ShowExportProgress);
  indexingTimer_.setInterval(kIndexingProgressIntervalMs);
  connect(&indexingTimer_, &QTimer::timeout, this, &MainController::ShowIndexingProgress);
  catalogueTimer_.setInterval(kCatalogueProgressIntervalMs);
  connect(&catalogueTimer_, &QTimer::timeout, this, &MainController::ShowCatalogueProgress);
  if (service_) catalogueTimer_.start();
  // Rows are made when shown, possibly while the list paints: search again
  // from the event loop, not from inside the paint.
  connect(&resultModel_, &ResultListModel::rowsOutdated, this, &MainController::SearchDocuments, Qt::QueuedConnection);
  connect(&resultModel_, &QAbstractItemModel::dataChanged, this, &MainController::RowsArrived);
  connect(&resultModel_, &QAbstractItemModel::modelReset, this, [this] { waitingPreviewRow_ = -1; });
  connect(&resultModel_, &QAbstractItemModel::modelReset, &pictures_, &PicturePool::NewAnswer);
  // A window asks many times over a long life: the index follows changes as
  // they happen instead of looking for them before each answer.
  if (service_) service_->KeepCurrent();
}

// A window closed during an export stops it and waits: the workers check
// the stop between documents, so this takes one document's time at most,
// and no picture is left half written. A search still waiting for the first
// index build would hold the exit for the whole build, so that stops too.
MainController::~MainController() {
  if (exportStop_) exportStop_->request_stop();
  if (service_) service_->Shutdown();
  pool_.waitForDone();
}

void MainController::SetStatusText(const QString& text) {
  settledStatusText_ = text;
  const QString shown = WithCatalogueNote(text);
  if (statusText_ == shown) return;
  statusText_ = shown;
  emit statusTextChanged(statusText_);
}

QString MainController::WithCatalogueNote(const QString& text) const {
  return catalogueNote_.isEmpty() ? text : text + QStringLiteral("  ") + catalogueNote_;
}

void MainController::ShowCatalogueProgress() {
  const QString note = FormatCatalogueProgress(service_->CatalogueProgress());
  if (note == catalogueNote_) return;
  const bool finished = note.isEmpty();
  catalogueNote_ = note;
  emit catalogueProgressChanged(catalogueNote_);
  resultModel_.CatalogueAdvanced();
  // The indexing note stays while it is shown; the line follows after.
  if (!indexingTimer_.isActive()) SetStatusText(settledStatusText_);
  // The documents the last answer left pending are read now: ask again.
  if (finished && lastPending_ > 0) SearchDocuments();
}

void MainController::DocumentsOnScreen(int firstRow, int lastRow) {
  if (!service_) return;
  std::vector<std::string> paths;
  for (int row = std::max(firstRow, 0); row <= lastRow && row < resultModel_.rowCount(); ++row)
    if (const std::optional<SearchResult> result = resultModel_.ResultAt(row)) paths.push_back(result->FullPath());
  service_->ReadFirst(std::move(paths));
}

void MainController::SetKeywordText(const QString& text) { keywordText_ = text; }

void MainController::KeywordEdited(const QString& text) {
  keywordText_ = text;
  recentWalk_ = -1;
  SearchDocuments();
}

void MainController::RememberKeywords() {
  const QStringList recent = WithRecentKeyword(preferences_.recentKeywords, keywordText_);
  if (recent == preferences_.recentKeywords) return;
  preferences_.recentKeywords = recent;
  recentWalk_ = -1;
  SavePreferences();
  emit recentKeywordsChanged(recent);
}

bool MainController::WalkRecentKeywords(int step) {
  const QStringList& recent = preferences_.recentKeywords;
  const bool walking = recentWalk_ >= 0 && recentWalk_ < recent.size() && keywordText_ == recent[recentWalk_];
  if (!walking && !keywordText_.isEmpty()) return false;
  const int next = std::clamp((walking ? recentWalk_ : -1) + step, -1, static_cast<int>(recent.size()) - 1);
  if (walking && next == recentWalk_) return true;
  recentWalk_ = next;
  keywordText_ = next < 0 ? QString() : recent[next];
  emit keywordTextChanged(keywordText_);
  SearchDocuments();
  return true;
}

void MainController::SetWindowArrangement(const WindowArrangement& window) {
  if (window == preferences_.window) return;
  preferences_.window = window;
  SavePreferences();
}

void MainController::SortBy(SortKey key) {
  preferences_.sort = {key, preferences_.sort.key == key && !preferences_.sort.reverse};
  SavePreferences();
  SearchDocuments();
}

void MainController::SavePreferences() {
  if (!glimpses::SavePreferences(preferencesPath_, preferences_)) {
    SetStatusText(Tr("偏好设置未保存: 无法写入 %1").arg(QString::fromStdString(preferencesPath_)));
  }
}

void MainController::ShowIndexingProgress() {
  if (!service_ || !service_->IsIndexing() || !searchRunning_) {
    indexingTimer_.stop();
    return;
  }
  const QString text = IndexingText(service_->IndexedSoFar());
  if (statusText_ == text) return;
  statusText_ = text;
  emit statusTextChanged(statusText_);
}

void MainController::SetOutputDirText(const QString& text) { outputDirText_ = text; }

void MainController::SearchDocuments() {
  if (searchRunning_) {
    searchWaiting_ = true;
    return;
  }
  searchRunning_ = true;
  if (service_ && service_->IsIndexing()) {
    ShowIndexingProgress();
    indexingTimer_.start();
  }
  auto* watcher = new QFutureWatcher<RowsAnswer>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
    watcher->deleteLater();
    searchRunning_ = false;
    if (std::exchange(searchWaiting_, false)) {
      // The text changed while this ran: its answer is already old.
      SearchDocuments();
      return;
    }
    indexingTimer_.stop();
    ShowSearchAnswer(watcher->result());
  });
  watcher->setFuture(
      QtConcurrent::run(&pool_, QueryDocuments, service_, keywordText_.toStdString(), preferences_.sort));
}

void MainController::ShowSearchAnswer(const RowsAnswer& answer) {
  // A malformed modifier says what is wrong; the list stays as it was.
  if (answer && !answer->error().empty()) {
    SetStatusText(Tr("查询有误: %1").arg(QString::fromStdString(answer->error())));
    emit searchFinished(false);
    return;
  }
  if (!answer) {
    if (statusText_ != WithCatalogueNote(settledStatusText_)) {
      statusText_ = WithCatalogueNote(settledStatusText_);
      emit statusTextChanged(statusText_);
    }
    emit searchFinished(false);
    return;
  }
  const int count = static_cast<int>(answer->size());
  resultModel_.SetRows(answer);
  lastPending_ = answer->pending();
  SetStatusText(FormatStatusText(count) + FormatPendingNote(lastPending_) + FormatCoverageNote(service_->Coverage()));
  emit searchFinished(true);
}

bool MainController::PreviewSelectedDocument(int row) {
  waitingPreviewRow_ = -1;
  const std::optional<SearchResult> result = resultModel_.ResultAt(row);
  if (!result) return row >= 0 && row < resultModel_.rowCount() && WaitForRow(row);
  // Taken before anything is emitted: a slot could change the list.
  std::string document = result->FullPath();
  selectedPath_ = document;
  selectedDir_ = result->folder;
  // Emptied at once, so a slow document never shows the previous picture.
  ShowPreview({});

  const std::uint64_t ticket = ++previewTicket_;
  auto* watcher = new QFutureWatcher<PreviewPictures>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket] {
    watcher->deleteLater();
    if (ticket != previewTicket_) {
      emit previewFinished(false);
      return;
    }
    ShowPreview(watcher->result());
    emit previewFinished(!preview_.fitted.isNull());
  });
  watcher->setFuture(QtConcurrent::run(&pool_, ExtractPreview, extractor_, document));
  ReadDetails(std::move(document));
  return true;
}

void MainController::ReadDetails(std::string document) {
  ShowDetails({DocumentDetails::State::kReading, document, {}});
  const std::uint64_t ticket = ++detailsTicket_;
  auto* watcher = new QFutureWatcher<std::optional<DocumentMetadata>>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket, document] {
    watcher->deleteLater();
    if (ticket != detailsTicket_) return;
    std::optional<DocumentMetadata> metadata = watcher->result();
    if (!metadata) return ShowDetails({DocumentDetails::State::kUnreadable, document, {}});
    ShowDetails({DocumentDetails::State::kRead, document, std::move(*metadata)});
  });
  watcher->setFuture(QtConcurrent::run(&pool_, readDetails_, document));
}

void MainController::ShowDetails(DocumentDetails details) {
  details_ = std::move(details);
  emit detailsChanged();
}

// The row exists but is still being read: nothing stays selected meanwhile,
// and the preview starts when the row arrives.
bool MainController::WaitForRow(int row) {
  waitingPreviewRow_ = row;
  selectedPath_.clear();
  selectedDir_.clear();
  ShowPreview({});
  ++detailsTicket_;
  ShowDetails({});
  return true;
}

void MainController::RowsArrived(const QModelIndex& first, const QModelIndex& last) {
  if (waitingPreviewRow_ >= first.row() && waitingPreviewRow_ <= last.row())
    PreviewSelectedDocument(waitingPreviewRow_);
}

void MainController::ShowPreview(PreviewPictures pictures) {
  if (pictures.fitted.isNull() && preview_.fitted.isNull()) return;
  preview_ = std::move(pictures);
  emit previewChanged(preview_.fitted);
}

void MainController::OpenSelectedFile() {
  if (!selectedPath_.empty() && opener_) opener_(FileUrl(selectedPath_));
}

void MainController::OpenSelectedFolder() {
  if (!selectedDir_.empty() && opener_) opener_(FileUrl(selectedDir_));
}

std::optional<std::vector<SearchResult>> MainController::ResultsOrBusy(const std::vector<int>& rows) {
  std::optional<std::vector<SearchResult>> results = resultModel_.ResultsAt(rows);
  if (!results) SetStatusText(BusyText());
  return results;
}

void MainController::OpenDocuments(const std::vector<int>& rows) {
  const auto results = ResultsOrBusy(rows);
  if (!results || !opener_) return;
  for (const SearchResult& result : *results) opener_(FileUrl(result.FullPath()));
}

void MainController::OpenFolders(const std::vector<int>& rows) {
  const auto results = ResultsOrBusy(rows);
  if (!results || !opener_) return;
  std::vector<std::string> opened;
  for (const SearchResult& result : *results) {
    if (std::find(opened.begin(), opened.end(), result.folder) != opened.end()) continue;
    opened.push_back(result.folder);
    opener_(FileUrl(result.folder));
  }
}

namespace {

std::vector<std::string> FullPaths(const std::vector<SearchResult>& results) {
  std::vector<std::string> paths;
  paths.reserve(results.size());
  for (const SearchResult& result : results) paths.push_back(result.FullPath());
  return paths;
}

}  // namespace

std::unique_ptr<QMimeData> MainController::CopyFiles(const std::vector<int>& rows) {
  const auto results = ResultsOrBusy(rows);
  return results ? FilesMimeData(FullPaths(*results)) : nullptr;
}

std::unique_ptr<QMimeData> MainController::CopyPaths(const std::vector<int>& rows) {
  const auto results = ResultsOrBusy(rows);
  return results ? PathsMimeData(FullPaths(*results)) : nullptr;
}

void MainController::SearchPlacedFile(const QString& name) {
  keywordText_ = PlacedFileQuery(name);
  recentWalk_ = -1;
  emit keywordTextChanged(keywordText_);
  SearchDocuments();
  RememberKeywords();
}

void MainController::ExcludeFolderOf(int row) {
  const std::optional<SearchResult> result = resultModel_.ResultAt(row);
  if (!result) return;
  std::vector<std::string> excludes = preferences_.excludes;
  if (std::find(excludes.begin(), excludes.end(), result->folder) == excludes.end()) excludes.push_back(result->folder);
  SetExcludes(std::move(excludes));
}

void MainController::SetExcludes(std::vector<std::string> excludes) {
  preferences_.excludes = std::move(excludes);
  SavePreferences();
  if (restartService_) {
    if (service_) service_->Shutdown();
    service_ = restartService_(preferences_.excludes);
    if (service_) service_->KeepCurrent();
    resultModel_.SetMakerLookup(MakerLookupOf(service_));
  }
  SearchDocuments();
}

void MainController::ChooseOutputFolder() {
  if (chooseFolder_) {
    QString chosen = chooseFolder_(Tr(kFolderDialogTitle), outputDir_);
    if (!chosen.isEmpty()) outputDir_ = chosen;
  }
  outputDirText_ = outputDir_;
  emit outputDirTextChanged(outputDirText_);
}

bool MainController::ReadInputFields() {
  keywords_ = keywordText_;
  outputDir_ = outputDirText_;
  return true;
}

bool MainController::SaveSettings() {
  Settings settings{keywords_.toStdU16String(), outputDir_.toStdU16String()};
  SettingsError error = glimpses::SaveSettings(settingsPath_, settings);
  if (error == SettingsError::kNone) return true;
  SetStatusText(SaveErrorText(error, settingsPath_));
  return false;
}

void MainController::SaveAndClose() {
  ReadInputFields();
  if (SaveSettings()) emit closeRequested(0);
}

void MainController::StartExport() {
  if (IsExporting()) return CancelExport();
  ReadInputFields();
  RunExport([service = service_, keywords = keywords_.toStdString()](const std::string& output,
                                                                     const ExportOptions& options) {
    return ExportThumbnails(*service, keywords, output, options);
  });
}

void MainController::ExportRows(const std::vector<int>& rows) {
  if (IsExporting()) return;
  ReadInputFields();
  // Only the rows are taken here; reading them may wait for the index, so
  // the export's own thread does it.
  RunExport([answer = resultModel_.Rows(), rows](const std::string& output, const ExportOptions& options) {
    const std::optional<std::vector<SearchResult>> entries = ReadRows(answer, rows);
    if (!entries) return FailedExport(ExportError::kNoAnswer);
    return ExportEntries(*entries, output, options);
  });
}

// Checks the output folder read from its edit, then runs `job` with the
// progress and the stop of this window.
void MainController::RunExport(ExportJob job) {
  if (outputDir_.isEmpty()) return RefuseExport(ExportOutcomeText(FailedExport(ExportError::kNoOutputFolder), {}));
  // A relative folder would be written under whatever folder the program
  // was started from, which the user neither sees nor chose (an old Windows
  // settings file brings "D:\Thumbs缩略图", relative here), so it is
  // refused rather than guessed at.
  const QString folder = AbsoluteOutputFolder(outputDir_, QDir::homePath());
  if (folder.isEmpty()) {
    return RefuseExport(Tr("导出失败: 输出目录须为完整路径 (以 / 或 ~/ 开头): %1").arg(outputDir_));
  }
  if (!service_) return RefuseExport(ExportOutcomeText(FailedExport(ExportError::kNoAnswer), folder));

  RunLongJob<ExportResult>(
      LongJob::kThumbnails,
      [job = std::move(job), output = folder.toStdString()](std::stop_token stop, Progress progress) {
        ExportOptions options;
        options.jobs = 0;
        options.stopToken = std::move(stop);
        options.progress = std::move(progress);
        return job(output, options);
      },
      [this, folder](const ExportResult& result, bool stopRequested) {
        SetStatusText(ExportOutcomeText(result, folder));
        // A stop asked for just as the last document ended still means the
        // user no longer wants the folder thrown open.
        const bool succeeded = result.ok() && result.answered && !result.cancelled && !stopRequested;
        if (succeeded && opener_) opener_(FileUrl(folder.toStdString()));
        return succeeded;
      });
}

void MainController::ExportContactSheet(const std::vector<int>& rows) {
  if (IsExporting()) return;
  ReadInputFields();
  const RowsAnswer answer = resultModel_.Rows();
  if (!answer || answer->size() == 0) {
    ContactSheetResult nothing;
    nothing.error = ContactSheetError::kNoEntries;
    return RefuseExport(ContactSheetOutcomeText(nothing, {}));
  }
  const QString path = chooseSaveFile_ ? chooseSaveFile_(Tr(kContactSheetTitle), SuggestedSheetPath()) : QString();
  if (path.isEmpty()) return;
  SheetOfRows sheet{answer, rows, {}, Tr("%1 个文档"), LocaleSheetPage(), path.toStdString()};
  if (sheet.rows.empty()) {
    sheet.rows.resize(answer->size());
    std::iota(sheet.rows.begin(), sheet.rows.end(), 0);
  }
  sheet.header.keywords = keywords_.toStdString();
  RunLongJob<ContactSheetResult>(
      LongJob::kContactSheet,
      [sheet = std::move(sheet)](std::stop_token stop, Progress progress) {
        return WriteSheetOfRows(sheet, std::move(stop), std::move(progress));
      },
      [this, path](const ContactSheetResult& result, bool) {
        SetStatusText(ContactSheetOutcomeText(result, path));
        return result.ok();
      });
}

// In the output folder when it is a folder already, else in the home folder.
QString MainController::SuggestedSheetPath() const {
  QString folder = AbsoluteOutputFolder(outputDir_, QDir::homePath());
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return QDir(folder).filePath(Tr(kContactSheetName));
}

template <typename Result>
void MainController::RunLongJob(LongJob kind, std::function<Result(std::stop_token, Progress)> job,
                                std::function<bool(const Result&, bool stopRequested)> finish) {
  longJob_ = kind;
  exportStop_.emplace();
  exportProgress_ = std::make_shared<ExportProgress>();
  Progress progress = [shared = exportProgress_](int done, int total) {
    shared->total.store(total);
    shared->done.store(done);
  };
  auto* watcher = new QFutureWatcher<Result>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, finish = std::move(finish)] {
    watcher->deleteLater();
    const bool stopRequested = exportStop_->stop_requested();
    exportProgressTimer_.stop();
    exportStop_.reset();
    exportProgress_.reset();
    const bool succeeded = finish(watcher->result(), stopRequested);
    emit exportRunningChanged(false);
    emit exportFinished(succeeded);
  });
  watcher->setFuture(QtConcurrent::run(
      &pool_, [job = std::move(job), stop = exportStop_->get_token(), progress] { return job(stop, progress); }));
  exportProgressTimer_.start();
  ShowExportProgress();
  emit exportRunningChanged(true);
}

void MainController::CancelExport() {
  if (!IsExporting()) return;
  exportStop_->request_stop();
  ShowExportProgress();
}

void MainController::ShowExportProgress() {
  if (!exportProgress_) return;
  if (exportStop_->stop_requested()) {
    SetStatusText(Tr("正在取消导出..."));
    return;
  }
  const bool sheet = longJob_ == LongJob::kContactSheet;
  const int total = exportProgress_->total.load();
  if (total < 0) {
    SetStatusText(sheet ? Tr("正在导出联系表...") : Tr("正在导出缩略图..."));
  } else {
    SetStatusText((sheet ? Tr("正在导出联系表: %1 / %2") : Tr("正在导出缩略图: %1 / %2"))
                      .arg(exportProgress_->done.load())
                      .arg(total));
  }
}

void MainController::RefuseExport(const QString& message) {
  SetStatusText(message);
  emit exportFinished(false);
}

}  // namespace glimpses

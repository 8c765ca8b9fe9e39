// The main window's state and handlers, without widgets: the two edit
// texts and the values last read from them, the result list, the status
// line, the preview picture and the selected document. The window shows
// this object and forwards its events to it; tests drive it directly.
//
// Searches and previews run off the UI thread. One search runs at a time;
// text typed meanwhile waits, only the newest, and the running search's
// answer is dropped for it. Each preview request carries a ticket; a
// picture that arrives after a newer selection is dropped; so are the
// details read of an older selection. So the newest search and the newest
// selection always win. The batch export and the contact sheet run off the
// UI thread too, one of them at a time, and can be cancelled.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/document_details.h"
#include "app/picture_pool.h"
#include "app/pictures.h"
#include "app/preferences.h"
#include "app/result_list_model.h"
#include "app/settings.h"
#include "export/export.h"
#include "metadata/document_metadata.h"
#include "search/search_service.h"

namespace glimpses {

// Hands a file or folder, as a file URL (see FileUrl), to the desktop's
// default application.
using DesktopOpener = std::function<void(const QUrl& url)>;
// Asks the user for a folder; an empty string when the user cancelled.
using FolderChooser = std::function<QString(const QString& title, const QString& startFolder)>;
// The document's stored picture, read in memory (see StoredPicturePreview);
// null when it has none. Runs on a worker thread.
using ThumbnailExtractor = std::function<QImage(const std::string& documentPath)>;
// Asks the user for a file to write, offering `suggested`; an empty string
// when the user cancelled.
using SaveFileChooser = std::function<QString(const QString& title, const QString& suggested)>;
// What the document says about itself (see ReadDocumentMetadata); nullopt
// when it cannot be read. Runs on a worker thread.
using DetailsReader = std::function<std::optional<DocumentMetadata>(const std::string& documentPath)>;
// Starts a search service that leaves out `excludes` (folders and patterns),
// in place of the running one; null when it cannot.
using ServiceStarter = std::function<std::shared_ptr<SearchService>(const std::vector<std::string>& excludes)>;

inline constexpr char kWindowTitle[] = QT_TRANSLATE_NOOP("glimpses", "Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具");
inline constexpr char kFolderDialogTitle[] = QT_TRANSLATE_NOOP("glimpses", "选择路径 ");
inline constexpr QSize kPreviewBox{270, 256};
inline constexpr char kContactSheetTitle[] = QT_TRANSLATE_NOOP("glimpses", "导出联系表");
inline constexpr char kContactSheetName[] = QT_TRANSLATE_NOOP("glimpses", "联系表.pdf");

// Reads a picture by its content, whatever its name says; null when the
// file is missing or not a picture.
QImage LoadPictureByContent(const QString& path);

// The document's stored picture as the preview shows it: read and decoded in
// memory by the bounded readers, nothing written. Null when it has none.
QImage StoredPicturePreview(const std::string& documentPath);

// The output folder edit's text as an absolute path: "~" and a leading "~/"
// stand for `home`; an absolute path is taken as it is. Empty for any other
// text, such as a relative path or a Windows one like "D:\Thumbs缩略图".
QString AbsoluteOutputFolder(const QString& text, const QString& home);

// The status line after an export: the summary, or why nothing was written.
QString ExportOutcomeText(const ExportResult& result, const QString& folder);

// The preview's picture fitted into kPreviewBox, and as large as a larger
// box could show it.
struct PreviewPictures {
  QImage source;
  QImage fitted;
};

struct MainControllerSetup {
  std::shared_ptr<SearchService> service;  // may be null: every search gets no answer
  std::string settingsPath;
  Settings settings;    // the values the edits start with
  QImage startPicture;  // shown in the preview until the first selection
  DesktopOpener opener;
  FolderChooser chooseFolder;
  SaveFileChooser chooseSaveFile;  // empty: no contact sheet is written
  ThumbnailExtractor extractor;    // empty: StoredPicturePreview
  DetailsReader readDetails;       // empty: ReadDocumentMetadata
  // Called when the excluded folders change; empty: the service stays.
  ServiceStarter restartService;
  CellPictureLoader cellPictures;  // the grid's; empty: the desktop thumbnail cache, written behind
};

class MainController : public QObject {
  Q_OBJECT

 public:
  explicit MainController(MainControllerSetup setup, QObject* parent = nullptr);
  ~MainController() override;

  ResultListModel* resultModel() { return &resultModel_; }
  // The grid's pictures of the result list's documents.
  PicturePool* pictures() { return &pictures_; }
  const QString& keywordText() const { return keywordText_; }
  const QString& outputDirText() const { return outputDirText_; }
  // The values last read from the edits (ReadInputFields), loaded from the
  // settings before that.
  const QString& keywords() const { return keywords_; }
  const QString& outputDir() const { return outputDir_; }
  const QString& statusText() const { return statusText_; }
  const QImage& previewImage() const { return preview_.fitted; }
  // The same picture for a preview box larger than kPreviewBox; null when
  // the preview is empty.
  const QImage& previewSource() const { return preview_.source; }
  // The selected row's paths, for showing; the opener gets their bytes.
  QString selectedPath() const { return QString::fromStdString(selectedPath_); }
  QString selectedDir() const { return QString::fromStdString(selectedDir_); }
  // What the selected document says about itself, for the details panel.
  const DocumentDetails& details() const { return details_; }
  const std::shared_ptr<SearchService>& service() const { return service_; }
  // The sort order, excluded folders and recent keywords, as saved in the
  // preferences file beside the settings.
  const Preferences& preferences() const { return preferences_; }

  // Blocks until every search, extraction and export started so far has
  // ended; their outcomes are then waiting in the event queue.
  void WaitForBackgroundWork() { pool_.waitForDone(); }
  bool IsExporting() const { return exportStop_.has_value(); }
  // True while a search runs; text typed meanwhile waits for it.
  bool IsSearching() const { return searchRunning_; }

  // A status text other work (an export's progress) puts in the line.
  void SetStatusText(const QString& text);
  // The catalogue's filling, as the status line shows it after its text
  // (FormatCatalogueProgress); empty when it has nothing to read.
  const QString& catalogueProgressText() const { return catalogueNote_; }

 public slots:
  // The edits report each change here, so the handlers never read widgets.
  void SetKeywordText(const QString& text);
  // The user typed in the keyword edit: searches at once.
  void KeywordEdited(const QString& text);
  void SetOutputDirText(const QString& text);

  // Queries the service with the keyword text; on an answer the list shows
  // its documents and the status line their count; "no answer" changes
  // nothing. While the first index build runs the status line shows its
  // progress. Returns at once; searchFinished reports the outcome. While a
  // search runs, this only asks for one more, with the text as it is then.
  void SearchDocuments();
  // Remembers the row's document and folder, empties the preview and the
  // details and starts extracting its thumbnail and reading its details; a
  // row still being read is previewed when it arrives. False, changing
  // nothing, for a row that does not exist (negative: no selection).
  bool PreviewSelectedDocument(int row);
  // The list shows rows [firstRow, lastRow]: the catalogue reads their
  // documents before any other. Rows still being read are left out.
  void DocumentsOnScreen(int firstRow, int lastRow);
  // Open the document, or its folder, of the row selected last; nothing
  // before the first selection.
  void OpenSelectedFile();
  void OpenSelectedFolder();

  // The actions on several rows (the list's selection). Each reads the
  // rows without waiting for the index; when it is busy the status line
  // says so and nothing happens. Rows that do not exist are ignored.
  // Opens each row's document.
  void OpenDocuments(const std::vector<int>& rows);
  // Opens each row's folder, each folder once.
  void OpenFolders(const std::vector<int>& rows);
  // The rows' documents as files (FilesMimeData) or as their full paths
  // (PathsMimeData); null when busy.
  std::unique_ptr<QMimeData> CopyFiles(const std::vector<int>& rows);
  std::unique_ptr<QMimeData> CopyPaths(const std::vector<int>& rows);
  // Exports the rows' thumbnails as StartExport does the keywords' matches,
  // with the same messages; the rows are read off the window thread.
  void ExportRows(const std::vector<int>& rows);
  // Asks for a PDF file (the output folder's kContactSheetName offered) and
  // writes the contact sheet of the rows' documents into it, of every
  // listed document when `rows` is empty; the header names the keywords.
  // The rows are read off the window thread; progress and the outcome go to
  // the status line (ContactSheetOutcomeText). Nothing while an export runs.
  void ExportContactSheet(const std::vector<int>& rows);
  // Asks the running export or contact sheet to stop; nothing when none runs.
  void CancelExport();
  // Searches for the documents that place a file named `name` (see
  // PlacedFileQuery), as if it had been typed, and keeps the text.
  void SearchPlacedFile(const QString& name);
  // Leaves the row's folder out of the search from now on and searches again.
  void ExcludeFolderOf(int row);
  // Replaces the excluded folders and patterns, restarts the search service
  // with them and searches again.
  void SetExcludes(std::vector<std::string> excludes);

  // A header click: sorts by `key`, reversed when it already sorts by it;
  // the order is kept in the preferences and the list searched again.
  void SortBy(SortKey key);
  // Keeps the keyword text first among the recent ones.
  void RememberKeywords();
  // Keeps the window's arrangement in the preferences.
  void SetWindowArrangement(const WindowArrangement& window);
  // Up (step 1, older) or Down (-1, newer) in the keyword field: while it is
  // empty or shows a recent text, shows the next one and searches. False,
  // changing nothing, otherwise.
  bool WalkRecentKeywords(int step);
  // Asks for a folder; the chosen one becomes the output folder. The edit
  // then shows the stored output folder, also after a cancel.
  void ChooseOutputFolder();
  // Copies the edit texts into keywords() and outputDir().
  bool ReadInputFields();
  // Reads the edits, saves the settings and asks to close with exit code 0.
  // When the settings cannot be saved the window stays open and the status
  // line says why, so nothing typed is lost.
  void SaveAndClose();
  // The start button. Reads the edits and starts exporting the thumbnails
  // of every document the keywords match into the output folder, opened
  // when the export has done them all; progress and the outcome go to the
  // status line. While an export runs, the same button asks it to stop.
  void StartExport();

 signals:
  void statusTextChanged(const QString& text);
  void outputDirTextChanged(const QString& text);
  void previewChanged(const QImage& image);
  void searchFinished(bool answered);
  // A preview request ended; `shown` is false when it had no picture or a
  // newer selection replaced it.
  void previewFinished(bool shown);
  void closeRequested(int exitCode);
  // The details of the selection changed: a new one, or what was read of it.
  void detailsChanged();
  // An export or a contact sheet started (true) or ended (false).
  void exportRunningChanged(bool running);
  // An export ended or was refused; `succeeded` when it did every document
  // and the output folder was opened. A contact sheet too: `succeeded` when
  // it was written.
  void exportFinished(bool succeeded);
  void recentKeywordsChanged(const QStringList& recent);
  // The keyword text was set by the controller (a recent one walked to).
  void keywordTextChanged(const QString& text);
  void catalogueProgressChanged(const QString& text);

 private:
  bool SaveSettings();
  void ShowSearchAnswer(const RowsAnswer& answer);
  void ShowIndexingProgress();
  void ShowCatalogueProgress();
  QString WithCatalogueNote(const QString& text) const;
  bool WaitForRow(int row);
  void RowsArrived(const QModelIndex& first, const QModelIndex& last);
  void ShowPreview(PreviewPictures pictures);
  void ReadDetails(std::string document);
  void ShowDetails(DocumentDetails details);
  void ShowExportProgress();
  void RefuseExport(const QString& message);
  using ExportJob = std::function<ExportResult(const std::string& folder, const ExportOptions& options)>;
  void RunExport(ExportJob job);
  QString SuggestedSheetPath() const;
  enum class LongJob { kThumbnails, kContactSheet };
  using Progress = std::function<void(int done, int total)>;
  // Runs `job` on the pool with this window's stop and progress; `finish`
  // gets its result on the window thread, says how it went in the status
  // line and whether it succeeded.
  template <typename Result>
  void RunLongJob(LongJob kind, std::function<Result(std::stop_token, Progress)> job,
                  std::function<bool(const Result&, bool stopRequested)> finish);
  std::optional<std::vector<SearchResult>> ResultsOrBusy(const std::vector<int>& rows);
  void SavePreferences();

  // Written by the export's workers, read by the progress timer.
  struct ExportProgress {
    std::atomic<int> done{0};
    std::atomic<int> total{-1};  // not known until the query has answered
  };

  // Our own pool, large enough that a few documents stuck on a slow network
  // folder never keep a newer preview or search from starting.
  QThreadPool pool_;
  std::shared_ptr<SearchService> service_;
  std::string settingsPath_;
  DesktopOpener opener_;
  FolderChooser chooseFolder_;
  SaveFileChooser chooseSaveFile_;
  ThumbnailExtractor extractor_;
  DetailsReader readDetails_;
  ServiceStarter restartService_;
  std::string preferencesPath_;
  Preferences preferences_;
  int recentWalk_ = -1;  // the recent keyword shown, -1 for none

  ResultListModel resultModel_;
  PicturePool pictures_;
  QString keywordText_;
  QString outputDirText_;
  QString keywords_;
  QString outputDir_;
  QString statusText_;
  // The status line without the transient "indexing" note, put back when a
  // search that showed the note gets no answer.
  QString settledStatusText_;
  PreviewPictures preview_;
  std::string selectedPath_;  // raw bytes: a name need not be UTF-8
  std::string selectedDir_;
  bool searchRunning_ = false;
  bool searchWaiting_ = false;  // another search is due when the running one ends
  QTimer indexingTimer_;
  QTimer catalogueTimer_;
  QString catalogueNote_;
  std::size_t lastPending_ = 0;  // of the answer shown
  std::uint64_t previewTicket_ = 0;
  DocumentDetails details_;
  std::uint64_t detailsTicket_ = 0;
  int waitingPreviewRow_ = -1;  // selected while still being read
  // Set while an export or a contact sheet runs.
  LongJob longJob_ = LongJob::kThumbnails;
  std::optional<std::stop_source> exportStop_;
  std::shared_ptr<ExportProgress> exportProgress_;
  QTimer exportProgressTimer_;
};

}  // namespace glimpses

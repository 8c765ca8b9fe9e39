// Stand-ins the window tests drive the controller with: a search service
// whose answers (and delays) the test chooses, a thumbnail extractor that
// writes pictures on demand, and a private home for the test process.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "search/search_service.h"

namespace glimpses::testing {

// Points HOME, XDG_CACHE_HOME and XDG_CONFIG_HOME at a fresh temporary
// folder, so nothing a test does reaches the real home.
class PrivateHome {
 public:
  PrivateHome();
  QString path() const { return dir_.path(); }
  std::string Path(const char* relative) const;
  // Where the tests keep the settings file, and its bytes ("" when absent).
  std::string SettingsPath() const { return Path("config/glimpses/Glimpses.ini"); }
  QByteArray SettingsBytes() const;

 private:
  QTemporaryDir dir_;
};

// Lets a worker thread wait until the test opens the gate for its key.
class Gates {
 public:
  void Close(const std::string& key);
  void Open(const std::string& key);
  void OpenAll();
  void WaitWhileClosed(const std::string& key);

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  std::set<std::string> closed_;
};

class FakeSearchService : public SearchService {
 public:
  // The answer to every query of `text`; unknown texts get an empty list.
  // Reading its rows off the window thread waits while the gate "rows" is
  // closed.
  void SetAnswer(const std::string& text, SearchAnswer answer);
  void SetIndexing(bool indexing, std::size_t entriesSoFar = 0);
  void SetCoverage(WatchCoverage coverage);
  Gates& gates() { return gates_; }
  bool AskedToKeepCurrent();
  std::vector<std::string> Queries();

  // The sort orders asked for, one a query.
  std::vector<SortOrder> Orders();

  SearchAnswer Query(std::string_view text) override;
  RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) override;
  bool IsIndexing() const override;
  std::size_t IndexedSoFar() const override;
  void KeepCurrent() override;
  WatchCoverage Coverage() const override;
  // Opens every gate, as a real shutdown lets a query waiting for the first
  // build return.
  void Shutdown() override;
  bool ShutdownRequested();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, SearchAnswer> answers_;
  std::vector<std::string> queries_;
  std::vector<SortOrder> orders_;
  bool indexing_ = false;
  std::size_t entriesSoFar_ = 0;
  bool keepCurrent_ = false;
  WatchCoverage coverage_;
  bool shutdown_ = false;
  Gates gates_;
};

// Writes, for a document whose name is a key of `pictures`, that picture as
// JPEG data under the requested name (as the XMP route does under a .png
// name); other documents have no thumbnail. A document whose file name is
// closed in `gates` waits until it is opened.
ThumbnailExtractor FakeExtractor(std::map<std::string, QImage> pictures, Gates* gates);

// What the documents named as keys of `known` say about themselves; the
// others cannot be read. A document whose file name is closed in `gates`
// waits until it is opened.
DetailsReader FakeDetailsReader(std::map<std::string, DocumentMetadata> known, Gates* gates);

QImage SolidPicture(int width, int height, QColor color);

// `rows` as results in folder `folder`.
std::vector<SearchResult> Results(const std::string& folder, const std::vector<std::string>& names);

// The files in `folder`, names only.
QStringList FilesIn(const QString& folder);

// Writes real documents of every route into `folder`: an XMP thumbnail, a
// hex preview, a CorelDRAW bitmap under an odd spelling, a document without
// a thumbnail and a file that is no document, names with spaces and Chinese.
// Returns their file names; empty when one could not be written.
std::vector<std::string> WriteExportSamples(const QString& folder);
// The pictures an export of those documents leaves, sorted.
QStringList ExportSamplePictures();

}  // namespace glimpses::testing

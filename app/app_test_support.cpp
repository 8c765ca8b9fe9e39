#include "app/app_test_support.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <memory>
#include <utility>

#include "base/file_util.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"

namespace glimpses::testing {

PrivateHome::PrivateHome() {
  qputenv("HOME", dir_.path().toUtf8());
  qputenv("XDG_CACHE_HOME", (dir_.path() + "/cache").toUtf8());
  qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toUtf8());
}

std::string PrivateHome::Path(const char* relative) const { return dir_.path().toStdString() + "/" + relative; }

QByteArray PrivateHome::SettingsBytes() const {
  QFile file(QString::fromStdString(SettingsPath()));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Gates::Close(const std::string& key) {
  std::lock_guard lock(mutex_);
  closed_.insert(key);
}

void Gates::Open(const std::string& key) {
  {
    std::lock_guard lock(mutex_);
    closed_.erase(key);
  }
  opened_.notify_all();
}

void Gates::OpenAll() {
  {
    std::lock_guard lock(mutex_);
    closed_.clear();
  }
  opened_.notify_all();
}

void Gates::WaitWhileClosed(const std::string& key) {
  std::unique_lock lock(mutex_);
  opened_.wait(lock, [&] { return closed_.count(key) == 0; });
}

void FakeSearchService::SetAnswer(const std::string& text, SearchAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_[text] = std::move(answer);
}

void FakeSearchService::SetIndexing(bool indexing, std::size_t entriesSoFar) {
  std::lock_guard lock(mutex_);
  indexing_ = indexing;
  entriesSoFar_ = entriesSoFar;
}

void FakeSearchService::SetCoverage(WatchCoverage coverage) {
  std::lock_guard lock(mutex_);
  coverage_ = coverage;
}

WatchCoverage FakeSearchService::Coverage() const {
  std::lock_guard lock(mutex_);
  return coverage_;
}

std::size_t FakeSearchService::IndexedSoFar() const {
  std::lock_guard lock(mutex_);
  return entriesSoFar_;
}

void FakeSearchService::KeepCurrent() {
  std::lock_guard lock(mutex_);
  keepCurrent_ = true;
}

bool FakeSearchService::AskedToKeepCurrent() {
  std::lock_guard lock(mutex_);
  return keepCurrent_;
}

std::vector<std::string> FakeSearchService::Queries() {
  std::lock_guard lock(mutex_);
  return queries_;
}

std::vector<SortOrder> FakeSearchService::Orders() {
  std::lock_guard lock(mutex_);
  return orders_;
}

namespace {

// An answer in the order it was set: the fake plays a service whose own
// order is the one the test wrote down. A read that may wait waits while
// the gate "rows" is closed, as work off the window thread waits for a busy
// index; the service outlives its answers.
class GivenRows final : public AnswerRows {
 public:
  GivenRows(std::vector<SearchResult> rows, Gates& gates) : rows_(std::move(rows)), gates_(gates) {}
  std::size_t size() const override { return rows_.size(); }
  RowsRead Read(std::size_t first, std::size_t count, RowsWait wait) const override {
    if (wait == RowsWait::kMayWait) gates_.WaitWhileClosed("rows");
    return {RowsRead::kRead, {rows_.begin() + first, rows_.begin() + first + count}};
  }

 private:
  std::vector<SearchResult> rows_;
  Gates& gates_;
};

}  // namespace

RowsAnswer FakeSearchService::QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) {
  {
    std::lock_guard lock(mutex_);
    orders_.push_back(order);
  }
  // A sort order, and a malformed query, are the real service's to handle.
  if (order != SortOrder{} || !QuerySyntaxError(text).empty()) return SearchService::QueryRows(text, keep, order);
  SearchAnswer answer = Query(text);
  if (!answer) return nullptr;
  if (keep) std::erase_if(*answer, [&](const SearchResult& result) { return !keep(result.fileName); });
  return std::make_shared<GivenRows>(std::move(*answer), gates_);
}

SearchAnswer FakeSearchService::Query(std::string_view text) {
  std::string key(text);
  gates_.WaitWhileClosed(key);
  std::lock_guard lock(mutex_);
  queries_.push_back(key);
  auto found = answers_.find(key);
  if (found == answers_.end()) return std::vector<SearchResult>{};
  return found->second;
}

bool FakeSearchService::IsIndexing() const {
  std::lock_guard lock(mutex_);
  return indexing_;
}

void FakeSearchService::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
  }
  gates_.OpenAll();
}

bool FakeSearchService::ShutdownRequested() {
  std::lock_guard lock(mutex_);
  return shutdown_;
}

ThumbnailExtractor FakeExtractor(std::map<std::string, QImage> pictures, Gates* gates) {
  auto shared = std::make_shared<const std::map<std::string, QImage>>(std::move(pictures));
  return [shared, gates](const std::string& document) {
    std::string name = std::filesystem::path(document).filename().string();
    if (gates != nullptr) gates->WaitWhileClosed(name);
    auto found = shared->find(name);
    return found == shared->end() ? QImage() : found->second;
  };
}

DetailsReader FakeDetailsReader(std::map<std::string, DocumentMetadata> known, Gates* gates) {
  auto shared = std::make_shared<const std::map<std::string, DocumentMetadata>>(std::move(known));
  return [shared, gates](const std::string& document) -> std::optional<DocumentMetadata> {
    std::string name = std::filesystem::path(document).filename().string();
    if (gates != nullptr) gates->WaitWhileClosed(name);
    auto found = shared->find(name);
    if (found == shared->end()) return std::nullopt;
    return found->second;
  };
}

QImage SolidPicture(int width, int height, QColor color) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

std::vector<SearchResult> Results(const std::string& folder, const std::vector<std::string>& names) {
  std::vector<SearchResult> results;
  for (const std::string& name : names) results.push_back({name, folder});
  return results;
}

QStringList FilesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

}  // namespace glimpses::testing

namespace glimpses::testing {

std::vector<std::string> WriteExportSamples(const QString& folder) {
  const std::pair<std::string, Bytes> documents[] = {
      {"xmp 缩略图.pdf", BuildAdobeDocument(SampleJpeg(64, 48, 1), {})},
      {"hex preview.ai", BuildHexPreviewAi(20, 10, true)},
      {"旧版 图.CDr", BuildCorelRiff(1200, {{"DISP", SampleDispData(8, 6, 24), std::nullopt}})},
      {"no thumbnail.eps", BuildDocumentWithoutThumbnail(DocumentKind::kEps, 4096)},
      {"notes.txt", Bytes{'n', 'o', 't', 'e', 's'}},
  };
  std::vector<std::string> names;
  for (const auto& [name, bytes] : documents) {
    const std::string path = folder.toStdString() + "/" + name;
    if (!WriteFileAtomically(path, bytes.data(), bytes.size())) return {};
    names.push_back(name);
  }
  return names;
}

QStringList ExportSamplePictures() {
  QStringList pictures{QStringLiteral("xmp 缩略图.pdf_T.jpg"), QStringLiteral("hex preview.ai_T.png"),
                       QStringLiteral("旧版 图.CDr_T.png")};
  pictures.sort();
  return pictures;
}

}  // namespace glimpses::testing

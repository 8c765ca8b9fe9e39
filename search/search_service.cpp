#include "search/search_service.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/file_handle.h"
#include "base/path.h"
#include "search/answer_order.h"
#include "search/document_filter.h"
#include "search/index_cache.h"
#include "search/index_rows.h"
#include "search/name_index.h"
#include "search/plocate_backend.h"
#include "search/query.h"
#include "search/service_catalogue.h"
#include "base/user_folders.h"

namespace glimpses {
namespace {

std::string CacheFolder(const SearchOptions& options) {
  return options.cacheDir.empty() ? CacheDir() : options.cacheDir;
}

// The roots, less those inside an excluded folder.
std::vector<std::string> RootsOf(const SearchOptions& options) {
  std::vector<std::string> roots =
      NormalizeRoots(options.roots.empty() ? std::vector<std::string>{HomeDir()} : options.roots);
  const ExcludedFolders excluded(options.excludes);
  std::erase_if(roots, [&](const std::string& root) { return excluded.Excludes(root); });
  return roots;
}

// Rows made from a whole answer, or the reason the text is no query.
class ListedRows final : public AnswerRows {
 public:
  explicit ListedRows(std::vector<SearchResult> results, std::string error = {})
      : results_(std::move(results)), error_(std::move(error)) {}
  std::size_t size() const override { return results_.size(); }
  RowsRead Read(std::size_t first, std::size_t count, RowsWait) const override {
    return {RowsRead::kRead, {results_.begin() + first, results_.begin() + first + count}};
  }
  std::string error() const override { return error_; }

 private:
  std::vector<SearchResult> results_;
  std::string error_;
};

RowsAnswer MalformedQuery(std::string error) {
  return std::make_shared<ListedRows>(std::vector<SearchResult>{}, std::move(error));
}

// Only the embedded index keeps a catalogue: plocate's database names
// files, and what they hold needs the documents under the roots.
constexpr char kNoCatalogueHere[] =
    "font:, creator:, pages: and the other metadata terms need the index backend (--backend index)";

// The catalogue takes in a burst of changes once it has settled this long.
constexpr auto kCatalogueSettle = std::chrono::seconds(2);
// While it is filled, the watcher looks this often for changes that an
// answer's catch-up applied.
constexpr int kCatalogueLookMs = 2000;

// The embedded index: loaded from the cache file or built on a background
// thread, then refreshed before every answer; or, once asked to keep
// current, kept so by change notifications on a thread of its own.
class IndexService final : public SearchService {
 public:
  explicit IndexService(const SearchOptions& options)
      : core_(std::make_shared<GuardedIndex>(RootsOf(options), options.includeHidden)),
        index_(core_->index),
        cachePath_(JoinPath(CacheFolder(options), IndexFileName(index_.roots(), options.includeHidden,
                                                                ExcludedFolders(options.excludes).Items()))),
        catalogue_(options, RootsOf(options), CacheFolder(options)) {
    index_.SetExcluded(ExcludedFolders(options.excludes));
    index_.SetCancelFlag(&closing_);
    try {
      worker_ = std::thread([this] { Start(); });
    } catch (...) {
      Start();  // no thread to be had: build here, late rather than never
    }
  }

  ~IndexService() override {
    Shutdown();
    if (worker_.joinable()) worker_.join();
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard lock(core_->mutex);
    if (dirty_) SaveLocked();
  }

  SearchAnswer Query(std::string_view text) override {
    std::string error;
    std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (!query || (query->UsesMetadata() && !catalogue_.Bind(*query, &error))) return std::nullopt;
    std::unique_lock lock = ReadyLock();
    return index_.Search(*query);
  }

  RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) override {
    std::string error;
    std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (!query || (query->UsesMetadata() && !catalogue_.Bind(*query, &error))) return MalformedQuery(std::move(error));
    std::unique_lock lock = ReadyLock();
    std::size_t pending = 0;
    std::optional<std::vector<std::uint32_t>> ids = index_.Match(*query, keep, order, &pending);
    if (!ids) return nullptr;
    return MakeIndexRows(core_, std::move(*ids), pending);
  }

  void ReadFirst(std::vector<std::string> paths) override { catalogue_.ReadFirst(std::move(paths)); }
  FillProgress CatalogueProgress() const override { return catalogue_.Progress(); }

  bool FillCatalogue(const std::optional<std::vector<std::string>>& paths,
                     const std::function<void(FillProgress)>& progress, std::string* error) override {
    std::vector<std::string> documents;
    if (paths) {
      documents = *paths;
    } else {
      std::unique_lock lock = ReadyLock();
      if (!index_.Match(glimpses::Query::Parse(""), IsListedDocument)) {
        *error = "no search root can be read";
        return false;
      }
      documents = index_.PathsOf(IsListedDocument);
    }
    return catalogue_.FillNow(std::move(documents), !paths, progress, error);
  }

  std::optional<DocumentMetadata> CataloguedMaker(const std::string& path) override { return catalogue_.MakerOf(path); }

  bool IsIndexing() const override { return indexing_.load(); }
  std::size_t IndexedSoFar() const override { return index_.EntriesRead(); }

  void KeepCurrent() override {
    if (live_.exchange(true) || !watch_.ok() || !stop_) return;
    try {
      watcher_ = std::thread([this] { KeepWatching(); });
    } catch (...) {
      live_ = false;  // no thread: answers keep checking times as before
    }
  }

  WatchCoverage Coverage() const override { return {remoteRoots_.load(), unwatchedFolders_.load()}; }

  void Shutdown() override {
    closing_ = true;
    if (stop_) ::eventfd_write(stop_.get(), 1);
  }

 private:
  // The lock, once the first build is done and the index is current.
  std::unique_lock<std::mutex> ReadyLock() {
    std::unique_lock lock(core_->mutex);
    ready_.wait(lock, [this] { return !indexing_.load(); });
    const bool changed = watching_ ? index_.CatchUp() : index_.Refresh();
    dirty_ |= changed;
    if (changed && watching_) catalogueBehind_ = true;
    if (watching_) {
      const WatchCoverage coverage = index_.WatchCoverage();
      remoteRoots_ = coverage.remoteRoots;
      unwatchedFolders_ = coverage.unwatchedFolders;
    }
    return lock;
  }

  void Start() {
    std::unique_lock lock(core_->mutex);
    const bool loaded = index_.Load(cachePath_);
    if (!loaded) {
      index_.Build();
      // A build cut short by closing is not worth keeping.
      if (!closing_) SaveLocked();
    }
    indexing_ = false;
    ready_.notify_all();
    if (loaded && !closing_ && !live_) {
      // Catch up with what changed while we were not running, before the
      // first query asks.
      if (index_.Refresh()) SaveLocked();
    }
  }

  void KeepWatching() {
    std::vector<std::string> documents;
    {
      std::unique_lock lock(core_->mutex);
      ready_.wait(lock, [this] { return !indexing_.load() || closing_; });
      if (closing_) return;
      index_.Watch(&watch_);
      // What changed before the watches were set.
      dirty_ |= index_.Refresh();
      watching_ = true;
      if (catalogue_.CanRead()) documents = index_.PathsOf(IsListedDocument);
    }
    const bool filling = catalogue_.CanRead();
    if (filling) catalogue_.StartFilling(std::move(documents));
    pollfd fds[2] = {{watch_.fd(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    using Clock = std::chrono::steady_clock;
    constexpr Clock::time_point kNotDue = Clock::time_point::max();
    Clock::time_point catalogueDue = kNotDue;
    while (!closing_) {
      int timeout = filling ? kCatalogueLookMs : -1;
      if (catalogueDue != kNotDue) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(catalogueDue - Clock::now());
        timeout = static_cast<int>(std::max<std::int64_t>(0, left.count()));
      }
      if (::poll(fds, 2, timeout) < 0 && errno != EINTR) break;
      if (fds[1].revents != 0) break;
      bool changed;
      {
        std::lock_guard lock(core_->mutex);
        changed = index_.ApplyChanges();
        dirty_ |= changed;
      }
      if (filling && (changed || catalogueBehind_.exchange(false)) && catalogueDue == kNotDue)
        catalogueDue = Clock::now() + kCatalogueSettle;
      if (catalogueDue != kNotDue && Clock::now() >= catalogueDue) {
        catalogueDue = kNotDue;
        TellCatalogue();
      }
    }
  }

  // The catalogue follows the index: what it holds now, and what changes
  // named meanwhile.
  void TellCatalogue() {
    std::vector<std::string> documents;
    std::vector<std::string> named;
    bool overflowed = false;
    {
      std::lock_guard lock(core_->mutex);
      documents = index_.PathsOf(IsListedDocument);
      named = index_.TakeNamedPaths(&overflowed);
    }
    catalogue_.IndexChanged(std::move(documents), std::move(named), overflowed);
  }

  void SaveLocked() {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(cachePath_).parent_path(), error);
    dirty_ = !index_.Save(cachePath_);
  }

  std::shared_ptr<GuardedIndex> core_;
  NameIndex& index_;
  const std::string cachePath_;
  ServiceCatalogue catalogue_;
  std::condition_variable ready_;
  std::atomic<bool> indexing_{true};
  std::atomic<bool> closing_{false};
  std::atomic<bool> live_{false};
  std::atomic<bool> catalogueBehind_{false};  // an answer's catch-up changed the index
  std::atomic<std::size_t> remoteRoots_{0};   // of the last answer, for any thread
  std::atomic<std::size_t> unwatchedFolders_{0};
  bool watching_ = false;  // under the lock
  bool dirty_ = false;
  FolderWatch watch_;
  const UniqueFd stop_{::eventfd(0, EFD_CLOEXEC)};  // Shutdown wakes the watcher through it
  std::thread worker_;
  std::thread watcher_;
};

class PlocateService final : public SearchService {
 public:
  explicit PlocateService(const SearchOptions& options) {
    options_.roots = RootsOf(options);
    options_.includeHidden = options.includeHidden;
    options_.database = options.plocateDb;
    options_.excluded = ExcludedFolders(options.excludes);
  }
  SearchAnswer Query(std::string_view text) override {
    std::string error;
    const std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (!query || query->UsesMetadata()) return std::nullopt;
    return QueryPlocate(*query, options_);
  }
  RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) override {
    std::string error;
    const std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (query && query->UsesMetadata()) return MalformedQuery(kNoCatalogueHere);
    return SearchService::QueryRows(text, keep, order);
  }
  bool IsIndexing() const override { return false; }

 private:
  PlocateOptions options_;
};

}  // namespace

std::string SearchResult::FullPath() const { return JoinPath(folder, fileName); }

std::string QuerySyntaxError(std::string_view text) {
  std::string error;
  glimpses::Query::TryParse(text, &error);
  return error;
}

bool SearchService::FillCatalogue(const std::optional<std::vector<std::string>>&,
                                  const std::function<void(FillProgress)>&, std::string* error) {
  *error = kNoCatalogueHere;
  return false;
}

RowsAnswer SearchService::QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) {
  if (std::string error = QuerySyntaxError(text); !error.empty()) return MalformedQuery(std::move(error));
  SearchAnswer answer = Query(text);
  if (!answer) return nullptr;
  if (keep) std::erase_if(*answer, [&](const SearchResult& result) { return !keep(result.fileName); });
  // Query's answer is in the default order already.
  if (order != SortOrder{}) SortAnswer(*answer, order);
  return std::make_shared<ListedRows>(std::move(*answer));
}

std::unique_ptr<SearchService> EnsureSearchServiceRunning(const SearchOptions& options) {
  if (options.backend == Backend::kPlocate) return std::make_unique<PlocateService>(options);
  return std::make_unique<IndexService>(options);
}

}  // namespace glimpses

#include "search/search_service.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/file_handle.h"
#include "base/path.h"
#include "search/answer_order.h"
#include "search/index_cache.h"
#include "search/index_rows.h"
#include "search/name_index.h"
#include "search/plocate_backend.h"
#include "search/query.h"
#include "search/user_folders.h"

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

// The embedded index: loaded from the cache file or built on a background
// thread, then refreshed before every answer; or, once asked to keep
// current, kept so by change notifications on a thread of its own.
class IndexService final : public SearchService {
 public:
  explicit IndexService(const SearchOptions& options)
      : core_(std::make_shared<GuardedIndex>(RootsOf(options), options.includeHidden)),
        index_(core_->index),
        cachePath_(JoinPath(CacheFolder(options), IndexFileName(index_.roots(), options.includeHidden,
                                                                ExcludedFolders(options.excludes).Items()))) {
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
    const std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (!query) return std::nullopt;
    std::unique_lock lock = ReadyLock();
    return index_.Search(*query);
  }

  RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order) override {
    std::string error;
    const std::optional<glimpses::Query> query = glimpses::Query::TryParse(text, &error);
    if (!query) return MalformedQuery(std::move(error));
    std::unique_lock lock = ReadyLock();
    std::optional<std::vector<std::uint32_t>> ids = index_.Match(*query, keep, order);
    if (!ids) return nullptr;
    return MakeIndexRows(core_, std::move(*ids));
  }

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
    dirty_ |= watching_ ? index_.CatchUp() : index_.Refresh();
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
    {
      std::unique_lock lock(core_->mutex);
      ready_.wait(lock, [this] { return !indexing_.load() || closing_; });
      if (closing_) return;
      index_.Watch(&watch_);
      // What changed before the watches were set.
      dirty_ |= index_.Refresh();
      watching_ = true;
    }
    pollfd fds[2] = {{watch_.fd(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    while (!closing_) {
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
      if (fds[1].revents != 0) break;
      std::lock_guard lock(core_->mutex);
      dirty_ |= index_.ApplyChanges();
    }
  }

  void SaveLocked() {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(cachePath_).parent_path(), error);
    dirty_ = !index_.Save(cachePath_);
  }

  std::shared_ptr<GuardedIndex> core_;
  NameIndex& index_;
  const std::string cachePath_;
  std::condition_variable ready_;
  std::atomic<bool> indexing_{true};
  std::atomic<bool> closing_{false};
  std::atomic<bool> live_{false};
  std::atomic<std::size_t> remoteRoots_{0};  // of the last answer, for any thread
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
    if (!query) return std::nullopt;
    return QueryPlocate(*query, options_);
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

#include "search_service.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "index_cache.h"
#include "name_index.h"
#include "plocate_backend.h"
#include "query.h"
#include "user_folders.h"

namespace glimpses {
namespace {

std::string CacheFolder(const SearchOptions& options) {
  return options.cacheDir.empty() ? CacheDir() : options.cacheDir;
}

std::vector<std::string> RootsOf(const SearchOptions& options) {
  return NormalizeRoots(options.roots.empty() ? std::vector<std::string>{HomeDir()} : options.roots);
}

// The embedded index: loaded from the cache file or built on a background
// thread, then refreshed before every answer.
class IndexService final : public SearchService {
 public:
  explicit IndexService(const SearchOptions& options)
      : index_(RootsOf(options), options.includeHidden),
        cachePath_(CacheFolder(options) + "/" + IndexFileName(index_.roots(), options.includeHidden)) {
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
    std::lock_guard lock(mutex_);
    if (dirty_) SaveLocked();
  }

  SearchAnswer Query(std::string_view text) override {
    const glimpses::Query query = glimpses::Query::Parse(text);
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !indexing_.load(); });
    dirty_ |= index_.Refresh();
    return index_.Search(query);
  }

  bool IsIndexing() const override { return indexing_.load(); }

  void Shutdown() override { closing_ = true; }

 private:
  void Start() {
    std::unique_lock lock(mutex_);
    const bool loaded = index_.Load(cachePath_);
    if (!loaded) {
      index_.Build();
      // A build cut short by closing is not worth keeping.
      if (!closing_) SaveLocked();
    }
    indexing_ = false;
    ready_.notify_all();
    if (loaded && !closing_) {
      // Catch up with what changed while we were not running, before the
      // first query asks.
      if (index_.Refresh()) SaveLocked();
    }
  }

  void SaveLocked() {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(cachePath_).parent_path(), error);
    dirty_ = !index_.Save(cachePath_);
  }

  NameIndex index_;
  const std::string cachePath_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::atomic<bool> indexing_{true};
  std::atomic<bool> closing_{false};
  bool dirty_ = false;
  std::thread worker_;
};

class PlocateService final : public SearchService {
 public:
  explicit PlocateService(const SearchOptions& options) {
    options_.roots = RootsOf(options);
    options_.includeHidden = options.includeHidden;
    options_.database = options.plocateDb;
  }
  SearchAnswer Query(std::string_view text) override {
    return QueryPlocate(glimpses::Query::Parse(text), options_);
  }
  bool IsIndexing() const override { return false; }

 private:
  PlocateOptions options_;
};

}  // namespace

std::unique_ptr<SearchService> EnsureSearchServiceRunning(const SearchOptions& options) {
  if (options.backend == Backend::kPlocate) return std::make_unique<PlocateService>(options);
  return std::make_unique<IndexService>(options);
}

}  // namespace glimpses

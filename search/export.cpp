#include "export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "extract_thumbnail.h"
#include "file_util.h"
#include "path.h"

namespace glimpses {

namespace {

namespace fs = std::filesystem;

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string AbsoluteFolder(const std::string& folder) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(folder), ec);
  return WithoutTrailingSlashes(ec ? folder : absolute.string());
}

struct FolderError {
  ExportError kind;
  std::string message;
};

// mkdir -p that takes back what it made when a later step fails, so a
// refused export leaves no empty folders behind.
class FolderMaker {
 public:
  ~FolderMaker() {
    if (keep_) return;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) rmdir(it->c_str());
  }

  std::optional<FolderError> Make(const std::string& folder) {
    std::vector<std::string> missing;
    for (fs::path p(folder); !p.empty(); p = p.parent_path()) {
      struct stat st;
      if (stat(p.c_str(), &st) == 0) break;
      missing.push_back(p.string());
      if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (mkdir(it->c_str(), 0777) == 0) {
        made_.push_back(*it);
      } else if (!(errno == EEXIST && IsFolder(*it))) {
        return FolderError{ExportError::kOutputFolderUnusable,
                           "cannot create output folder '" + folder + "': " + std::strerror(errno)};
      }
    }
    if (!IsFolder(folder)) {
      return FolderError{ExportError::kOutputFolderUnusable, "output folder '" + folder + "' is not a folder"};
    }
    return std::nullopt;
  }

  void Keep() { keep_ = true; }

 private:
  std::vector<std::string> made_;
  bool keep_ = false;
};

std::optional<FolderError> CheckWritable(const std::string& folder) {
  errno = 0;
  // The probe is a fresh exclusive name, removed as it goes out of scope.
  if (TempFile::CreateBeside(JoinPath(folder, "glimpses-probe"))) return std::nullopt;
  int error = errno;
  return FolderError{ExportError::kOutputFolderUnusable,
                     "output folder '" + folder + "' is not writable" +
                         (error != 0 ? std::string(": ") + std::strerror(error) : std::string())};
}

// ASCII case folded, so that names differing only in case (one picture on a
// case-insensitive disk) are also done in order by one worker.
std::string GroupKey(const std::string& fileName) {
  std::string key = fileName;
  std::transform(key.begin(), key.end(), key.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return key;
}

// Indices of the answer, grouped by output name, each group in answer order;
// groups in order of their first entry.
std::vector<std::vector<std::size_t>> GroupByOutputName(const std::vector<SearchResult>& answer) {
  std::vector<std::vector<std::size_t>> groups;
  std::unordered_map<std::string, std::size_t> groupOfKey;
  for (std::size_t i = 0; i < answer.size(); ++i) {
    auto [it, inserted] = groupOfKey.try_emplace(GroupKey(answer[i].fileName), groups.size());
    if (inserted) groups.emplace_back();
    groups[it->second].push_back(i);
  }
  return groups;
}

// True when a picture was written for the entry.
bool ExportOne(const SearchResult& entry, const std::string& folder) {
  return ExtractThumbnailInto(folder, entry.FullPath(), entry.fileName).has_value();
}

int WorkerCount(int jobs, std::size_t groups) {
  std::size_t wanted = jobs > 0 ? static_cast<std::size_t>(jobs) : std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(std::max<std::size_t>(1, std::min(wanted, groups)));
}

class ExportRun {
 public:
  ExportRun(const std::vector<SearchResult>& answer, std::string folder, const ExportOptions& options)
      : answer_(answer), folder_(std::move(folder)), options_(options), groups_(GroupByOutputName(answer)) {}

  void Run() {
    const int workers = WorkerCount(options_.jobs, groups_.size());
    if (workers == 1) {
      Work();
      return;
    }
    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(workers));
    try {
      for (int i = 0; i < workers; ++i) pool.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Out of threads: the workers that started share the groups; with
      // none, this thread does them all.
      if (pool.empty()) Work();
    }
  }

  int Written() const { return written_.load(); }
  int Done() const { return done_; }

 private:
  void Work() {
    for (std::size_t g = nextGroup_.fetch_add(1); g < groups_.size(); g = nextGroup_.fetch_add(1)) {
      for (std::size_t index : groups_[g]) {
        if (options_.stopToken.stop_requested()) return;
        if (ExportOne(answer_[index], folder_)) written_.fetch_add(1);
        ReportOneDone();
      }
    }
  }

  void ReportOneDone() {
    std::lock_guard lock(progressMutex_);
    ++done_;
    if (options_.progress) options_.progress(done_, static_cast<int>(answer_.size()));
  }

  const std::vector<SearchResult>& answer_;
  const std::string folder_;
  const ExportOptions& options_;
  const std::vector<std::vector<std::size_t>> groups_;
  std::atomic<std::size_t> nextGroup_{0};
  std::atomic<int> written_{0};
  std::mutex progressMutex_;
  int done_ = 0;  // guarded by progressMutex_ while workers run
};

}  // namespace

ExportResult ExportThumbnails(SearchService& service, std::string_view keywords, const std::string& outputFolder,
                              const ExportOptions& options) {
  ExportResult result;
  auto fail = [&result](ExportError kind, std::string message) {
    result.errorKind = kind;
    result.error = std::move(message);
    return result;
  };
  if (outputFolder.empty()) return fail(ExportError::kNoOutputFolder, "no output folder given");

  SearchAnswer answer = service.Query(keywords);
  if (!answer) return fail(ExportError::kNoAnswer, "the search service could not answer the query");
  result.answered = true;
  result.documents = static_cast<int>(answer->size());

  const std::string folder = AbsoluteFolder(outputFolder);
  FolderMaker maker;
  if (auto error = maker.Make(folder)) return fail(error->kind, error->message);
  if (auto error = CheckWritable(folder)) return fail(error->kind, error->message);
  maker.Keep();

  if (options.progress) options.progress(0, result.documents);
  ExportRun run(*answer, folder, options);
  run.Run();
  result.picturesWritten = run.Written();
  result.withoutThumbnail = run.Done() - run.Written();
  result.cancelled = run.Done() < result.documents;
  return result;
}

}  // namespace glimpses

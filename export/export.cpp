#include "export/export.h"

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

#include "base/document_kind.h"
#include "base/file_util.h"
#include "base/path.h"
#include "extract/extract_thumbnail.h"

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

// Longest file name the folder can take (every Linux file system).
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kPictureSuffixBytes = 6;  // "_T.jpg", "_T.png"

// What the export saw of an entry right after the query, so that a document
// that vanishes or changes before its extraction is told from one that holds
// no picture.
struct Survey {
  enum Kind { kOther, kDocument, kUnreachable } kind = kOther;
  struct stat before {};
  int error = 0;  // for kUnreachable
};

bool IsDocumentName(const std::string& path) { return KindOfName(path, NameUse::kRead) != DocumentKind::kNone; }

Survey SurveyEntry(const SearchResult& entry) {
  Survey survey;
  const std::string path = entry.FullPath();
  if (!IsDocumentName(path)) return survey;
  if (stat(path.c_str(), &survey.before) != 0) {
    survey.kind = Survey::kUnreachable;
    survey.error = errno;
  } else if (S_ISREG(survey.before.st_mode)) {
    survey.kind = Survey::kDocument;
  }
  return survey;
}

// Why the document is no longer what the survey saw, or nullopt.
std::optional<std::string> ChangeSince(const std::string& path, const struct stat& before) {
  struct stat now;
  if (stat(path.c_str(), &now) != 0) return "vanished during the export";
  if (now.st_ino != before.st_ino || now.st_dev != before.st_dev || now.st_size != before.st_size ||
      now.st_mtim.tv_sec != before.st_mtim.tv_sec || now.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
    return "changed during the export";
  }
  return std::nullopt;
}

struct Outcome {
  enum Kind { kWritten, kNoThumbnail, kFailed, kOutputFull } kind = kNoThumbnail;
  std::string why;
};

Outcome ExportOne(const SearchResult& entry, const Survey& survey, const std::string& folder) {
  const std::string path = entry.FullPath();
  if (survey.kind == Survey::kUnreachable) {
    return {Outcome::kFailed, survey.error == ENOENT ? std::string("vanished after the search")
                                                     : std::string("cannot be read: ") + std::strerror(survey.error)};
  }
  if (survey.kind == Survey::kDocument && entry.fileName.size() + kPictureSuffixBytes > kMaxNameBytes) {
    return {Outcome::kFailed, "the picture's name would be longer than 255 bytes"};
  }
  const ExtractResult result = TryExtractThumbnailInto(folder, path, entry.fileName);
  if (result.written()) return {Outcome::kWritten, {}};
  if (survey.kind != Survey::kDocument) return {};
  if (result.status == ExtractStatus::kOutputFull) return {Outcome::kOutputFull, result.detail};
  if (auto change = ChangeSince(path, survey.before)) return {Outcome::kFailed, *change};
  if (result.status == ExtractStatus::kUnreadable) return {Outcome::kFailed, "cannot be read: " + result.detail};
  if (result.status == ExtractStatus::kCannotWrite) return {Outcome::kFailed, DescribeFailure(result)};
  return {};
}

int WorkerCount(int jobs, std::size_t groups) {
  std::size_t wanted = jobs > 0 ? static_cast<std::size_t>(jobs) : std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(std::max<std::size_t>(1, std::min(wanted, groups)));
}

class ExportRun {
 public:
  ExportRun(const std::vector<SearchResult>& answer, std::string folder, const ExportOptions& options)
      : answer_(answer), folder_(std::move(folder)), options_(options), groups_(GroupByOutputName(answer)) {
    surveys_.reserve(answer.size());
    for (const SearchResult& entry : answer) {
      surveys_.push_back(SurveyEntry(entry));
      if (surveys_.back().kind != Survey::kOther) ++result_.documents;
    }
  }

  int Documents() const { return result_.documents; }

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

  // The counts once Run has returned.
  const ExportResult& Result() const { return result_; }
  // Why the disk was full, when it was.
  const std::optional<std::string>& FullReason() const { return fullReason_; }

 private:
  void Work() {
    for (std::size_t g = nextGroup_.fetch_add(1); g < groups_.size(); g = nextGroup_.fetch_add(1)) {
      for (std::size_t index : groups_[g]) {
        if (options_.stopToken.stop_requested() || full_.load()) return;
        Record(answer_[index], surveys_[index].kind, ExportOne(answer_[index], surveys_[index], folder_));
      }
    }
  }

  void Record(const SearchResult& entry, Survey::Kind kind, Outcome outcome) {
    std::lock_guard lock(mutex_);
    switch (outcome.kind) {
      case Outcome::kWritten:
        ++result_.picturesWritten;
        break;
      case Outcome::kNoThumbnail:
        if (kind != Survey::kOther) ++result_.withoutThumbnail;
        break;
      case Outcome::kFailed:
        ++result_.failed;
        if (result_.failures.size() < kMaxReportedFailures) {
          result_.failures.push_back(entry.FullPath() + ": " + outcome.why);
        }
        break;
      case Outcome::kOutputFull:
        if (!fullReason_) fullReason_ = outcome.why;
        full_.store(true);
        return;  // not done: the document may be exported again once there is room
    }
    if (kind != Survey::kOther && options_.progress) options_.progress(result_.DocumentsDone(), result_.documents);
  }

  const std::vector<SearchResult>& answer_;
  const std::string folder_;
  const ExportOptions& options_;
  const std::vector<std::vector<std::size_t>> groups_;
  std::vector<Survey> surveys_;
  std::atomic<std::size_t> nextGroup_{0};
  std::atomic<bool> full_{false};
  std::mutex mutex_;
  ExportResult result_;  // guarded by mutex_ while workers run
  std::optional<std::string> fullReason_;
};

}  // namespace

ExportResult ExportEntries(const std::vector<SearchResult>& entries, const std::string& outputFolder,
                           const ExportOptions& options) {
  ExportResult result;
  auto fail = [&result](ExportError kind, std::string message) {
    result.errorKind = kind;
    result.error = std::move(message);
    return result;
  };
  if (outputFolder.empty()) return fail(ExportError::kNoOutputFolder, "no output folder given");
  result.answered = true;
  result.entries = static_cast<int>(entries.size());

  const std::string folder = AbsoluteFolder(outputFolder);
  FolderMaker maker;
  if (auto error = maker.Make(folder)) return fail(error->kind, error->message);
  if (auto error = CheckWritable(folder)) return fail(error->kind, error->message);
  maker.Keep();

  ExportRun run(entries, folder, options);
  if (options.progress) options.progress(0, run.Documents());
  run.Run();
  ExportResult done = run.Result();
  done.answered = true;
  done.entries = result.entries;
  if (const auto& reason = run.FullReason()) {
    done.errorKind = ExportError::kOutputFull;
    done.error = "output folder '" + folder + "' is full (" + *reason + "): " + std::to_string(done.picturesWritten) +
                 " pictures written, the export stopped";
  } else {
    done.cancelled = done.DocumentsDone() < done.documents;
  }
  return done;
}

ExportResult ExportThumbnails(SearchService& service, std::string_view keywords, const std::string& outputFolder,
                              const ExportOptions& options) {
  // An empty folder is refused before the query costs anything.
  if (outputFolder.empty()) return ExportEntries({}, outputFolder, options);
  SearchAnswer answer = service.Query(keywords);
  if (!answer) {
    ExportResult result;
    result.errorKind = ExportError::kNoAnswer;
    result.error = "the search service could not answer the query";
    return result;
  }
  return ExportEntries(*answer, outputFolder, options);
}

}  // namespace glimpses

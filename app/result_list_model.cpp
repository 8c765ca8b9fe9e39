#include "app/result_list_model.h"

#include <QDateTime>
#include <QFuture>
#include <QMimeData>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include "app/file_url.h"
#include "app/window_language.h"

namespace glimpses {
namespace {

constexpr std::size_t kRun = AnswerRows::kRun;
// A few screens of rows.
constexpr std::size_t kRunsKept = 16;

std::size_t Distance(std::size_t a, std::size_t b) { return a > b ? a - b : b - a; }

// Makes room among the runs kept for `run`: the one farthest from it is the
// least likely to be shown next.
template <typename Runs>
void MakeRoomNear(Runs& kept, std::size_t run) {
  if (kept.size() < kRunsKept) return;
  const auto last = std::prev(kept.end());
  kept.erase(Distance(kept.begin()->first, run) > Distance(last->first, run) ? kept.begin() : last);
}

// Runs on the version readers' thread.
std::vector<std::optional<QString>> VersionLabels(const MakerLookup& lookup, const std::vector<std::string>& paths) {
  std::vector<std::optional<QString>> labels;
  labels.reserve(paths.size());
  for (const std::string& path : paths) {
    const std::optional<DocumentMetadata> maker = lookup(path);
    labels.push_back(maker ? std::optional(QString::fromStdString(VersionLabel(*maker))) : std::nullopt);
  }
  return labels;
}

// The rows of `rows` (sorted, unique, each within `answer`) a run at a time;
// `readRun` gives a run's rows or nullopt.
template <typename ReadRun>
std::optional<std::vector<SearchResult>> CollectRows(const std::vector<int>& rows, ReadRun readRun) {
  std::vector<SearchResult> results;
  results.reserve(rows.size());
  std::optional<std::vector<SearchResult>> run;
  std::size_t runNumber = SIZE_MAX;
  for (int row : rows) {
    const std::size_t wanted = static_cast<std::size_t>(row) / kRun;
    if (wanted != runNumber) {
      runNumber = wanted;
      run = readRun(wanted);
      if (!run) return std::nullopt;
    }
    results.push_back((*run)[static_cast<std::size_t>(row) % kRun]);
  }
  return results;
}

std::optional<std::vector<SearchResult>> ReadRun(const AnswerRows& answer, std::size_t run, RowsWait wait) {
  const std::size_t first = run * kRun;
  RowsRead read = answer.Read(first, std::min(kRun, answer.size() - first), wait);
  if (read.status != RowsRead::kRead) return std::nullopt;
  return std::move(read.rows);
}

// Sorted, once each, and only those of `answer`.
void KeepRowsOf(const RowsAnswer& answer, std::vector<int>& rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  const std::size_t size = answer ? answer->size() : 0;
  std::erase_if(rows, [size](int row) { return row < 0 || static_cast<std::size_t>(row) >= size; });
}

}  // namespace

QString FormatSize(std::int64_t bytes) {
  constexpr double kKb = 1024.0;
  if (bytes < 0) return {};
  if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
  if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(static_cast<std::int64_t>(std::ceil(bytes / kKb)));
  if (bytes < 1024 * 1024 * 1024) return QStringLiteral("%1 MB").arg(bytes / (kKb * kKb), 0, 'f', 1);
  return QStringLiteral("%1 GB").arg(bytes / (kKb * kKb * kKb), 0, 'f', 1);
}

QString FormatModified(std::int64_t seconds, const QLocale& locale) {
  if (seconds == 0) return {};
  return locale.toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

std::optional<std::vector<SearchResult>> ReadRows(const RowsAnswer& answer, std::vector<int> rows) {
  if (!answer) return std::nullopt;
  KeepRowsOf(answer, rows);
  return CollectRows(rows, [&answer](std::size_t run) { return ReadRun(*answer, run, RowsWait::kMayWait); });
}

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {
  readers_.setMaxThreadCount(1);
  versionReaders_.setMaxThreadCount(1);
}

void ResultListModel::SetRows(RowsAnswer rows) {
  beginResetModel();
  rows_ = std::move(rows);
  ++answerNumber_;
  runs_.clear();
  reading_.clear();
  versions_.clear();
  lookingUp_.clear();
  outdated_ = false;
  endResetModel();
}

void ResultListModel::SetMakerLookup(MakerLookup lookup) { makerLookup_ = std::move(lookup); }

void ResultListModel::CatalogueAdvanced() {
  std::vector<std::size_t> lacking;
  for (const auto& [run, labels] : versions_) {
    if (std::find(labels.begin(), labels.end(), std::nullopt) != labels.end()) lacking.push_back(run);
  }
  for (std::size_t run : lacking) {
    versions_.erase(run);
    VersionsChanged(run);  // the rows shown ask again
  }
}

QVariant ResultListModel::VersionAt(int row) const {
  const std::size_t run = static_cast<std::size_t>(row) / kRun;
  const auto it = versions_.find(run);
  if (it == versions_.end()) {
    LookUpVersions(run);
    return {};
  }
  const std::optional<QString>& label = it->second[static_cast<std::size_t>(row) % kRun];
  return label ? QVariant(*label) : QVariant();
}

// The run's rows are at hand: VersionAt is asked only for a row that is.
void ResultListModel::LookUpVersions(std::size_t run) const {
  const auto rows = runs_.find(run);
  if (!makerLookup_ || rows == runs_.end() || lookingUp_.contains(run)) return;
  std::vector<std::string> paths;
  for (const SearchResult& result : rows->second) paths.push_back(result.FullPath());
  lookingUp_.insert(run);
  // Looking up fills a cache; the rows as the list shows them do not change.
  auto* self = const_cast<ResultListModel*>(this);
  QtConcurrent::run(&versionReaders_, VersionLabels, makerLookup_, std::move(paths))
      .then(self, [self, number = answerNumber_, run](std::vector<std::optional<QString>> labels) {
        self->VersionsArrived(number, run, std::move(labels));
      });
}

void ResultListModel::VersionsArrived(std::uint64_t answerNumber, std::size_t run,
                                      std::vector<std::optional<QString>> labels) {
  if (answerNumber != answerNumber_) return;
  lookingUp_.erase(run);
  MakeRoomNear(versions_, run);
  versions_[run] = std::move(labels);
  VersionsChanged(run);
}

void ResultListModel::VersionsChanged(std::size_t run) {
  const int first = static_cast<int>(run * kRun);
  const int last = static_cast<int>(std::min((run + 1) * kRun, rows_->size())) - 1;
  emit dataChanged(index(first, kVersionColumn), index(last, kVersionColumn));
}

std::optional<SearchResult> ResultListModel::ResultAt(int row) const {
  if (!rows_ || row < 0 || static_cast<std::size_t>(row) >= rows_->size()) return std::nullopt;
  const std::size_t run = static_cast<std::size_t>(row) / kRun;
  auto it = runs_.find(run);
  if (it == runs_.end()) {
    if (outdated_ || reading_.contains(run)) return std::nullopt;
    const std::size_t first = run * kRun;
    if (!Keep(run, rows_->Read(first, std::min(kRun, rows_->size() - first), RowsWait::kNever))) return std::nullopt;
    it = runs_.find(run);
  }
  return it->second[static_cast<std::size_t>(row) % kRun];
}

std::optional<std::vector<SearchResult>> ResultListModel::ResultsAt(std::vector<int> rows) const {
  KeepRowsOf(rows_, rows);
  return CollectRows(rows, [this](std::size_t run) -> std::optional<std::vector<SearchResult>> {
    if (auto it = runs_.find(run); it != runs_.end()) return it->second;
    // Not kept: a selection of many thousands would push out the rows shown.
    return ReadRun(*rows_, run, RowsWait::kNever);
  });
}

// True when `read` brought the run's rows.
bool ResultListModel::Keep(std::size_t run, RowsRead read) const {
  switch (read.status) {
    case RowsRead::kRead:
      break;
    case RowsRead::kBusy:
      ReadLater(run);
      return false;
    case RowsRead::kOutdated:
      if (!outdated_) emit rowsOutdated();  // once: every shown row would say so
      outdated_ = true;
      return false;
  }
  MakeRoomNear(runs_, run);
  runs_.emplace(run, std::move(read.rows));
  return true;
}

void ResultListModel::ReadLater(std::size_t run) const {
  reading_.insert(run);
  const std::size_t first = run * kRun;
  const std::size_t count = std::min(kRun, rows_->size() - first);
  // A newer answer makes these rows useless: the read does not keep the old
  // one alive for them.
  const std::weak_ptr<const AnswerRows> rows = rows_;
  // Reading fills a cache; the rows as the list shows them do not change.
  auto* self = const_cast<ResultListModel*>(this);
  QtConcurrent::run(&readers_, [rows, first, count] {
    const RowsAnswer answer = rows.lock();
    return answer ? answer->Read(first, count, RowsWait::kMayWait) : RowsRead{RowsRead::kOutdated, {}};
  }).then(self, [self, number = answerNumber_, run](RowsRead read) { self->Arrived(number, run, std::move(read)); });
}

void ResultListModel::Arrived(std::uint64_t answerNumber, std::size_t run, RowsRead read) {
  if (answerNumber != answerNumber_) return;
  reading_.erase(run);
  const std::size_t count = read.rows.size();
  if (!Keep(run, std::move(read))) return;
  const int first = static_cast<int>(run * kRun);
  emit dataChanged(index(first, 0), index(first + static_cast<int>(count) - 1, kColumnCount - 1));
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !rows_ ? 0 : static_cast<int>(rows_->size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const std::optional<SearchResult> result = ResultAt(index.row());
  if (!result) return {};
  switch (index.column()) {
    case kVersionColumn:
      return VersionAt(index.row());
    case kNameColumn:
      return QString::fromStdString(result->fileName);
    case kFolderColumn:
      return QString::fromStdString(result->folder);
    case kSizeColumn:
      return FormatSize(result->size);
    case kModifiedColumn:
      return FormatModified(result->modified, QLocale());
    default:
      return {};
  }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList ResultListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* ResultListModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& index : indexes) rows.push_back(index.row());
  const std::optional<std::vector<SearchResult>> results = ResultsAt(std::move(rows));
  if (!results) return nullptr;
  std::vector<std::string> paths;
  for (const SearchResult& result : *results) paths.push_back(result.FullPath());
  return FilesMimeData(paths).release();
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kNameColumn:
      return Tr("名称");
    case kFolderColumn:
      return Tr("路径");
    case kVersionColumn:
      return Tr("文件版本");
    case kSizeColumn:
      return Tr("大小");
    case kModifiedColumn:
      return Tr("修改日期");
    default:
      return {};
  }
}

}  // namespace glimpses

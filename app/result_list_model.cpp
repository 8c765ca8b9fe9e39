#include "result_list_model.h"

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <memory>
#include <utility>

namespace glimpses {
namespace {

constexpr std::size_t kRun = AnswerRows::kRun;
// A few screens of rows.
constexpr std::size_t kRunsKept = 16;

std::size_t Distance(std::size_t a, std::size_t b) { return a > b ? a - b : b - a; }

}  // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) { readers_.setMaxThreadCount(1); }

void ResultListModel::SetRows(RowsAnswer rows) {
  beginResetModel();
  rows_ = std::move(rows);
  ++answerNumber_;
  runs_.clear();
  reading_.clear();
  outdated_ = false;
  endResetModel();
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
  if (runs_.size() >= kRunsKept) {
    // The run farthest from this one is the least likely to be shown next.
    const auto last = std::prev(runs_.end());
    runs_.erase(Distance(runs_.begin()->first, run) > Distance(last->first, run) ? runs_.begin() : last);
  }
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
  emit dataChanged(index(first, kNameColumn), index(first + static_cast<int>(count) - 1, kFolderColumn));
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !rows_ ? 0 : static_cast<int>(rows_->size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  if (index.column() != kNameColumn && index.column() != kFolderColumn) return {};
  const std::optional<SearchResult> result = ResultAt(index.row());
  if (!result) return {};
  return QString::fromStdString(index.column() == kNameColumn ? result->fileName : result->folder);
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kNameColumn:
      return QStringLiteral("名称");
    case kFolderColumn:
      return QStringLiteral("路径");
    case kVersionColumn:
      return QStringLiteral("文件版本");
    default:
      return {};
  }
}

}  // namespace glimpses

#include "result_list_model.h"

#include <utility>

namespace glimpses {
namespace {

// A few screens of rows.
constexpr std::size_t kShownRowsKept = 1024;

}  // namespace

void ResultListModel::SetRows(RowsAnswer rows) {
  beginResetModel();
  rows_ = std::move(rows);
  shown_.clear();
  outdated_ = false;
  endResetModel();
}

std::optional<SearchResult> ResultListModel::ResultAt(int row) const {
  if (!rows_ || row < 0 || static_cast<std::size_t>(row) >= rows_->size()) return std::nullopt;
  if (auto it = shown_.find(row); it != shown_.end()) return it->second;
  std::optional<SearchResult> result = rows_->At(static_cast<std::size_t>(row));
  if (!result) {
    if (!outdated_) emit rowsOutdated();  // once: every shown row would say so
    outdated_ = true;
    return std::nullopt;
  }
  if (shown_.size() >= kShownRowsKept) shown_.clear();
  shown_.emplace(row, *result);
  return result;
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

#include "result_list_model.h"

#include <utility>

namespace glimpses {

void ResultListModel::SetResults(std::vector<SearchResult> results) {
  beginResetModel();
  results_ = std::move(results);
  endResetModel();
}

const SearchResult* ResultListModel::ResultAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= results_.size()) return nullptr;
  return &results_[static_cast<std::size_t>(row)];
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const SearchResult* result = ResultAt(index.row());
  if (result == nullptr) return {};
  switch (index.column()) {
    case kNameColumn:
      return QString::fromStdString(result->fileName);
    case kFolderColumn:
      return QString::fromStdString(result->folder);
    default:
      return {};
  }
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

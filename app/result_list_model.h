// The result list's rows: one listed document per row, its file name and
// its folder, and a third column that stays empty.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "search_service.h"

namespace glimpses {

class ResultListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kNameColumn = 0, kFolderColumn = 1, kVersionColumn = 2, kColumnCount = 3 };

  using QAbstractTableModel::QAbstractTableModel;

  // Replaces every row at once, so a list of many thousands of documents is
  // one reset rather than as many insertions.
  void SetResults(std::vector<SearchResult> results);

  // The row's document, or nullptr for a row that does not exist.
  const SearchResult* ResultAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<SearchResult> results_;
};

}  // namespace glimpses

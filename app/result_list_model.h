// The result list's rows: one listed document per row, its file name and
// its folder, and a third column that stays empty. The list is virtual: it
// holds the search's answer as the index gave it and asks for a row's text
// only when the row is shown, so half a million matches cost no more than
// the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <unordered_map>

#include "search_service.h"

namespace glimpses {

class ResultListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kNameColumn = 0, kFolderColumn = 1, kVersionColumn = 2, kColumnCount = 3 };

  using QAbstractTableModel::QAbstractTableModel;

  // Replaces every row at once (one reset). Null: no rows.
  void SetRows(RowsAnswer rows);

  // The row's document; nullopt for a row that does not exist, or when the
  // answer can no longer tell it (rowsOutdated is then emitted).
  std::optional<SearchResult> ResultAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 signals:
  // The index renumbered its entries since the answer: search again.
  void rowsOutdated() const;

 private:
  RowsAnswer rows_;
  // The rows made lately, so a repaint does not make them again.
  mutable std::unordered_map<int, SearchResult> shown_;
  mutable bool outdated_ = false;
};

}  // namespace glimpses

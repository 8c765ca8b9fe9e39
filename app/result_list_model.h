// The result list's rows: one listed document per row, its file name, its
// folder, the program and version that made it (as the catalogue holds
// it), its size and its date modified. Rows can be dragged out as files.
// The list is virtual: it holds the search's answer as the index gave it
// and asks for rows' text a run at a time, only for the rows shown, so half
// a million matches cost no more than the rows on screen. Showing a row never waits for the index:
// while the index is busy, the run is read on a thread of the model's own
// and the row stays empty until it arrives. The versions are looked up on a
// thread of their own too, a run at a time, for the runs shown.
#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QThreadPool>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "metadata/document_metadata.h"
#include "search/search_service.h"

namespace glimpses {

// What the catalogue says of the program that made the document at `path`
// (SearchService::CataloguedMaker); nullopt when it does not hold it (yet).
// Called off the window thread.
using MakerLookup = std::function<std::optional<DocumentMetadata>(const std::string& path)>;

// A size as people read it: bytes below 1 KB, whole KB below 1 MB, MB and GB
// with one decimal; empty when unknown (negative).
QString FormatSize(std::int64_t bytes);
// A time (seconds since the epoch) in the locale's short date and time;
// empty when unknown (0).
QString FormatModified(std::int64_t seconds, const QLocale& locale);

// `rows`, read whole from `answer` (waiting for the index when it must) as
// ResultsAt does: for work off the window thread. nullopt when the answer
// is null or outdated.
std::optional<std::vector<SearchResult>> ReadRows(const RowsAnswer& answer, std::vector<int> rows);

class ResultListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    kNameColumn = 0,
    kFolderColumn = 1,
    kVersionColumn = 2,
    kSizeColumn = 3,
    kModifiedColumn = 4,
    kColumnCount = 5
  };

  explicit ResultListModel(QObject* parent = nullptr);

  // Replaces every row at once (one reset). Null: no rows.
  void SetRows(RowsAnswer rows);

  // The row's document; nullopt for a row that does not exist, one still
  // being read (dataChanged tells when it is here), or one the answer can
  // no longer tell (rowsOutdated is then emitted).
  std::optional<SearchResult> ResultAt(int row) const;
  // The documents of `rows`, in the list's order, each once, rows that do
  // not exist left out; nullopt when one is not at hand without waiting for
  // the index (the caller says to try again).
  std::optional<std::vector<SearchResult>> ResultsAt(std::vector<int> rows) const;
  // The answer shown, for work that reads its rows off the window thread.
  const RowsAnswer& Rows() const { return rows_; }

  // Where the version column's labels come from; empty: it stays empty.
  void SetMakerLookup(MakerLookup lookup);
  // The catalogue holds more documents than before: the versions it lacked
  // are looked up again when their rows are shown.
  void CatalogueAdvanced();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  // The rows' documents as files (see FilesMimeData); null when they are
  // not at hand, which cancels the drag.
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

 signals:
  // The index renumbered its entries since the answer: search again.
  void rowsOutdated() const;

 private:
  bool Keep(std::size_t run, RowsRead read) const;
  void ReadLater(std::size_t run) const;
  void Arrived(std::uint64_t answerNumber, std::size_t run, RowsRead read);
  QVariant VersionAt(int row) const;
  void LookUpVersions(std::size_t run) const;
  void VersionsArrived(std::uint64_t answerNumber, std::size_t run, std::vector<std::optional<QString>> labels);
  void VersionsChanged(std::size_t run);

  RowsAnswer rows_;
  std::uint64_t answerNumber_ = 0;  // counts SetRows, so a run read late knows its answer
  // The runs read lately, by run number, so a repaint does not read them again.
  mutable std::map<std::size_t, std::vector<SearchResult>> runs_;
  mutable std::set<std::size_t> reading_;  // runs being read on readers_
  mutable bool outdated_ = false;
  // One thread: reads wait for the same lock, so more would only queue there.
  mutable QThreadPool readers_;
  MakerLookup makerLookup_;
  // The version labels of the runs shown lately; nullopt for a document the
  // catalogue did not hold.
  mutable std::map<std::size_t, std::vector<std::optional<QString>>> versions_;
  mutable std::set<std::size_t> lookingUp_;  // runs whose versions are being looked up
  // Apart from the rows' reader, so that a busy index never holds them up.
  mutable QThreadPool versionReaders_;
};

}  // namespace glimpses

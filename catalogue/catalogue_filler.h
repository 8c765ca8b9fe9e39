// Fills the catalogue with what documents hold: documents it lacks, or holds
// under another size, time or inode, are read again; rows of documents that
// went are dropped. In the background (the window) the readers run at the
// lowest CPU and I/O priority, so that they only take what nothing else
// wants, and the documents on screen go first; on the command line the
// caller waits for them at normal priority.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue_store.h"
#include "metadata/document_metadata.h"

namespace glimpses {

// What a document holds; nullopt when it cannot be read. Called on the
// filler's threads, several at once.
using MetadataReader = std::function<std::optional<DocumentMetadata>(const std::string& path)>;

// Documents read so far of those found to need it, since the filler was
// last idle; {0, 0} while it is.
struct FillProgress {
  std::size_t done = 0;
  std::size_t total = 0;
  bool operator==(const FillProgress&) const = default;
};

class CatalogueFiller {
 public:
  enum class Pace { kBackground, kForeground };

  // `threads` readers (at least one), plus one writer.
  CatalogueFiller(std::shared_ptr<CatalogueStore> store, MetadataReader reader, Pace pace, int threads);
  // Stops: documents being read are finished and what was read is written.
  ~CatalogueFiller();
  CatalogueFiller(const CatalogueFiller&) = delete;
  CatalogueFiller& operator=(const CatalogueFiller&) = delete;

  // Which stored paths a sync may drop when they are not among its
  // documents (those under the roots it covers); empty: none.
  using DropScope = std::function<bool(const std::string& path)>;

  // `documents` are every document there is now: those the catalogue lacks
  // are read, and, with `checkStamps`, those it holds out of date (each
  // costs a stat: done when the program starts); rows in `scope` of
  // documents not among them are dropped. Returns at once; replaces a sync
  // not yet begun.
  void Sync(std::vector<std::string> documents, DropScope scope, bool checkStamps);
  // Paths a change named (created, moved, replaced): each is read again,
  // or dropped when it is no document any more.
  void Recheck(std::vector<std::string> paths);
  // The documents the user is looking at: read (when needed) before any
  // other. Replaces the ones given before.
  void ReadFirst(std::vector<std::string> paths);
  FillProgress Progress() const;

  // Syncs (stamps checked) and waits until every document is read and
  // written, calling `progress` now and then on this thread. False, with
  // the reason, when the catalogue could not be written.
  bool FillNow(std::vector<std::string> documents, DropScope scope, const std::function<void(FillProgress)>& progress,
               std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace glimpses

// The search service's catalogue: the store it names (SearchOptions), opened
// when first needed, the filler that keeps it up with the index's
// documents, and the binding of a query's metadata terms to it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue_filler.h"
#include "catalogue/catalogue_store.h"
#include "search/query.h"
#include "search/search_service.h"

namespace glimpses {

class ServiceCatalogue {
 public:
  // `roots` as the service searches them; `cacheFolder` holds the own one.
  ServiceCatalogue(const SearchOptions& options, std::vector<std::string> roots, const std::string& cacheFolder);

  // Points the query's metadata terms at the catalogue. False, with the
  // reason, when it cannot be had (a catalogue file given that is damaged).
  bool Bind(Query& query, std::string* error);

  // Whether there is anything to fill with.
  bool CanRead() const { return static_cast<bool>(reader_); }
  // From now on filled in the background from `documents` (every document
  // the index holds), each stored one checked against its file first.
  void StartFilling(std::vector<std::string> documents);
  // The index changed: `documents` as they are now, and the paths its
  // notifications named (`overflowed`: more than were kept).
  void IndexChanged(std::vector<std::string> documents, std::vector<std::string> named, bool overflowed);
  void ReadFirst(std::vector<std::string> paths);
  FillProgress Progress() const;
  // `documents` read now, at full speed; with `prune`, rows of other
  // documents under the roots are dropped.
  bool FillNow(std::vector<std::string> documents, bool prune, const std::function<void(FillProgress)>& progress,
               std::string* error);
  std::optional<DocumentMetadata> MakerOf(const std::string& path);

 private:
  std::shared_ptr<CatalogueStore> Store(std::string* error);
  CatalogueFiller::DropScope Scope() const;

  const std::string path_;
  const CatalogueMode mode_;
  const std::vector<std::string> roots_;
  const MetadataReader reader_;
  mutable std::mutex mutex_;
  std::shared_ptr<CatalogueStore> store_;
  std::unique_ptr<CatalogueFiller> background_;
  std::vector<std::string> firstPaths_;  // given before the filling started
};

}  // namespace glimpses

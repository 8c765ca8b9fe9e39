// A query's metadata text terms (font:, creator:, title:, author:, swatch:,
// plate:, links:) answered from the catalogue once, then asked per entry
// while the name index is searched: a bit per document and term, so that a
// hundred thousand entries cost a hash lookup each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_store.h"

namespace glimpses {

struct TextTerm {
  MetadataField field;
  std::string foldedPattern;  // as CatalogueStore::DocumentsWith takes it
};

// What the catalogue holds of one document, for a query.
struct DocumentFacts {
  std::int64_t pages = -1;  // -1 when unknown
  bool hasThumbnail = false;
  std::uint64_t textTerms = 0;  // bit i: the document holds a text that terms[i] matches
};

class CatalogueMatcher {
 public:
  // At most this many text terms (bits of DocumentFacts::textTerms).
  static constexpr std::size_t kMaxTerms = 64;

  // Looks `terms` (at most kMaxTerms) up in `store`; safe to share between
  // the search threads. The catalogue is not written while it lives: make
  // it for one query, and let it go on the thread that made it.
  CatalogueMatcher(std::shared_ptr<const CatalogueStore> store, const std::vector<TextTerm>& terms);

  // The document at `path`; nullopt when the catalogue holds none there.
  std::optional<DocumentFacts> Lookup(std::string_view path) const;

 private:
  std::shared_ptr<const CatalogueStore> store_;
  std::optional<CatalogueStore::MemoryView> view_;
  std::vector<std::vector<bool>> holders_;  // per term, per document id
};

}  // namespace glimpses

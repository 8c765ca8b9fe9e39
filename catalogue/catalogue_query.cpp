#include "catalogue/catalogue_query.h"

#include <algorithm>

namespace glimpses {

CatalogueMatcher::CatalogueMatcher(std::shared_ptr<const CatalogueStore> store, const std::vector<TextTerm>& terms)
    : store_(std::move(store)) {
  const std::size_t count = std::min(terms.size(), kMaxTerms);
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<std::uint32_t> ids = store_->DocumentsWith(terms[i].field, terms[i].foldedPattern);
    std::vector<bool> holders(ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end()) + 1);
    for (const std::uint32_t id : ids) holders[id] = true;
    holders_.push_back(std::move(holders));
  }
  // Taken after the texts were looked up: a write waiting for the view
  // could hold the connection they are looked up on.
  view_.emplace(store_->View());
}

std::optional<DocumentFacts> CatalogueMatcher::Lookup(std::string_view path) const {
  const std::optional<CataloguedDocument> document = view_->Find(path);
  if (!document) return std::nullopt;
  DocumentFacts facts{document->pages, document->hasThumbnail, 0};
  for (std::size_t i = 0; i < holders_.size(); ++i) {
    if (document->id < holders_[i].size() && holders_[i][document->id]) facts.textTerms |= std::uint64_t{1} << i;
  }
  return facts;
}

}  // namespace glimpses

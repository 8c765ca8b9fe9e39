#include "search/document_filter.h"

#include "base/document_kind.h"

namespace glimpses {

bool IsListedDocument(std::string_view fileName) {
  return KindOfName(fileName, NameUse::kListed) != DocumentKind::kNone;
}

std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer) {
  std::vector<SearchResult> documents;
  for (const SearchResult& result : answer)
    if (IsListedDocument(result.fileName)) documents.push_back(result);
  return documents;
}

}  // namespace glimpses

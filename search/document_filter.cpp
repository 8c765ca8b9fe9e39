#include "document_filter.h"

#include <algorithm>
#include <array>

namespace glimpses {
namespace {

// The extensions the result list accepts; the letter cases are exactly
// these, no others.
constexpr std::array<std::string_view, 13> kDocumentExtensions = {"ai",  "AI",  "indd", "INDD", "Indd", "eps", "EPS",
                                                                  "Eps", "pdf", "PDF",  "cdr",  "CDR",  "Cdr"};

}  // namespace

// Runs over every match of a search as the user types, so the name is read
// as few times as it can be: the extension first, which most names fail.
bool IsListedDocument(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  // At least one character must come before the dot.
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = fileName.substr(dot + 1);
  if (std::find(kDocumentExtensions.begin(), kDocumentExtensions.end(), extension) == kDocumentExtensions.end())
    return false;
  // The pattern this stands for reads the name with '.', which matches no
  // line break, so a name holding one was never listed.
  return fileName.find('\n') == std::string_view::npos && fileName.find('\r') == std::string_view::npos;
}

std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer) {
  std::vector<SearchResult> documents;
  for (const SearchResult& result : answer)
    if (IsListedDocument(result.fileName)) documents.push_back(result);
  return documents;
}

}  // namespace glimpses

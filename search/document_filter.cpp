#include "document_filter.h"

#include <array>

namespace glimpses {
namespace {

// The endings the result list accepts, each with its dot; the letter cases
// are exactly these, no others.
constexpr std::array<std::string_view, 13> kDocumentEndings = {
    ".ai", ".AI", ".indd", ".INDD", ".Indd", ".eps", ".EPS", ".Eps", ".pdf", ".PDF", ".cdr", ".CDR", ".Cdr"};

}  // namespace

bool IsListedDocument(std::string_view fileName) {
  // The pattern this stands for reads the name with '.', which matches no
  // line break, so a name holding one was never listed.
  if (fileName.find_first_of("\n\r") != std::string_view::npos) return false;
  for (std::string_view ending : kDocumentEndings) {
    // At least one character must come before the dot.
    if (fileName.size() > ending.size() && fileName.ends_with(ending)) return true;
  }
  return false;
}

std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer) {
  std::vector<SearchResult> documents;
  for (const SearchResult& result : answer)
    if (IsListedDocument(result.fileName)) documents.push_back(result);
  return documents;
}

}  // namespace glimpses

// The keyword search's document filter: which entries the result list shows.
#pragma once

#include <string_view>
#include <vector>

#include "search/search_service.h"

namespace glimpses {

// True when `fileName` is a document the list shows (KindOfName with
// NameUse::kListed): at least one character, a dot, and exactly one of ai AI
// indd INDD Indd eps EPS Eps pdf PDF cdr CDR Cdr at its end, with no line
// break ('\n', '\r') anywhere in it.
bool IsListedDocument(std::string_view fileName);

// The entries of `answer` that IsListedDocument accepts, in their order.
std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer);

}  // namespace glimpses

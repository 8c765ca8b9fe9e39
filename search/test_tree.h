// Test helpers for the search side: a private folder tree, and readable
// failure messages for answers.
#pragma once

#include <ostream>

#include "samples/scratch_folder.h"
#include "search/entry_facts.h"
#include "search/search_service.h"

namespace glimpses {

inline void PrintTo(const SearchResult& result, std::ostream* out) {
  *out << result.FullPath() << " (" << result.size << " bytes, at " << result.modified << ")";
}

// A result as an answer gives it, with its size and time read now.
inline SearchResult WithFacts(SearchResult result) {
  FillFacts(result);
  return result;
}

}  // namespace glimpses

namespace glimpses::testing {

using TempTree = ScratchFolder;

}  // namespace glimpses::testing

// Test helpers for the search side: a private folder tree, and readable
// failure messages for answers.
#pragma once

#include <ostream>

#include "scratch_folder.h"
#include "search_service.h"

namespace glimpses {

inline void PrintTo(const SearchResult& result, std::ostream* out) { *out << result.FullPath(); }

}  // namespace glimpses

namespace glimpses::testing {

using TempTree = ScratchFolder;

}  // namespace glimpses::testing

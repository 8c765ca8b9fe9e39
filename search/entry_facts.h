// The size and modification time of an entry, read from the file system
// when a query or a result asks (the index keeps neither: see the README).
#pragma once

#include <string>

#include "query.h"

namespace glimpses {

// A symbolic link gives its target's facts, or none when it dangles; a
// folder has no size. Unknown fields when the entry cannot be read.
EntryFacts ReadEntryFacts(const std::string& path);

// `result` with the facts of its full path.
void FillFacts(SearchResult& result);

}  // namespace glimpses

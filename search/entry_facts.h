// The size and modification time of an entry, read from the file system
// when a query or a result asks (the index keeps neither: see the README).
#pragma once

#include <string>
#include <vector>

#include "search/query.h"

namespace glimpses {

// A symbolic link gives its target's facts, or none when it dangles; a
// folder has no size. Unknown fields when the entry cannot be read.
EntryFacts ReadEntryFacts(const std::string& path);

// The facts of each path, in their order; a second thread reads half of
// them when there are many (a stat waits on the kernel, two overlap well).
std::vector<EntryFacts> ReadEntryFacts(const std::vector<std::string>& paths);

// `result` with the facts of its full path.
void FillFacts(SearchResult& result);
// Each of `results` with the facts of its full path.
void FillFacts(std::vector<SearchResult>& results);

}  // namespace glimpses

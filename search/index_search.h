// Searching the name index's table: the entries a query matches, and those
// entries in the answer order.
#pragma once

#include <cstdint>
#include <vector>

#include "search/index_table.h"
#include "search/query.h"
#include "search/search_service.h"

namespace glimpses {

// The live entries (roots excepted) that `query` matches and whose names
// `keep` accepts (all when empty), in id order; how many it may match once
// their documents are catalogued in `*pending` (when given). Uses a second
// thread on large tables, for the names too.
std::vector<std::uint32_t> MatchEntries(const IndexTable& table, const Query& query, const NameFilter& keep = {},
                                        std::size_t* pending = nullptr);

// Puts matches in id order into the answer order: those of the ordered part
// of the table are already in it; only later additions are sorted and merged.
void OrderMatches(const IndexTable& table, std::vector<std::uint32_t>& ids);

// Puts matches in the answer order into `order` (the answer order breaking
// its ties). Sizes and times are read from the file system.
void SortMatches(const IndexTable& table, std::vector<std::uint32_t>& ids, SortOrder order);

// Name, folder, size and time of each entry, in the order given.
std::vector<SearchResult> ResultsOf(const IndexTable& table, const std::vector<std::uint32_t>& ids);

// The full path of each entry, in the order given; nothing read from disk.
std::vector<std::string> PathsOf(const IndexTable& table, const std::vector<std::uint32_t>& ids);

}  // namespace glimpses

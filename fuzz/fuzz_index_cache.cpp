// The index cache loader: a cache file may be damaged, truncated or left by
// another version. Whatever it accepts must be safe to search, to walk from
// every entry up to its root and to renumber.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/index_cache.h"
#include "search/index_search.h"
#include "search/query.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::string> roots = {"/fuzz"};
  glimpses::IndexTable table;
  if (!glimpses::DecodeIndexTable(data, size, roots, false, &table)) return 0;
  for (std::uint32_t id = 0; id < table.entries.size(); ++id) table.PathOf(id);
  for (const char* text : {"", "pdf", "docs/ a|b", "*.pdf"}) {
    std::vector<std::uint32_t> ids = glimpses::MatchEntries(table, glimpses::Query::Parse(text));
    glimpses::OrderMatches(table, ids);
    glimpses::ResultsOf(table, ids);
  }
  table.Compact();
  glimpses::MatchEntries(table, glimpses::Query::Parse("pdf"));
  return 0;
}

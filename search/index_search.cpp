#include "index_search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include "path.h"

namespace glimpses {
namespace {

// Below this many entries a second search thread costs more than it saves.
constexpr std::size_t kParallelSearchEntries = 200'000;

// Appends the entries in [first, last) whose folded names hold `literal`,
// in id order: the arena is searched in one pass.
void FindHolders(const IndexTable& table, std::string_view literal, std::uint32_t first, std::uint32_t last,
                 std::vector<std::uint32_t>* holders) {
  const auto& entries = table.entries;
  const char* arena = table.folded.data();
  std::size_t at = entries[first].folded;
  const std::size_t end = last < entries.size() ? entries[last].folded : table.folded.size();
  // Hits come in arena order, so the entry holding one is found by walking
  // forward from the last: at most one pass over the range in all.
  std::uint32_t id = first;
  while (at < end) {
    const void* found = memmem(arena + at, end - at, literal.data(), literal.size());
    if (found == nullptr) break;
    const std::size_t offset = static_cast<const char*>(found) - arena;
    while (id + 1 < last && entries[id + 1].folded <= offset) ++id;
    holders->push_back(id);
    at = id + 1 < entries.size() ? entries[id + 1].folded : table.folded.size();
  }
}

void SearchRange(const IndexTable& table, const Query& query, const NameFilter& keep, std::uint32_t first,
                 std::uint32_t last, std::vector<std::uint32_t>* hits) {
  if (first >= last) return;
  const auto& entries = table.entries;
  // Folded folder paths, built once per folder, for path terms.
  std::unordered_map<std::uint32_t, std::string> folderPaths;
  std::function<const std::string&(std::uint32_t)> folderPath = [&](std::uint32_t id) -> const std::string& {
    auto it = folderPaths.find(id);
    if (it != folderPaths.end()) return it->second;
    const std::uint32_t parent = entries[id].parent;
    std::string path = parent == IndexTable::kNoParent ? std::string(table.FoldedName(id))
                                                       : JoinPath(folderPath(parent), table.FoldedName(id));
    return folderPaths.emplace(id, std::move(path)).first->second;
  };
  std::string pathBuffer;
  auto test = [&](std::uint32_t id) {
    const IndexTable::Entry& entry = entries[id];
    if (entry.folder == IndexTable::kDead || entry.parent == IndexTable::kNoParent) return;
    EntryView view{table.FoldedName(id), entry.folder != IndexTable::kFile, {}};
    if (query.UsesPath()) {
      pathBuffer = JoinPath(folderPath(entry.parent), view.foldedName);
      view.foldedPath = pathBuffer;
    }
    if (query.Matches(view) && (!keep || keep(table.Name(id)))) hits->push_back(id);
  };

  const std::vector<std::string> literals = query.NameLiterals();
  if (literals.empty()) {
    for (std::uint32_t id = first; id < last; ++id) test(id);
    return;
  }
  // Only the names holding a literal are tested against the whole query.
  std::vector<std::uint32_t> holders;
  for (const std::string& literal : literals) {
    const std::size_t before = holders.size();
    FindHolders(table, literal, first, last, &holders);
    std::inplace_merge(holders.begin(), holders.begin() + before, holders.end());
  }
  holders.erase(std::unique(holders.begin(), holders.end()), holders.end());
  for (const std::uint32_t id : holders) test(id);
}

}  // namespace

std::vector<std::uint32_t> MatchEntries(const IndexTable& table, const Query& query, const NameFilter& keep) {
  const auto count = static_cast<std::uint32_t>(table.entries.size());
  std::vector<std::uint32_t> hits;
  if (count < kParallelSearchEntries) {
    SearchRange(table, query, keep, 0, count, &hits);
    return hits;
  }
  const std::uint32_t middle = count / 2;
  std::vector<std::uint32_t> secondHits;
  std::thread second;
  try {
    second = std::thread([&] { SearchRange(table, query, keep, middle, count, &secondHits); });
  } catch (...) {
    // No thread to be had: search the second half here instead.
  }
  SearchRange(table, query, keep, 0, middle, &hits);
  if (second.joinable()) {
    second.join();
  } else {
    SearchRange(table, query, keep, middle, count, &secondHits);
  }
  hits.insert(hits.end(), secondHits.begin(), secondHits.end());
  return hits;
}

void OrderMatches(const IndexTable& table, std::vector<std::uint32_t>& ids) {
  const auto tail = std::lower_bound(ids.begin(), ids.end(), table.orderedCount);
  if (tail == ids.end()) return;
  std::vector<std::uint32_t> added(tail, ids.end());
  table.SortInAnswerOrder(added);
  std::copy(added.begin(), added.end(), tail);
  std::inplace_merge(ids.begin(), tail, ids.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return table.AnswerOrderLess(a, b); });
}

std::vector<SearchResult> ResultsOf(const IndexTable& table, const std::vector<std::uint32_t>& ids) {
  std::unordered_map<std::uint32_t, std::string> folderOf;
  folderOf.reserve(std::min(ids.size(), table.folders.size()));
  std::vector<SearchResult> results;
  results.reserve(ids.size());
  for (std::uint32_t id : ids) {
    const std::uint32_t parent = table.entries[id].parent;
    auto it = folderOf.find(parent);
    if (it == folderOf.end()) it = folderOf.emplace(parent, table.PathOf(parent)).first;
    results.push_back(SearchResult{std::string(table.Name(id)), it->second});
  }
  return results;
}

}  // namespace glimpses

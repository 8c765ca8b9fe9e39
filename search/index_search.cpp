#include "search/index_search.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/path.h"
#include "search/entry_facts.h"

namespace glimpses {
namespace {

// The path of each entry's folder, made once per folder.
class FolderPaths {
 public:
  explicit FolderPaths(const IndexTable& table) : table_(table), slots_(table.folders.size(), kNone) {}
  const std::string& Of(std::uint32_t id) {
    const std::uint32_t parent = table_.entries[id].parent;
    const std::uint32_t folder = table_.entries[parent].folder;
    std::uint32_t& slot = slots_[folder];
    if (slot == kNone) {
      slot = static_cast<std::uint32_t>(paths_.size());
      paths_.push_back(table_.PathOf(parent));
    }
    return paths_[slot];
  }

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  const IndexTable& table_;
  std::vector<std::uint32_t> slots_;  // by folder record: where its path is in paths_
  std::deque<std::string> paths_;     // a deque: what Of returned stays put
};

// Below this many entries a second search thread costs more than it saves;
// a metadata term costs each entry a lookup in the catalogue, so there it
// pays off sooner.
constexpr std::size_t kParallelSearchEntries = 200'000;
constexpr std::size_t kParallelMetadataEntries = 20'000;

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

// Whether an entry of the folder whose path (ending in '/') is `folderPath`
// may hold path term `term` in its full path: the folder's path then the
// name, which holds no '/'. The term is either in the folder's part, or runs
// into the name, its last '/' being the one before the name.
bool MayHoldPathTerm(std::string_view folderPath, std::string_view term) {
  return folderPath.find(term) != std::string_view::npos || folderPath.ends_with(term.substr(0, term.rfind('/') + 1));
}

// The folders whose entries may hold a query's path terms: the path of an
// entry is made only where it may match.
struct FolderFilter {
  std::vector<bool> mayMatch;  // by folder record; empty: every folder may
  // Few enough that listing their entries beats a pass over every entry.
  bool few = false;
};

// One walk over the folders, each tested against every one of `terms`.
FolderFilter FoldersThatMayMatch(const IndexTable& table, const std::vector<std::string>& terms) {
  if (terms.empty()) return {};
  std::vector<bool> may(table.folders.size());
  struct Visit {
    std::uint32_t folder;
    std::size_t parentPathSize;
  };
  std::vector<Visit> pending;
  std::string path;  // of the folder visited, ending in '/'
  for (const IndexTable::Root& root : table.roots) {
    if (root.entry == IndexTable::kNoEntry || !table.HasFolderRecord(root.entry)) continue;
    pending.push_back({table.entries[root.entry].folder, 0});
    while (!pending.empty()) {
      const Visit visit = pending.back();
      pending.pop_back();
      const IndexTable::Folder& folder = table.folders[visit.folder];
      path.resize(visit.parentPathSize);
      path.append(table.FoldedName(folder.entry));  // a root's is its whole path
      if (path.empty() || path.back() != '/') path.push_back('/');
      may[visit.folder] =
          std::all_of(terms.begin(), terms.end(), [&](const std::string& term) { return MayHoldPathTerm(path, term); });
      // Folders come first among the children: the files after them are not
      // looked at.
      for (const std::uint32_t child : folder.children) {
        if (table.IsFile(child)) break;
        if (table.HasFolderRecord(child)) pending.push_back({table.entries[child].folder, path.size()});
      }
    }
  }
  const auto mayCount = static_cast<std::size_t>(std::count(may.begin(), may.end(), true));
  return {std::move(may), mayCount <= table.folders.size() / 8};
}

// The entries in [first, last) of the folders `filter` allows, in id order.
std::vector<std::uint32_t> EntriesOfFolders(const IndexTable& table, const FolderFilter& filter, std::uint32_t first,
                                            std::uint32_t last) {
  std::vector<std::uint32_t> ids;
  for (std::size_t folder = 0; folder < filter.mayMatch.size(); ++folder) {
    if (!filter.mayMatch[folder]) continue;
    for (const std::uint32_t child : table.folders[folder].children)
      if (child >= first && child < last) ids.push_back(child);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The wildcard-free path terms every match holds: a '/' tells them from
// the name terms among the query's required literals.
std::vector<std::string> RequiredPathTerms(const Query& query) {
  std::vector<std::string> terms = query.RequiredPathLiterals();
  std::erase_if(terms, [](const std::string& literal) { return literal.find('/') == std::string::npos; });
  return terms;
}

// The entries in [first, last) that may match, in id order: those of few
// folders, or else those whose names hold one of the query's name literals;
// nullopt when neither narrows them.
std::optional<std::vector<std::uint32_t>> Candidates(const IndexTable& table, const Query& query,
                                                     const FolderFilter& folders, std::uint32_t first,
                                                     std::uint32_t last) {
  if (folders.few) return EntriesOfFolders(table, folders, first, last);
  const std::vector<std::string> literals = query.NameLiterals();
  if (literals.empty()) return std::nullopt;
  std::vector<std::uint32_t> holders;
  for (const std::string& literal : literals) {
    const std::size_t before = holders.size();
    FindHolders(table, literal, first, last, &holders);
    std::inplace_merge(holders.begin(), holders.begin() + before, holders.end());
  }
  holders.erase(std::unique(holders.begin(), holders.end()), holders.end());
  return holders;
}

void SearchRange(const IndexTable& table, const Query& query, const NameFilter& keep, const FolderFilter& folders,
                 std::uint32_t first, std::uint32_t last, std::vector<std::uint32_t>* hits, std::size_t* pending) {
  if (first >= last) return;
  const auto& entries = table.entries;
  // Folded folder paths, built once per folder, for path terms.
  std::unordered_map<std::uint32_t, std::string> folderPaths;
  std::function<const std::string&(std::uint32_t)> folderPath = [&](std::uint32_t id) -> const std::string& {
    auto it = folderPaths.find(id);
    if (it != folderPaths.end()) return it->second;
    const std::uint32_t parent = entries[id].parent;
    std::string path = parent == IndexTable::kNoEntry ? std::string(table.FoldedName(id))
                                                      : JoinPath(folderPath(parent), table.FoldedName(id));
    return folderPaths.emplace(id, std::move(path)).first->second;
  };
  // The same as they are, for case:, regex:, the facts' stat and the
  // catalogue. The path is made in place: a metadata term alone makes one
  // for every document of the index.
  FolderPaths exactFolderPaths(table);
  auto makeExactPath = [&](std::uint32_t id, std::string_view name, std::string& path) {
    const std::string& folder = exactFolderPaths.Of(id);
    path.assign(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    path.append(name);
  };
  const bool exactPath = query.UsesFacts() || query.UsesMetadata() || (query.UsesExactText() && query.UsesPath());
  std::string pathBuffer;
  std::string exactPathBuffer;
  auto test = [&](std::uint32_t id) {
    if (table.IsDead(id) || table.IsRoot(id)) return;
    const std::uint32_t parentFolder = entries[entries[id].parent].folder;
    if (parentFolder < folders.mayMatch.size() && !folders.mayMatch[parentFolder]) return;
    // The filter first: it is cheaper than the facts' stat.
    if (keep && !keep(table.Name(id))) return;
    EntryView view{table.FoldedName(id), !table.IsFile(id), {}, table.Name(id), {}, {}};
    if (query.UsesPath()) {
      pathBuffer = JoinPath(folderPath(entries[id].parent), view.foldedName);
      view.foldedPath = pathBuffer;
    }
    if (exactPath) {
      makeExactPath(id, view.name, exactPathBuffer);
      view.path = exactPathBuffer;
      if (query.UsesFacts()) view.facts = [&] { return ReadEntryFacts(exactPathBuffer); };
    }
    const Truth truth = query.Evaluate(view);
    if (truth == Truth::kYes) hits->push_back(id);
    if (truth == Truth::kUnknown) ++*pending;
  };

  if (const std::optional<std::vector<std::uint32_t>> candidates = Candidates(table, query, folders, first, last)) {
    for (const std::uint32_t id : *candidates) test(id);
  } else {
    for (std::uint32_t id = first; id < last; ++id) test(id);
  }
}

}  // namespace

std::vector<std::uint32_t> MatchEntries(const IndexTable& table, const Query& query, const NameFilter& keep,
                                        std::size_t* pending) {
  const auto count = static_cast<std::uint32_t>(table.entries.size());
  const FolderFilter folders = FoldersThatMayMatch(table, RequiredPathTerms(query));
  std::vector<std::uint32_t> hits;
  std::size_t firstPending = 0;
  std::size_t secondPending = 0;
  if (count < (query.UsesMetadata() ? kParallelMetadataEntries : kParallelSearchEntries)) {
    SearchRange(table, query, keep, folders, 0, count, &hits, &firstPending);
  } else {
    const std::uint32_t middle = count / 2;
    std::vector<std::uint32_t> secondHits;
    std::thread second;
    try {
      second =
          std::thread([&] { SearchRange(table, query, keep, folders, middle, count, &secondHits, &secondPending); });
    } catch (...) {
      // No thread to be had: search the second half here instead.
    }
    SearchRange(table, query, keep, folders, 0, middle, &hits, &firstPending);
    if (second.joinable()) {
      second.join();
    } else {
      SearchRange(table, query, keep, folders, middle, count, &secondHits, &secondPending);
    }
    hits.insert(hits.end(), secondHits.begin(), secondHits.end());
  }
  if (pending != nullptr) *pending = firstPending + secondPending;
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

namespace {

// Reorders `ids` by `keys` (one per id), keeping the order of equal keys.
template <typename Key>
void StableSortByKeys(std::vector<std::uint32_t>& ids, const std::vector<Key>& keys) {
  std::vector<std::uint32_t> positions(ids.size());
  std::iota(positions.begin(), positions.end(), 0);
  std::stable_sort(positions.begin(), positions.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
  std::vector<std::uint32_t> sorted;
  sorted.reserve(ids.size());
  for (const std::uint32_t position : positions) sorted.push_back(ids[position]);
  ids = std::move(sorted);
}

// Each id's folder as a rank in the folders' order (by folded path, then
// by the path's bytes).
std::vector<std::uint32_t> FolderRanks(const IndexTable& table, const std::vector<std::uint32_t>& ids) {
  std::unordered_map<std::uint32_t, std::uint32_t> rankOf;
  for (const std::uint32_t id : ids) rankOf.emplace(table.entries[id].parent, 0);
  std::vector<std::pair<std::string, std::string>> paths;  // folded, exact
  std::vector<std::uint32_t> parents;
  for (const auto& [parent, rank] : rankOf) {
    std::string path = table.PathOf(parent);
    paths.emplace_back(FoldCase(path), std::move(path));
    parents.push_back(parent);
  }
  std::vector<std::uint32_t> order(parents.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return paths[a] < paths[b]; });
  for (std::uint32_t rank = 0; rank < order.size(); ++rank) rankOf[parents[order[rank]]] = rank;
  std::vector<std::uint32_t> ranks;
  ranks.reserve(ids.size());
  for (const std::uint32_t id : ids) ranks.push_back(rankOf[table.entries[id].parent]);
  return ranks;
}

// Each id's size or time, by a stat of its path.
std::vector<std::int64_t> FactKeys(const IndexTable& table, const std::vector<std::uint32_t>& ids, SortKey key) {
  std::vector<std::int64_t> keys;
  keys.reserve(ids.size());
  for (const EntryFacts& facts : ReadEntryFacts(PathsOf(table, ids)))
    keys.push_back(key == SortKey::kSize ? facts.size : facts.modified);
  return keys;
}

}  // namespace

void SortMatches(const IndexTable& table, std::vector<std::uint32_t>& ids, SortOrder order) {
  if (order.key == SortKey::kFolder) StableSortByKeys(ids, FolderRanks(table, ids));
  if (order.key == SortKey::kSize || order.key == SortKey::kModified)
    StableSortByKeys(ids, FactKeys(table, ids, order.key));
  if (order.reverse) std::reverse(ids.begin(), ids.end());
}

std::vector<SearchResult> ResultsOf(const IndexTable& table, const std::vector<std::uint32_t>& ids) {
  FolderPaths folders(table);
  std::vector<SearchResult> results;
  results.reserve(ids.size());
  for (std::uint32_t id : ids) results.push_back(SearchResult{std::string(table.Name(id)), folders.Of(id)});
  FillFacts(results);
  return results;
}

std::vector<std::string> PathsOf(const IndexTable& table, const std::vector<std::uint32_t>& ids) {
  FolderPaths folders(table);
  std::vector<std::string> paths;
  paths.reserve(ids.size());
  for (std::uint32_t id : ids) paths.push_back(JoinPath(folders.Of(id), table.Name(id)));
  return paths;
}

}  // namespace glimpses

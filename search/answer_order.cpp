#include "search/answer_order.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

#include "search/query.h"

namespace glimpses {

int CompareAnswerOrder(const OrderKey& a, const OrderKey& b) {
  if (const int c = a.foldedName.compare(b.foldedName); c != 0) return c;
  if (const int c = a.folder.compare(b.folder); c != 0) return c;
  return a.name.compare(b.name);
}

namespace {

void SortByKey(std::vector<SearchResult>& results, SortKey key) {
  if (key == SortKey::kFolder) {
    std::stable_sort(results.begin(), results.end(), [](const SearchResult& a, const SearchResult& b) {
      if (const int c = FoldCase(a.folder).compare(FoldCase(b.folder)); c != 0) return c < 0;
      return a.folder < b.folder;
    });
  } else if (key == SortKey::kSize) {
    std::stable_sort(results.begin(), results.end(),
                     [](const SearchResult& a, const SearchResult& b) { return a.size < b.size; });
  } else if (key == SortKey::kModified) {
    std::stable_sort(results.begin(), results.end(),
                     [](const SearchResult& a, const SearchResult& b) { return a.modified < b.modified; });
  }
}

}  // namespace

void SortAnswer(std::vector<SearchResult>& results, SortOrder order) {
  std::vector<std::string> folded;
  folded.reserve(results.size());
  for (const SearchResult& r : results) folded.push_back(FoldCase(r.fileName));
  std::vector<std::size_t> positions(results.size());
  std::iota(positions.begin(), positions.end(), 0);
  std::sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
    return CompareAnswerOrder({folded[x], results[x].folder, results[x].fileName},
                              {folded[y], results[y].folder, results[y].fileName}) < 0;
  });
  std::vector<SearchResult> sorted;
  sorted.reserve(results.size());
  for (std::size_t i : positions) sorted.push_back(std::move(results[i]));
  results = std::move(sorted);
  SortByKey(results, order.key);
  if (order.reverse) std::reverse(results.begin(), results.end());
}

}  // namespace glimpses

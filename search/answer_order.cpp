#include "answer_order.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

#include "query.h"

namespace glimpses {

int CompareAnswerOrder(const OrderKey& a, const OrderKey& b) {
  if (const int c = a.foldedName.compare(b.foldedName); c != 0) return c;
  if (const int c = a.folder.compare(b.folder); c != 0) return c;
  return a.name.compare(b.name);
}

void SortAnswer(std::vector<SearchResult>& results) {
  std::vector<std::string> folded;
  folded.reserve(results.size());
  for (const SearchResult& r : results) folded.push_back(FoldCase(r.fileName));
  std::vector<std::size_t> order(results.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    return CompareAnswerOrder({folded[x], results[x].folder, results[x].fileName},
                              {folded[y], results[y].folder, results[y].fileName}) < 0;
  });
  std::vector<SearchResult> sorted;
  sorted.reserve(results.size());
  for (std::size_t i : order) sorted.push_back(std::move(results[i]));
  results = std::move(sorted);
}

}  // namespace glimpses

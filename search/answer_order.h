// The order of every answer, whichever backend gives it: by case-folded
// name, then by folder, then by the bytes of the name (so "A.pdf" and
// "a.pdf" in one folder always come out alike).
#pragma once

#include <string_view>
#include <vector>

#include "search/search_service.h"

namespace glimpses {

// What the order looks at of one entry.
struct OrderKey {
  std::string_view foldedName;
  std::string_view folder;
  std::string_view name;
};

// Negative, zero or positive as `a` comes before, with or after `b`.
int CompareAnswerOrder(const OrderKey& a, const OrderKey& b);

// Puts `results` in `order`, the answer order breaking its ties; sizes and
// times are the results' own.
void SortAnswer(std::vector<SearchResult>& results, SortOrder order = {});

}  // namespace glimpses

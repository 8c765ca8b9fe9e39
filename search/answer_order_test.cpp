#include "search/answer_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/entry_facts.h"
#include "search/name_index.h"
#include "search/test_tree.h"

namespace glimpses {
namespace {

// The index and SortAnswer (which the plocate backend uses) give one order.
TEST(AnswerOrderTest, ByNameIgnoringCaseThenByFolderThenByName) {
  testing::TempTree tree;
  tree.Make({"b.pdf", "z/A.pdf", "y/a.pdf", "a.pdf", "Y/B.pdf", "y/A.pdf"});
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  const auto answer = index.Search(Query::Parse("pdf"));
  ASSERT_TRUE(answer);
  const std::string& r = tree.root();
  std::vector<SearchResult> expected = {{"a.pdf", r},        {"A.pdf", r + "/y"}, {"a.pdf", r + "/y"},
                                        {"A.pdf", r + "/z"}, {"b.pdf", r},        {"B.pdf", r + "/Y"}};
  for (SearchResult& result : expected) FillFacts(result);
  EXPECT_EQ(*answer, expected);
  std::vector<SearchResult> shuffled(expected.rbegin(), expected.rend());
  SortAnswer(shuffled);
  EXPECT_EQ(shuffled, expected);
}

}  // namespace
}  // namespace glimpses

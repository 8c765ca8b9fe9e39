#include "search/document_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

namespace glimpses {
namespace {

TEST(DocumentFilterTest, ListsExactlyTheDocumentEndings) {
  for (const char* name : {"report.pdf", "a.PDF", "x.Indd", "y.EPS", "z.Cdr", "..pdf", "b.ai", "c.AI", "d.INDD",
                           "e.indd", "f.eps", "g.Eps", "h.cdr", "i.CDR", "folder name.pdf", "设计稿.ai"})
    EXPECT_TRUE(IsListedDocument(name)) << name;
  for (const char* name : {"a.Pdf", "b.Ai", "c.CDr", "d.cdR", "e.InDD", "f.pdf.bak", ".pdf", "pdf", "", "a.pdf ",
                           "a.aI", "a.iNDD", "a_pdf", "a.pd", "line\nbreak.pdf"})
    EXPECT_FALSE(IsListedDocument(name)) << name;
}

// The suffix test stands in for this full-match pattern; over many names
// built from the pieces that matter (dots, near-miss cases of each ending),
// both must agree on every one.
TEST(DocumentFilterTest, AgreesWithTheFullMatchPattern) {
  const std::regex pattern(R"((.+)(\.(?:ai|AI|indd|INDD|Indd|eps|EPS|Eps|pdf|PDF|cdr|CDR|Cdr)))");
  const std::vector<std::string> pieces = {"",     ".",    "..",   "a",    "x",    " ",   "ai",  "AI",  "Ai",  "aI",
                                           "indd", "INDD", "Indd", "InDD", "iNDD", "eps", "EPS", "Eps", "ePS", "pdf",
                                           "PDF",  "Pdf",  "pDF",  "cdr",  "CDR",  "Cdr", "CDr", "cdR", "设",  "\n",
                                           "\r",   ".pdf", ".AI",  "bak",  "d",    "f",   "r",   "n",   "s"};
  std::mt19937 random(20240607);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(0, 4);
  int listed = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string name;
    for (int k = count(random); k >= 0; --k) name += pieces[pick(random)];
    const bool expected = std::regex_match(name, pattern);
    ASSERT_EQ(IsListedDocument(name), expected) << "name: '" << name << "'";
    listed += expected ? 1 : 0;
  }
  EXPECT_GT(listed, 1000) << "the generated names must exercise both answers";
}

TEST(DocumentFilterTest, FilterKeepsOrderAndFolders) {
  const std::vector<SearchResult> answer = {{"b.pdf", "/z"},
                                            {"notes.txt", "/a"},
                                            {"a.pdf", "/y"},
                                            {"x.pdf", "/folder-named-like-a-document"},
                                            {"b.pdf", "/a"}};
  const std::vector<SearchResult> expected = {
      {"b.pdf", "/z"}, {"a.pdf", "/y"}, {"x.pdf", "/folder-named-like-a-document"}, {"b.pdf", "/a"}};
  EXPECT_EQ(FilterDocuments(answer), expected);
  EXPECT_TRUE(FilterDocuments({}).empty());
}

}  // namespace
}  // namespace glimpses

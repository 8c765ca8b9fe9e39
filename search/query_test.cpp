#include "query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "name_index.h"
#include "test_tree.h"

namespace glimpses {
namespace {

// The answers of the language are checked against a real tree through the
// embedded index, the way the window asks.
struct LanguageCase {
  const char* query;
  std::set<std::string> expected;
};

class QueryLanguageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree_ = new ScratchFolder;
    tree_->Make({
        "docs/Report 2023.pdf",
        "docs/report-draft.AI",
        "docs/notes.txt",
        "docs/mail.txt",
        "docs/Archive/old report.eps",
        "docs/Archive/logo.cdr",
        "images/Logo.PNG",
        "images/photo.jpg",
        "Ärger/ÜBER.pdf",
        "Греция/ΑΛΦΑ.indd",
        "Греция/отчёт.txt",
        "中文/设计稿.pdf",
        "x.pdf/inner.txt",
        ".hidden/secret.pdf",
        ".dotfile.pdf",
        "a|b.txt",
        "two words.pdf",
        "words two.txt",
    });
    index_ = new NameIndex(NormalizeRoots({tree_->root()}), false);
    index_->Build();
  }
  static void TearDownTestSuite() {
    delete index_;
    delete tree_;
  }

  // Paths relative to the tree, sorted, of what `text` finds.
  static std::vector<std::string> Find(const std::string& text) {
    std::vector<std::string> found;
    const auto answer = index_->Search(Query::Parse(text));
    if (!answer) return {"<no answer>"};
    for (const SearchResult& result : *answer) found.push_back(result.FullPath().substr(tree_->root().size() + 1));
    std::sort(found.begin(), found.end());
    return found;
  }

  template <std::size_t N>
  static void ExpectAll(const LanguageCase (&cases)[N]) {
    for (const LanguageCase& c : cases) {
      const std::vector<std::string> expected(c.expected.begin(), c.expected.end());
      EXPECT_EQ(Find(c.query), expected) << "query: " << c.query;
    }
  }

  static ScratchFolder* tree_;
  static NameIndex* index_;
};

ScratchFolder* QueryLanguageTest::tree_ = nullptr;
NameIndex* QueryLanguageTest::index_ = nullptr;

const std::set<std::string> kEveryEntry = {"docs",
                                           "docs/Report 2023.pdf",
                                           "docs/report-draft.AI",
                                           "docs/notes.txt",
                                           "docs/mail.txt",
                                           "docs/Archive",
                                           "docs/Archive/old report.eps",
                                           "docs/Archive/logo.cdr",
                                           "images",
                                           "images/Logo.PNG",
                                           "images/photo.jpg",
                                           "Ärger",
                                           "Ärger/ÜBER.pdf",
                                           "Греция",
                                           "Греция/ΑΛΦΑ.indd",
                                           "Греция/отчёт.txt",
                                           "中文",
                                           "中文/设计稿.pdf",
                                           "x.pdf",
                                           "x.pdf/inner.txt",
                                           "a|b.txt",
                                           "two words.pdf",
                                           "words two.txt"};

TEST_F(QueryLanguageTest, EachOperatorAndTheirCombinations) {
  const std::set<std::string> reports = {"docs/Report 2023.pdf", "docs/report-draft.AI", "docs/Archive/old report.eps"};
  const LanguageCase cases[] = {
      {"report", reports},
      {"REPORT pdf", {"docs/Report 2023.pdf"}},
      {"report !draft", {"docs/Report 2023.pdf", "docs/Archive/old report.eps"}},
      {"! draft report", {"docs/Report 2023.pdf", "docs/Archive/old report.eps"}},
      {"logo|photo", {"docs/Archive/logo.cdr", "images/Logo.PNG", "images/photo.jpg"}},
      {"logo | photo", {"docs/Archive/logo.cdr", "images/Logo.PNG", "images/photo.jpg"}},
      // OR binds tighter than AND: mail.txt holds "ai" but not "report".
      {"report eps|ai", {"docs/report-draft.AI", "docs/Archive/old report.eps"}},
      {"<report|logo> <pdf|cdr>", {"docs/Report 2023.pdf", "docs/Archive/logo.cdr"}},
      {"!<report|logo> ext:pdf", {"Ärger/ÜBER.pdf", "中文/设计稿.pdf", "x.pdf", "two words.pdf"}},
      {"!!report", reports},
      {"\"two words\"", {"two words.pdf"}},
      {"two words", {"two words.pdf", "words two.txt"}},
      {"two\" \"words", {"two words.pdf"}},
      {"\"a|b\"", {"a|b.txt"}},
      {"report-draft!", {}},
  };
  ExpectAll(cases);
}

TEST_F(QueryLanguageTest, WildcardsPathTermsAndFunctions) {
  const LanguageCase cases[] = {
      {"*.pdf", {"docs/Report 2023.pdf", "Ärger/ÜBER.pdf", "中文/设计稿.pdf", "x.pdf", "two words.pdf"}},
      // A wildcard term covers the whole name, so "old report.eps" is out.
      {"report*", {"docs/Report 2023.pdf", "docs/report-draft.AI"}},
      {"?.pdf", {"x.pdf"}},
      {"设计?.pdf", {"中文/设计稿.pdf"}},
      {"*ä*", {"Ärger"}},
      {"archive/", {"docs/Archive/old report.eps", "docs/Archive/logo.cdr"}},
      {"DOCS/Archive/L", {"docs/Archive/logo.cdr"}},
      {"*/docs/*.pdf", {"docs/Report 2023.pdf"}},
      // A path term lies in the folders' part of the path or runs into the
      // name; the index only makes the paths of folders that allow either.
      {"docs/arch", {"docs/Archive", "docs/Archive/old report.eps", "docs/Archive/logo.cdr"}},
      {"docs/ archive/l", {"docs/Archive/logo.cdr"}},
      {"x.pdf/", {"x.pdf/inner.txt"}},
      {"/", kEveryEntry},
      {"archive/|images/p", {"docs/Archive/old report.eps", "docs/Archive/logo.cdr", "images/photo.jpg"}},
      {"ext:pdf;ai",
       {"docs/Report 2023.pdf", "docs/report-draft.AI", "Ärger/ÜBER.pdf", "中文/设计稿.pdf", "x.pdf", "two words.pdf"}},
      {"ext:CDR", {"docs/Archive/logo.cdr"}},
      {"ext:.png", {"images/Logo.PNG"}},
      {"ext: docs", {"docs"}},
      {"folder:", {"docs", "docs/Archive", "images", "Ärger", "Греция", "中文", "x.pdf"}},
      {"file: ext:pdf", {"docs/Report 2023.pdf", "Ärger/ÜBER.pdf", "中文/设计稿.pdf", "two words.pdf"}},
      {"folder:pdf", {"x.pdf"}},
      {"FILE:logo", {"docs/Archive/logo.cdr", "images/Logo.PNG"}},
      {"\"ext:pdf\"", {}},
  };
  ExpectAll(cases);
}

TEST_F(QueryLanguageTest, CaseIsIgnoredBeyondAsciiAndChineseMatches) {
  const LanguageCase cases[] = {
      {"über", {"Ärger/ÜBER.pdf"}},
      {"ärger", {"Ärger"}},
      {"ÄRGER", {"Ärger"}},
      {"αλφα", {"Греция/ΑΛΦΑ.indd"}},
      {"ОТЧЁТ", {"Греция/отчёт.txt"}},
      {"греция", {"Греция"}},
      {"ГРЕЦИЯ/", {"Греция/ΑΛΦΑ.indd", "Греция/отчёт.txt"}},
      {"设计", {"中文/设计稿.pdf"}},
      {"中文", {"中文"}},
      {"设计　pdf", {"中文/设计稿.pdf"}},  // the ideographic space separates too
  };
  ExpectAll(cases);
}

TEST_F(QueryLanguageTest, EmptyAndMalformedQueriesAreReadForgivingly) {
  const std::vector<std::string> every(kEveryEntry.begin(), kEveryEntry.end());
  const std::vector<std::string> reports = {"docs/Archive/old report.eps", "docs/Report 2023.pdf",
                                            "docs/report-draft.AI"};
  const std::vector<std::string> reportsAndLogos = {"docs/Archive/logo.cdr", "docs/Archive/old report.eps",
                                                    "docs/Report 2023.pdf", "docs/report-draft.AI", "images/Logo.PNG"};
  struct Case {
    const char* query;
    const std::vector<std::string>& expected;
  };
  const Case cases[] = {
      {"", every},
      {"   ", every},
      {"!", every},
      {">", every},
      {"<>", every},
      {"!<>", every},
      {"\"\"", every},
      {"|", every},
      {"report |", reports},
      {"| report", reports},
      {"report !", reports},
      {"report >", reports},
      {"<report|logo", reportsAndLogos},
      {"report||logo", reportsAndLogos},
      {"<<report|logo>", reportsAndLogos},
  };
  for (const Case& c : cases) EXPECT_EQ(Find(c.query), c.expected) << "query: " << c.query;
  EXPECT_EQ(Find("\"two words"), std::vector<std::string>{"two words.pdf"});
  EXPECT_EQ(Find("!report !logo !*"), std::vector<std::string>{});
}

TEST(WildcardMatchTest, StarsAndQuestionMarks) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*.pdf", "a.pdf", true},
      {"*.pdf", "a.pdf.bak", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"?", "设", true},
      {"??", "设", false},
      {"*", "", true},
      {"?*", "", false},
      {"**a", "bba", true},
      {"*a*", "xyz", false},
      {"r?port", "report", true},
      {"", "", true},
  };
  for (const auto& [pattern, text, expected] : cases)
    EXPECT_EQ(WildcardMatch(pattern, text), expected) << pattern << " ~ " << text;
}

TEST(QueryTest, LiteralsHandedToFasterSearches) {
  // Every name a query matches holds one of its name literals.
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"ab abcd !abcdef", {"abcd"}},
      {"ab|Abcd", {"ab", "abcd"}},
      {"x*yz?w", {"yz"}},
      {"ab|abcd x*yz?w", {"yz"}},  // one text is fewer names to test than two
      {"menu|<card x*> !draft", {"menu", "card"}},
      {"a|!b", {}},
      {"*.pdf|ext:ai", {}},
      {"* ?? !a", {}},
      {"", {}},
  };
  for (const auto& [text, literals] : cases) EXPECT_EQ(Query::Parse(text).NameLiterals(), literals) << text;
  EXPECT_EQ(Query::Parse("Docs/X report *.pdf ext:pdf").RequiredPathLiterals(),
            (std::vector<std::string>{"docs/x", "report"}));
  EXPECT_TRUE(Query::Parse("a/b").UsesPath());
  EXPECT_FALSE(Query::Parse("ab").UsesPath());
}

}  // namespace
}  // namespace glimpses

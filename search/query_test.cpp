#include "search/query.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "search/name_index.h"
#include "search/query_values.h"
#include "search/test_tree.h"

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

// Seconds since the epoch of a local time.
std::int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

// A file of `size` bytes (sparse) modified at `modified`.
void MakeFile(const ScratchFolder& tree, const std::string& relative, off_t size, std::int64_t modified) {
  tree.Make({relative});
  const std::string path = tree.Path(relative);
  ASSERT_EQ(::truncate(path.c_str(), size), 0);
  const timespec times[2] = {{modified, 0}, {modified, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The modifiers through the index, with every other part of the language:
// a query's answer (relative paths) or the start of its error.
TEST(QueryModifiersTest, SizeDateRegexCasePathAndWholeWords) {
  ScratchFolder tree;
  ASSERT_FALSE(tree.root().empty());
  MakeFile(tree, "a/empty.pdf", 0, LocalTime(2024, 5, 17, 12));
  MakeFile(tree, "a/Tiny Plan.pdf", 10 * 1024, LocalTime(2024, 3, 31, 23, 59, 59));
  MakeFile(tree, "a/small_plan.ai", 10 * 1024 + 1, LocalTime(2024, 4, 1));
  MakeFile(tree, "bee/Plan-B.AI", 2 * 1024 * 1024, LocalTime(2023, 12, 31, 23, 59, 59));
  MakeFile(tree, "bee/plans.eps", 200 * 1024 * 1024, LocalTime(2024, 1, 1));
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  struct Case {
    const char* query;
    std::vector<std::string> expected;  // sorted
    const char* error = nullptr;
  };
  const Case cases[] = {
      {"size:empty", {"a/empty.pdf"}},
      {"size:tiny", {"a/Tiny Plan.pdf", "a/empty.pdf"}},  // 10 KB is still tiny
      {"size:small", {"a/small_plan.ai"}},
      {"size:large|size:gigantic", {"bee/Plan-B.AI", "bee/plans.eps"}},
      {"size:10kb", {"a/Tiny Plan.pdf"}},
      {"size:>10kb", {"a/small_plan.ai", "bee/Plan-B.AI", "bee/plans.eps"}},
      {"size:<=10KB plan", {"a/Tiny Plan.pdf"}},
      {"size:1mb..5mb", {"bee/Plan-B.AI"}},
      {"size:<2mb !size:empty", {"a/Tiny Plan.pdf", "a/small_plan.ai"}},
      {"size:1.5mb..", {"bee/Plan-B.AI", "bee/plans.eps"}},
      {"size:>0 ext:pdf", {"a/Tiny Plan.pdf"}},
      {"<size:empty|size:huge> | size:gigantic", {"a/empty.pdf", "bee/plans.eps"}},
      {"dm:2024-03-31", {"a/Tiny Plan.pdf"}},
      {"dm:2024-01-01..2024-03-31", {"a/Tiny Plan.pdf", "bee/plans.eps"}},
      {"dm:>=2024-04-01 file:", {"a/empty.pdf", "a/small_plan.ai"}},
      {"dm:<2024", {"bee/Plan-B.AI"}},
      {"dm:>2024-03 file:", {"a/empty.pdf", "a/small_plan.ai"}},
      {"dm:2023 | dm:2024-05", {"a/empty.pdf", "bee/Plan-B.AI"}},
      {"regex:^plan-?b\\.ai$", {"bee/Plan-B.AI"}},
      {"case:regex:^Plan", {"bee/Plan-B.AI"}},
      {"path:regex:/bee/.*s\\.eps$", {"bee/plans.eps"}},
      {"case:plan", {"a/small_plan.ai", "bee/plans.eps"}},
      {"case:Plan !ext:ai", {"a/Tiny Plan.pdf"}},
      {"path:/a/ case:*Plan*", {"a/Tiny Plan.pdf"}},
      {"path:bee", {"bee", "bee/Plan-B.AI", "bee/plans.eps"}},
      {"bee", {"bee"}},
      {"case:path:/bee/", {"bee/Plan-B.AI", "bee/plans.eps"}},
      {"ww:plan", {"a/Tiny Plan.pdf", "bee/Plan-B.AI"}},  // '_' joins words, '-' and ' ' part them
      {"wholeword:plans", {"bee/plans.eps"}},
      {"ww:lan", {}},
      {"\"size:empty\"", {}},
      {"size:", {}, "size: needs a number"},
      {"size:5tb", {}, "size: needs a number"},
      {"size:5mb..1mb", {}, "size: needs a number"},
      {"plan size:big", {}, "size: needs a number"},
      {"dm:2024-02-30", {}, "dm: needs a date"},
      {"dm:2024-13", {}, "dm: needs a date"},
      {"dm:someday", {}, "dm: needs a date"},
      {"regex:a(b", {}, "regex: missing )"},
      {"regex:", {}, "regex: needs an expression"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<Query> query = Query::TryParse(c.query, &error);
    if (c.error != nullptr) {
      EXPECT_FALSE(query) << c.query;
      EXPECT_TRUE(error.starts_with(c.error)) << c.query << ": " << error;
      EXPECT_EQ(index.Search(Query::Parse(c.query))->size(), 0u) << c.query;
      continue;
    }
    ASSERT_TRUE(query) << c.query << ": " << error;
    std::vector<std::string> found;
    const std::optional<std::vector<SearchResult>> answer = index.Search(*query);
    for (const SearchResult& result : *answer) found.push_back(result.FullPath().substr(tree.root().size() + 1));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.expected) << c.query;
  }
}

TEST(QueryModifiersTest, RelativeDatesAreLocalPeriodsStartingOnMonday) {
  const std::int64_t now = LocalTime(2024, 3, 6, 15);  // a Wednesday
  const std::pair<const char*, ValueRange> cases[] = {
      {"today", {LocalTime(2024, 3, 6), LocalTime(2024, 3, 7) - 1}},
      {"yesterday", {LocalTime(2024, 3, 5), LocalTime(2024, 3, 6) - 1}},
      {"thisweek", {LocalTime(2024, 3, 4), LocalTime(2024, 3, 11) - 1}},
      {"lastweek", {LocalTime(2024, 2, 26), LocalTime(2024, 3, 4) - 1}},
      {"thismonth", {LocalTime(2024, 3, 1), LocalTime(2024, 4, 1) - 1}},
      {"lastmonth", {LocalTime(2024, 2, 1), LocalTime(2024, 3, 1) - 1}},
      {"thisyear", {LocalTime(2024, 1, 1), LocalTime(2025, 1, 1) - 1}},
      {"lastyear", {LocalTime(2023, 1, 1), LocalTime(2024, 1, 1) - 1}},
      {"<today", {INT64_MIN, LocalTime(2024, 3, 6) - 1}},
      {"lastweek..yesterday", {LocalTime(2024, 2, 26), LocalTime(2024, 3, 6) - 1}},
  };
  for (const auto& [value, range] : cases) EXPECT_EQ(ParseDateValue(value, now), range) << value;
  EXPECT_EQ(ParseDateValue("thisweek", LocalTime(2024, 3, 10, 23))->low, LocalTime(2024, 3, 4)) << "a Sunday";
}

}  // namespace
}  // namespace glimpses

#include "search/plocate_backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "search/document_filter.h"
#include "search/name_index.h"
#include "search/test_tree.h"

namespace glimpses {
namespace {

class PlocateBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramAvailable("plocate") || !ProgramAvailable("updatedb"))
      GTEST_SKIP() << "plocate is not installed (the README's set-up installs it)";
    tree_.Make({"docs/Report 2023.pdf", "docs/report-draft.AI", "docs/Archive/old report.eps", "docs/Archive/logo.cdr",
                "docs/notes.txt", "Ärger/ÜBER.pdf", "Греция/ΑΛΦΑ.indd", "中文/设计稿.pdf", "x.pdf/inner.txt",
                ".hidden/secret.pdf", ".dot.pdf", "two words.pdf", "deep/er/still/Plan.CDR"});
    database_ = db_.Path("plocate.db");
    // Paths under /tmp are pruned by the system's configuration; this
    // private database must hold the whole tree.
    const std::string command = "updatedb -U '" + tree_.root() + "' -o '" + database_ +
                                "' -l 0 --prunepaths '' --prunefs '' --prunenames '' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    options_.roots = NormalizeRoots({tree_.root()});
    options_.database = database_;
  }

  ScratchFolder tree_;
  ScratchFolder db_;
  std::string database_;
  PlocateOptions options_;
};

TEST_F(PlocateBackendTest, GivesTheSameAnswersAsTheIndex) {
  NameIndex index(options_.roots, false);
  index.Build();
  for (const char* text : {"",
                           "pdf",
                           "report",
                           "REPORT pdf",
                           "ärger",
                           "ΑΛΦΑ",
                           "设计",
                           "*.pdf",
                           "folder:",
                           "file:pdf",
                           "ext:ai;cdr",
                           "archive/",
                           "!report ext:pdf",
                           "<logo|plan> !txt",
                           "\"two words\"",
                           "docs/*.eps",
                           "inner|still",
                           "size:>0 ext:pdf",
                           "size:tiny|folder:",
                           "dm:>2000 report",
                           "regex:^re",
                           "case:Report|case:regex:^Plan",
                           "path:docs !path:archive",
                           "ww:report",
                           "case:path:regex:/docs/.*\\.eps$"}) {
    const SearchAnswer fromIndex = index.Search(Query::Parse(text));
    const SearchAnswer fromPlocate = QueryPlocate(Query::Parse(text), options_);
    ASSERT_TRUE(fromIndex && fromPlocate) << text;
    EXPECT_EQ(*fromPlocate, *fromIndex) << "query: " << text;
    EXPECT_EQ(FilterDocuments(*fromPlocate), FilterDocuments(*fromIndex)) << "query: " << text;
  }
}

TEST_F(PlocateBackendTest, HiddenEntriesOnlyWhenAskedAndOnlyUnderTheRoots) {
  options_.includeHidden = true;
  const SearchAnswer hidden = QueryPlocate(Query::Parse("secret|dot.pdf"), options_);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->size(), 2u);

  options_.roots = NormalizeRoots({tree_.Path("docs")});
  const SearchAnswer narrowed = QueryPlocate(Query::Parse("pdf"), options_);
  ASSERT_TRUE(narrowed);
  EXPECT_EQ(*narrowed, (std::vector<SearchResult>{WithFacts({"Report 2023.pdf", tree_.Path("docs")})}));
}

TEST_F(PlocateBackendTest, NoAnswerWithoutADatabaseProgramOrRoot) {
  PlocateOptions options = options_;
  options.database = db_.Path("missing.db");
  EXPECT_FALSE(QueryPlocate(Query::Parse("pdf"), options));
  std::ofstream(db_.Path("text.db")) << "not a database\n";
  options.database = db_.Path("text.db");
  EXPECT_FALSE(QueryPlocate(Query::Parse("pdf"), options));

  options = options_;
  options.program = db_.Path("no-such-program");
  EXPECT_FALSE(QueryPlocate(Query::Parse("pdf"), options));

  options = options_;
  options.roots = {tree_.Path("not-there")};
  EXPECT_FALSE(QueryPlocate(Query::Parse("pdf"), options));

  const SearchAnswer nothing = QueryPlocate(Query::Parse("zzzzqqq"), options_);
  ASSERT_TRUE(nothing) << "nothing matched is an answer, not a failure";
  EXPECT_TRUE(nothing->empty());
}

}  // namespace
}  // namespace glimpses

#include "search/search_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "search/document_filter.h"
#include "search/index_cache.h"
#include "search/name_index.h"
#include "search/test_tree.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// Row `i` of `rows`, read as the list's reader thread reads it.
std::optional<SearchResult> RowAt(const RowsAnswer& rows, std::size_t i) {
  RowsRead read = rows->Read(i, 1, RowsWait::kMayWait);
  if (read.status != RowsRead::kRead) return std::nullopt;
  return read.rows.front();
}

class SearchServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Make({"docs/Report.pdf", "docs/notes.txt", "art/Logo.AI", "art/old/Logo.cdr"});
    options_.roots = {tree_.root()};
    options_.cacheDir = cache_.Path("glimpses");
  }
  ScratchFolder tree_;
  ScratchFolder cache_;
  SearchOptions options_;
};

TEST_F(SearchServiceTest, FirstQueryWaitsForTheBuildAndTheNextStartLoadsIt) {
  std::vector<SearchResult> first;
  {
    auto service = EnsureSearchServiceRunning(options_);
    const SearchAnswer answer = service->Query("logo|report");
    ASSERT_TRUE(answer);
    first = *answer;
    EXPECT_FALSE(service->IsIndexing());
  }
  const std::string r = tree_.root();
  EXPECT_EQ(first,
            (std::vector<SearchResult>{WithFacts({"Logo.AI", r + "/art"}), WithFacts({"Logo.cdr", r + "/art/old"}),
                                       WithFacts({"Report.pdf", r + "/docs"})}));
  const std::string cacheFile = options_.cacheDir + "/" + IndexFileName(NormalizeRoots(options_.roots), false);
  EXPECT_TRUE(fs::exists(cacheFile));

  auto again = EnsureSearchServiceRunning(options_);
  EXPECT_EQ(again->Query("logo|report"), SearchAnswer(first));
  tree_.Make({"docs/Later.pdf"});
  const SearchAnswer later = again->Query("later");
  ASSERT_TRUE(later);
  EXPECT_EQ(later->size(), 1u);
}

TEST_F(SearchServiceTest, QueriesFromManyThreadsAtOnce) {
  auto service = EnsureSearchServiceRunning(options_);
  std::vector<SearchAnswer> answers(4);
  std::vector<std::thread> threads;
  for (auto& answer : answers) threads.emplace_back([&service, &answer] { answer = service->Query("pdf|ai"); });
  for (auto& thread : threads) thread.join();
  for (const auto& answer : answers) {
    ASSERT_TRUE(answer);
    EXPECT_EQ(FilterDocuments(*answer).size(), 2u);
  }
}

TEST_F(SearchServiceTest, NoAnswerWhenTheRootsAreGoneOrPlocateCannotAnswer) {
  options_.roots = {tree_.Path("missing")};
  EXPECT_FALSE(EnsureSearchServiceRunning(options_)->Query("pdf"));

  options_.roots = {tree_.root()};
  options_.backend = Backend::kPlocate;
  options_.plocateDb = cache_.Path("no-such.db");
  auto plocate = EnsureSearchServiceRunning(options_);
  EXPECT_FALSE(plocate->IsIndexing());
  EXPECT_FALSE(plocate->Query("pdf"));
}

TEST_F(SearchServiceTest, ClosingDuringTheFirstBuildLeavesNothingBroken) {
  for (int i = 0; i < 3; ++i) EnsureSearchServiceRunning(options_);  // each closed at once
  {
    // A query made after the shutdown returns (with what was read) and what
    // it leaves in the cache does not pass for a whole index.
    auto stopped = EnsureSearchServiceRunning(options_);
    stopped->Shutdown();
    stopped->Query("logo|report");
    EXPECT_FALSE(stopped->IsIndexing());
  }
  auto service = EnsureSearchServiceRunning(options_);
  const SearchAnswer answer = service->Query("logo|report");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->size(), 3u);
}

TEST_F(SearchServiceTest, AnUnwritableCacheStillAnswers) {
  // A file where the cache folder should be: nothing can be saved.
  tree_.Make({"cache-is-a-file"});
  options_.cacheDir = tree_.Path("cache-is-a-file");
  auto service = EnsureSearchServiceRunning(options_);
  const SearchAnswer answer = service->Query("report");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->size(), 1u);
}

TEST_F(SearchServiceTest, DamagedCacheFilesAreRebuiltNotTrusted) {
  const std::string cacheFile = options_.cacheDir + "/" + IndexFileName(NormalizeRoots(options_.roots), false);
  EnsureSearchServiceRunning(options_)->Query("");  // writes a good cache file
  std::string good;
  {
    std::ifstream in(cacheFile, std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_FALSE(good.empty());
  std::string otherVersion = good;
  otherVersion[7] = '9';
  std::string wrongCounts = good;
  for (std::size_t at = 40; at < 48 && at < wrongCounts.size(); ++at) wrongCounts[at] = '\xff';
  const std::pair<const char*, std::string> damages[] = {
      {"empty", ""},
      {"truncated", good.substr(0, good.size() / 2)},
      {"one byte short", good.substr(0, good.size() - 1)},
      {"garbage", std::string(good.size(), 'x')},
      {"other version", otherVersion},
      {"wrong counts", wrongCounts},
  };
  for (const auto& [what, bytes] : damages) {
    std::ofstream(cacheFile, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    {
      auto service = EnsureSearchServiceRunning(options_);
      const SearchAnswer answer = service->Query("logo|report");
      ASSERT_TRUE(answer) << what;
      EXPECT_EQ(answer->size(), 3u) << what;
    }
    NameIndex reloaded(NormalizeRoots(options_.roots), false);
    EXPECT_TRUE(reloaded.Load(cacheFile)) << what << ": the rebuilt index replaced the damaged file";
  }
}

TEST_F(SearchServiceTest, AServiceKeptCurrentAnswersInRows) {
  // More rows than the run made with the answer, so the last is read from
  // the index.
  std::vector<std::string> pages;
  for (int i = 0; i < 70; ++i) pages.push_back("docs/page " + std::to_string(10 + i) + ".pdf");
  tree_.Make(pages);
  auto service = EnsureSearchServiceRunning(options_);
  service->KeepCurrent();
  const NameFilter documents = IsListedDocument;
  RowsAnswer rows = service->QueryRows("logo|report|notes|page", documents);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 73u);
  EXPECT_EQ(RowAt(rows, 72), WithFacts({"Report.pdf", tree_.Path("docs")}));
  EXPECT_EQ(RowAt(rows, 2), WithFacts({"page 10.pdf", tree_.Path("docs")}));

  tree_.Make({"docs/Later.pdf"});
  fs::remove(tree_.Path("docs/Report.pdf"));
  // The old answer still tells its rows, the one gone without size or
  // time; the next answer has the changes.
  EXPECT_EQ(RowAt(rows, 72), (SearchResult{"Report.pdf", tree_.Path("docs")}));
  rows = service->QueryRows("later|report", documents);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 1u);
  EXPECT_EQ(RowAt(rows, 0), WithFacts({"Later.pdf", tree_.Path("docs")}));
  EXPECT_EQ(service->Query("later|report"), SearchAnswer({WithFacts({"Later.pdf", tree_.Path("docs")})}));
}

// Each run saves its index; the next, with other excluded folders, must
// build its own rather than answer from that one.
TEST_F(SearchServiceTest, ExcludedFoldersAreLeftOutAndNoSavedIndexOfOtherExcludesAnswers) {
  ScratchFolder tree;
  tree.Make({"docs/a.pdf", "docs/backup/b.pdf", "proj/node_modules/x/c.pdf", "proj/src/d.pdf", "old/e.pdf",
             "backup.pdf", "backup/f.pdf"});
  const std::string r = tree.root();
  const std::vector<std::string> all = {"backup.pdf",        "backup/f.pdf", "docs/a.pdf",
                                        "docs/backup/b.pdf", "old/e.pdf",    "proj/node_modules/x/c.pdf",
                                        "proj/src/d.pdf"};
  struct Case {
    std::vector<std::string> excludes;
    std::optional<std::vector<std::string>> expected;  // nullopt: no answer
  };
  const Case cases[] = {
      {{r + "/old"},
       std::vector<std::string>{"backup.pdf", "backup/f.pdf", "docs/a.pdf", "docs/backup/b.pdf",
                                "proj/node_modules/x/c.pdf", "proj/src/d.pdf"}},
      {{}, all},
      {{"*/backup"},
       std::vector<std::string>{"backup.pdf", "docs/a.pdf", "old/e.pdf", "proj/node_modules/x/c.pdf",
                                "proj/src/d.pdf"}},
      {{"*/node_modules", r + "/old/", "", r + "/nowhere"},
       std::vector<std::string>{"backup.pdf", "backup/f.pdf", "docs/a.pdf", "docs/backup/b.pdf", "proj/src/d.pdf"}},
      {{r + "/proj/*"},
       std::vector<std::string>{"backup.pdf", "backup/f.pdf", "docs/a.pdf", "docs/backup/b.pdf", "old/e.pdf"}},
      {{r + "/doc"}, all},  // a folder path is not a prefix of names
      {{r}, std::nullopt},
  };
  SearchOptions options = options_;
  options.roots = {r};
  for (const Case& c : cases) {
    options.excludes = c.excludes;
    auto service = EnsureSearchServiceRunning(options);
    const SearchAnswer answer = service->Query("ext:pdf");
    std::string label;
    for (const std::string& item : c.excludes) label += item + " ";
    ASSERT_EQ(answer.has_value(), c.expected.has_value()) << label;
    if (!answer) continue;
    std::vector<std::string> found;
    for (const SearchResult& result : *answer) found.push_back(result.FullPath().substr(r.size() + 1));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, *c.expected) << label;
  }

  // Kept current: what appears in an excluded folder is not seen (no watch
  // there), what appears elsewhere is.
  options.excludes = {"*/backup"};
  auto service = EnsureSearchServiceRunning(options);
  service->KeepCurrent();
  ASSERT_TRUE(service->Query("new"));
  tree.Make({"docs/backup/new 1.pdf", "docs/new 2.pdf", "docs/backup/deeper/new 3.pdf"});
  const SearchAnswer answer = service->Query("new");
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->size(), 1u);
  EXPECT_EQ(answer->front().fileName, "new 2.pdf");
}

}  // namespace
}  // namespace glimpses

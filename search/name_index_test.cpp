#include "search/name_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "search/index_cache.h"
#include "search/test_tree.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// Full paths of what `text` finds, sorted; "<no answer>" for no answer.
std::vector<std::string> Find(const NameIndex& index, const std::string& text) {
  const auto answer = index.Search(Query::Parse(text));
  if (!answer) return {"<no answer>"};
  std::vector<std::string> paths;
  for (const SearchResult& result : *answer) paths.push_back(result.FullPath());
  std::sort(paths.begin(), paths.end());
  return paths;
}

class NameIndexFreshnessTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    tree_.Make({"keep/a.pdf", "keep/deep/b.pdf", "move/c.pdf", "move/sub/d.pdf", "gone/e.pdf", "f.pdf"});
    // Aged: the index trusts the folder times it reads, as it would on a
    // quiet disk. Not aged: every folder is read again while it is fresh.
    if (GetParam()) tree_.Age();
    index_.Build();
  }
  std::string P(const std::string& relative) const { return tree_.Path(relative); }
  // The index's view after a refresh, as the service gives it.
  std::vector<std::string> Fresh(const std::string& text) {
    index_.Refresh();
    return Find(index_, text);
  }

  testing::TempTree tree_;
  NameIndex index_{NormalizeRoots({tree_.root()}), false};
};

TEST_P(NameIndexFreshnessTest, SeesCreatedRenamedAndDeletedEntries) {
  EXPECT_EQ(Fresh("pdf").size(), 6u);
  EXPECT_FALSE(index_.Refresh()) << "nothing changed";

  tree_.Make({"keep/deep/new.pdf"});
  EXPECT_EQ(Fresh("new"), std::vector<std::string>{P("keep/deep/new.pdf")});

  tree_.Make({"fresh/inner/x.pdf"});
  EXPECT_EQ(Fresh("fresh|inner|x.pdf"),
            (std::vector<std::string>{P("fresh"), P("fresh/inner"), P("fresh/inner/x.pdf")}));

  fs::rename(P("keep/a.pdf"), P("keep/renamed.pdf"));
  EXPECT_EQ(Fresh("a.pdf"), std::vector<std::string>{});
  EXPECT_EQ(Fresh("renamed"), std::vector<std::string>{P("keep/renamed.pdf")});

  fs::rename(P("move"), P("moved"));
  EXPECT_EQ(Fresh("c.pdf|d.pdf !renamed"), (std::vector<std::string>{P("moved/c.pdf"), P("moved/sub/d.pdf")}));
  EXPECT_EQ(Fresh("move/"), std::vector<std::string>{});

  fs::remove(P("f.pdf"));
  fs::remove_all(P("gone"));
  EXPECT_EQ(Fresh("f.pdf|e.pdf|gone"), std::vector<std::string>{});

  // Same name, other kind: a file replaced by a folder.
  fs::remove(P("keep/renamed.pdf"));
  tree_.Make({"keep/renamed.pdf/"});
  EXPECT_EQ(Fresh("folder:renamed"), std::vector<std::string>{P("keep/renamed.pdf")});

  // Two changes to one folder in quick succession are both seen.
  tree_.Make({"keep/deep/one.pdf"});
  EXPECT_EQ(Fresh("one|two").size(), 1u);
  tree_.Make({"keep/deep/two.pdf"});
  EXPECT_EQ(Fresh("one|two").size(), 2u);
  const auto onDisk = std::distance(fs::recursive_directory_iterator(tree_.root()), fs::recursive_directory_iterator());
  EXPECT_EQ(index_.EntryCount(), static_cast<std::size_t>(onDisk));
}

INSTANTIATE_TEST_SUITE_P(AgedAndFresh, NameIndexFreshnessTest, ::testing::Bool());

TEST(NameIndexTest, ManyDeletionsCompactTheIndexAndKeepItRight) {
  testing::TempTree tree;
  std::vector<std::string> files;
  for (int i = 0; i < 400; ++i) files.push_back("bulk/file" + std::to_string(i) + ".txt");
  tree.Make(files);
  tree.Make({"stay/keep.pdf"});
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  const std::size_t fullBytes = index.MemoryBytes();
  fs::remove_all(tree.Path("bulk"));
  EXPECT_TRUE(index.Refresh());
  EXPECT_EQ(index.EntryCount(), 2u);
  EXPECT_LT(index.MemoryBytes(), fullBytes);
  EXPECT_EQ(Find(index, "keep"), std::vector<std::string>{tree.Path("stay/keep.pdf")});
  tree.Make({"bulk/file7.txt"});
  index.Refresh();
  EXPECT_EQ(Find(index, "file7"), (std::vector<std::string>{tree.Path("bulk/file7.txt")}));
}

TEST(NameIndexTest, HiddenEntriesAndSymlinks) {
  testing::TempTree tree;
  tree.Make({".hidden/secret.pdf", ".dot.pdf", "real/inside.pdf", "loop/"});
  fs::create_directory_symlink(tree.Path("real"), tree.Path("link"));
  fs::create_directory_symlink(tree.Path("loop"), tree.Path("loop/again"));

  NameIndex plain(NormalizeRoots({tree.root()}), false);
  plain.Build();
  EXPECT_EQ(Find(plain, "pdf"), std::vector<std::string>{tree.Path("real/inside.pdf")});
  // A link is an entry of its own; what it points to is not listed twice.
  EXPECT_EQ(Find(plain, "link|again"), (std::vector<std::string>{tree.Path("link"), tree.Path("loop/again")}));
  EXPECT_EQ(Find(plain, "folder:link"), std::vector<std::string>{});

  NameIndex hidden(NormalizeRoots({tree.root()}), true);
  hidden.Build();
  EXPECT_EQ(Find(hidden, "pdf|hidden"),
            (std::vector<std::string>{tree.Path(".dot.pdf"), tree.Path(".hidden"), tree.Path(".hidden/secret.pdf"),
                                      tree.Path("real/inside.pdf")}));
}

TEST(NameIndexTest, RootsThatVanishOrCannotBeReadAreLeftOut) {
  testing::TempTree one;
  testing::TempTree two;
  one.Make({"a/one.pdf"});
  two.Make({"b/two.pdf"});
  const std::string missing = one.Path("not-there");
  NameIndex index(NormalizeRoots({one.root(), two.root(), missing, one.Path("a/one.pdf")}), false);
  index.Build();
  EXPECT_EQ(Find(index, "pdf").size(), 2u);

  fs::rename(two.Path("b"), two.root() + "-away");
  fs::remove_all(two.root());
  index.Refresh();
  EXPECT_EQ(Find(index, "pdf"), std::vector<std::string>{one.Path("a/one.pdf")});

  fs::create_directory(two.root());
  fs::rename(two.root() + "-away", two.Path("b"));
  index.Refresh();
  EXPECT_EQ(Find(index, "pdf").size(), 2u) << "a root that comes back is read again";

  if (::geteuid() != 0) {
    fs::permissions(one.root(), fs::perms::none);
    index.Refresh();
    EXPECT_EQ(Find(index, "pdf"), std::vector<std::string>{two.Path("b/two.pdf")});
    fs::permissions(one.root(), fs::perms::owner_all);
  }

  fs::remove_all(one.root());
  fs::remove_all(two.root());
  index.Refresh();
  EXPECT_EQ(Find(index, "pdf"), std::vector<std::string>{"<no answer>"});
}

TEST(NameIndexTest, SavedAndLoadedIndexAnswersTheSame) {
  testing::TempTree tree;
  testing::TempTree cache;
  tree.Make({"docs/Report.pdf", "docs/Ärger.AI", "中文/设计稿.pdf", "x.pdf/inner.txt", "notes.txt"});
  const std::vector<std::string> roots = NormalizeRoots({tree.root()});
  NameIndex built(roots, false);
  built.Build();
  const std::string file = cache.Path(IndexFileName(roots, false));
  ASSERT_TRUE(built.Save(file));

  NameIndex loaded(roots, false);
  ASSERT_TRUE(loaded.Load(file));
  for (const char* text : {"", "pdf", "ärger", "设计", "folder:", "docs/", "*.pdf", "!pdf"}) {
    EXPECT_EQ(built.Search(Query::Parse(text)), loaded.Search(Query::Parse(text))) << text;
  }
  EXPECT_EQ(loaded.EntryCount(), built.EntryCount());
  // A loaded index keeps up with changes made while the program was away.
  tree.Make({"docs/later.pdf"});
  loaded.Refresh();
  EXPECT_EQ(Find(loaded, "later"), std::vector<std::string>{tree.Path("docs/later.pdf")});

  NameIndex otherRoots(NormalizeRoots({tree.Path("docs")}), false);
  EXPECT_FALSE(otherRoots.Load(file));
  NameIndex otherHidden(roots, true);
  EXPECT_FALSE(otherHidden.Load(file));
}

TEST(NameIndexTest, DamagedCacheFilesAreRefused) {
  testing::TempTree tree;
  testing::TempTree cache;
  tree.Make({"a/b/c.pdf", "a/d.txt", "e.AI"});
  const std::vector<std::string> roots = NormalizeRoots({tree.root()});
  NameIndex built(roots, false);
  built.Build();
  const std::string file = cache.Path("index.bin");
  ASSERT_TRUE(built.Save(file));
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string damaged = cache.Path("damaged.bin");
  auto loads = [&](const std::string& content) {
    std::ofstream(damaged, std::ios::binary | std::ios::trunc).write(content.data(), content.size());
    NameIndex index(roots, false);
    const bool ok = index.Load(damaged);
    // Whatever it accepted must answer without crashing.
    if (ok) index.Search(Query::Parse("c"));
    return ok;
  };
  for (std::size_t length = 0; length < bytes.size(); ++length) EXPECT_FALSE(loads(bytes.substr(0, length))) << length;
  EXPECT_FALSE(loads(bytes + "x"));
  // Single flipped bytes: refused, or accepted and still safe to search.
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string flipped = bytes;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
    loads(flipped);
  }
  NameIndex missing(roots, false);
  EXPECT_FALSE(missing.Load(cache.Path("none.bin")));
}

TEST(NameIndexTest, ACancelledBuildIsCompletedByTheNextRefresh) {
  testing::TempTree tree;
  tree.Make({"a/b/c/deep.pdf", "a/top.pdf", "side/x.pdf"});
  tree.Age();
  std::atomic<bool> cancel{true};
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.SetCancelFlag(&cancel);
  index.Build();
  EXPECT_EQ(Find(index, "pdf"), std::vector<std::string>{});
  cancel = false;
  index.Refresh();
  EXPECT_EQ(Find(index, "pdf"),
            (std::vector<std::string>{tree.Path("a/b/c/deep.pdf"), tree.Path("a/top.pdf"), tree.Path("side/x.pdf")}));
}

TEST(NameIndexTest, RootsAreNormalised) {
  EXPECT_EQ(NormalizeRoots({"/a/b/", "/a/b/c", "/a//b/../b", "/x", "", "/a/bc"}),
            (std::vector<std::string>{"/a/b", "/x", "/a/bc"}));
  EXPECT_EQ(NormalizeRoots({"/srv", "/"}), std::vector<std::string>{"/"});
  EXPECT_NE(IndexFileName({"/a"}, false), IndexFileName({"/a"}, true));
  EXPECT_NE(IndexFileName({"/a", "/b"}, false), IndexFileName({"/a/b"}, false));
}

TEST(NameIndexTest, CompactLayout) {
  testing::TempTree tree;
  std::vector<std::string> files;
  for (int i = 0; i < 300; ++i)
    files.push_back("f" + std::to_string(i % 10) + "/Document number " + std::to_string(i) + ".pdf");
  tree.Make(files);
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  EXPECT_EQ(index.EntryCount(), 310u);
  EXPECT_LT(index.MemoryBytes() / index.EntryCount(), 100u);
}

}  // namespace
}  // namespace glimpses

namespace glimpses {
namespace {

// A watched index over an aged tree (so times are trusted and only what
// changed is read again).
class LiveIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Make({"docs/a.pdf", "docs/deep/b.pdf", "art/c.ai"});
    outside_.Make({"incoming/new/x.pdf", "incoming/y.pdf"});
    tree_.Age();
  }
  void Start() {
    index_.Build();
    index_.Watch(&watch_);
  }
  std::string P(const std::string& relative) const { return tree_.Path(relative); }
  // The next answer, and how many folder listings it took to give it.
  std::vector<std::string> Answer(const std::string& text, std::size_t* foldersRead) {
    const std::size_t before = index_.FoldersRead();
    index_.CatchUp();
    *foldersRead = index_.FoldersRead() - before;
    return Find(index_, text);
  }

  testing::TempTree tree_;
  testing::TempTree outside_;
  FolderWatch watch_;
  NameIndex index_{NormalizeRoots({tree_.root()}), false};
};

TEST_F(LiveIndexTest, ChangesShowInTheNextAnswerWithoutReadingOtherFolders) {
  Start();
  ASSERT_EQ(index_.WatchCoverage().unwatchedFolders, 0u);
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* query;
    std::vector<std::string> expected;
    std::size_t foldersRead;  // only the folders that arrived
  };
  const Step steps[] = {
      {"file created", [&] { tree_.Make({"docs/deep/new.pdf"}); }, "new", {P("docs/deep/new.pdf")}, 0},
      {"file renamed",
       [&] { fs::rename(P("docs/a.pdf"), P("docs/renamed.pdf")); },
       "a.pdf|renamed",
       {P("docs/renamed.pdf")},
       0},
      {"file deleted", [&] { fs::remove(P("art/c.ai")); }, "c.ai", {}, 0},
      {"folder created", [&] { fs::create_directory(P("made")); }, "made", {P("made")}, 1},
      {"file in the new folder", [&] { tree_.Make({"made/inner.pdf"}); }, "inner", {P("made/inner.pdf")}, 0},
      {"folder moved in",
       [&] { fs::rename(outside_.Path("incoming"), P("docs/incoming")); },
       "x.pdf|y.pdf",
       {P("docs/incoming/new/x.pdf"), P("docs/incoming/y.pdf")},
       2},
      {"folder removed", [&] { fs::remove_all(P("docs/deep")); }, "b.pdf|deep", {}, 0},
      {"folder moved within",
       [&] { fs::rename(P("docs/incoming"), P("art/incoming")); },
       "y.pdf",
       {P("art/incoming/y.pdf")},
       2},
  };
  for (const Step& step : steps) {
    step.change();
    std::size_t foldersRead = 0;
    EXPECT_EQ(Answer(step.query, &foldersRead), step.expected) << step.what;
    EXPECT_EQ(foldersRead, step.foldersRead) << step.what;
  }
  // A watch on everything that arrived: the next change needs no reading.
  tree_.Make({"art/incoming/new/later.pdf"});
  std::size_t foldersRead = 0;
  EXPECT_EQ(Answer("later", &foldersRead), std::vector<std::string>{P("art/incoming/new/later.pdf")});
  EXPECT_EQ(foldersRead, 0u);
}

TEST_F(LiveIndexTest, WatchesFollowTheirFoldersThroughARenumberingAndAreGivenBackWithThem) {
  std::vector<std::string> bulk;
  for (int i = 0; i < 300; ++i) bulk.push_back("docs/bulk/f" + std::to_string(i));
  tree_.Make(bulk);
  tree_.Age();
  watch_.SetLimit(5);  // root, art, docs, docs/bulk, docs/deep
  Start();
  ASSERT_EQ(index_.WatchCoverage().unwatchedFolders, 0u);
  std::size_t foldersRead = 0;
  // A folder moved out of the root gives its watch back for the next one.
  fs::rename(P("docs/deep"), outside_.Path("deep"));
  EXPECT_EQ(Answer("b.pdf", &foldersRead), std::vector<std::string>{});
  fs::create_directory(P("art/late"));
  EXPECT_EQ(Answer("late", &foldersRead), std::vector<std::string>{P("art/late")});
  EXPECT_EQ(index_.WatchCoverage().unwatchedFolders, 0u);
  // Most of the index removed: it is renumbered, and the watches still
  // tell which folder changed.
  fs::remove_all(P("docs/bulk"));
  EXPECT_EQ(Answer("f1", &foldersRead), std::vector<std::string>{});
  tree_.Make({"docs/after.pdf", "art/late/inner.pdf"});
  EXPECT_EQ(Answer("after|inner", &foldersRead),
            (std::vector<std::string>{P("art/late/inner.pdf"), P("docs/after.pdf")}));
  EXPECT_EQ(foldersRead, 0u);
}

TEST_F(LiveIndexTest, ARootReplacedByAnotherFolderIsReadAgain) {
  Start();
  fs::rename(tree_.root(), tree_.root() + "-old");
  fs::create_directory(tree_.root());
  tree_.Make({"fresh.pdf"});
  std::size_t foldersRead = 0;
  EXPECT_EQ(Answer("pdf|ai", &foldersRead), std::vector<std::string>{P("fresh.pdf")});
  fs::remove_all(tree_.root());
  fs::rename(tree_.root() + "-old", tree_.root());
}

TEST_F(LiveIndexTest, RemoteRootsAreCheckedByTheirTimes) {
  index_.SetRemoteCheck([](const std::string&) { return true; });
  Start();
  EXPECT_EQ(index_.WatchCoverage().remoteRoots, 1u);
  tree_.Make({"docs/deep/new.pdf"});
  std::size_t foldersRead = 0;
  EXPECT_EQ(Answer("new", &foldersRead), std::vector<std::string>{P("docs/deep/new.pdf")});
  EXPECT_GE(foldersRead, 1u);
  fs::remove(P("docs/deep/new.pdf"));
  EXPECT_EQ(Answer("new", &foldersRead), std::vector<std::string>{});
}

TEST_F(LiveIndexTest, FoldersBeyondTheWatchLimitAreCheckedByTheirTimes) {
  watch_.SetLimit(2);
  Start();
  EXPECT_EQ(index_.WatchCoverage().unwatchedFolders, 2u);  // of root, docs, docs/deep, art
  const std::vector<std::string> made = {"new.pdf", "docs/new.pdf", "docs/deep/new.pdf", "art/new.pdf"};
  tree_.Make(made);
  std::size_t foldersRead = 0;
  EXPECT_EQ(Answer("new", &foldersRead),
            (std::vector<std::string>{P("art/new.pdf"), P("docs/deep/new.pdf"), P("docs/new.pdf"), P("new.pdf")}));
  for (const std::string& file : made) fs::remove(P(file));
  EXPECT_EQ(Answer("new", &foldersRead), std::vector<std::string>{});
}

TEST_F(LiveIndexTest, AQueueOverflowIsCaughtUpByTimes) {
  Start();
  // More events than the kernel queues (16384 by default) while nobody reads.
  std::vector<std::string> many;
  for (int i = 0; i < 20000; ++i) many.push_back("docs/bulk/f" + std::to_string(i));
  tree_.Make(many);
  tree_.Make({"art/after.pdf"});
  fs::remove(P("docs/a.pdf"));
  std::size_t foldersRead = 0;
  EXPECT_EQ(Answer("after.pdf|a.pdf", &foldersRead), std::vector<std::string>{P("art/after.pdf")});
  EXPECT_EQ(Answer("f19999", &foldersRead), std::vector<std::string>{P("docs/bulk/f19999")});
  EXPECT_EQ(index_.EntryCount(), 20000u + 7u);
}

// A chain of folders longer than one path may be (4,096 bytes), made and
// removed through descriptors, since no call taking a path reaches its end.
class DeepChain {
 public:
  DeepChain(const std::string& root, int levels, std::size_t nameLength) : path_(root) {
    fds_.push_back(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < levels; ++i) {
      names_.push_back(std::to_string(i) + std::string(nameLength, 'd'));
      ::mkdirat(fds_.back(), names_.back().c_str(), 0755);
      fds_.push_back(::openat(fds_.back(), names_.back().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      path_ += "/" + names_.back();
    }
  }
  ~DeepChain() {
    for (const std::string& file : files_) ::unlinkat(fds_.back(), file.c_str(), 0);
    for (std::size_t i = names_.size(); i-- > 0;) {
      ::close(fds_[i + 1]);
      ::unlinkat(fds_[i], names_[i].c_str(), AT_REMOVEDIR);
    }
    ::close(fds_[0]);
  }
  DeepChain(const DeepChain&) = delete;
  DeepChain& operator=(const DeepChain&) = delete;

  // An empty file at the bottom; its full path.
  std::string MakeFile(const std::string& name) {
    ::close(::openat(fds_.back(), name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    files_.push_back(name);
    return path_ + "/" + name;
  }

 private:
  std::string path_;
  std::vector<std::string> names_;
  std::vector<int> fds_;
  std::vector<std::string> files_;
};

TEST(NameIndexTest, DocumentsDeeperThanAPathMayBeLongAreFoundAndKeptCurrent) {
  testing::TempTree tree;
  // More levels than the crawl holds descriptors for, and some 7,300 bytes.
  DeepChain chain(tree.root(), 70, 100);
  const std::string bottom = chain.MakeFile("bottom.pdf");
  ASSERT_GT(bottom.size(), 4096u);
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  EXPECT_EQ(Find(index, "bottom.pdf"), std::vector<std::string>{bottom});

  const std::string later = chain.MakeFile("later.pdf");
  index.Refresh();
  EXPECT_EQ(Find(index, "later.pdf"), std::vector<std::string>{later});

  FolderWatch watch;
  index.Watch(&watch);
  EXPECT_EQ(index.WatchCoverage().unwatchedFolders, 0u);
  const std::string live = chain.MakeFile("live.pdf");
  index.CatchUp();
  EXPECT_EQ(Find(index, "live.pdf"), std::vector<std::string>{live});
}

TEST(NameIndexTest, UnreadableFoldersUnderARootAreListedAndReadOnceTheyOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  testing::TempTree tree;
  tree.Make({"a/secret/x.pdf", "a/open/y.pdf"});
  fs::permissions(tree.Path("a/secret"), fs::perms::none);
  NameIndex index(NormalizeRoots({tree.root()}), false);
  index.Build();
  EXPECT_EQ(Find(index, "pdf|secret"), (std::vector<std::string>{tree.Path("a/open/y.pdf"), tree.Path("a/secret")}));
  fs::permissions(tree.Path("a/secret"), fs::perms::owner_all);
  index.Refresh();
  EXPECT_EQ(Find(index, "x.pdf"), std::vector<std::string>{tree.Path("a/secret/x.pdf")});
}

TEST(NameIndexTest, ARootThatIsASymbolicLinkIsFollowed) {
  testing::TempTree tree;
  tree.Make({"real/docs/a.pdf"});
  fs::create_directory_symlink(tree.Path("real"), tree.Path("link"));
  const std::string link = tree.Path("link");
  NameIndex index(NormalizeRoots({link}), false);
  index.Build();
  EXPECT_EQ(Find(index, "a.pdf"), std::vector<std::string>{link + "/docs/a.pdf"});
  tree.Make({"real/docs/b.pdf"});
  index.Refresh();
  EXPECT_EQ(Find(index, "b.pdf"), std::vector<std::string>{link + "/docs/b.pdf"});
  FolderWatch watch;
  index.Watch(&watch);
  tree.Make({"real/c.pdf"});
  index.CatchUp();
  EXPECT_EQ(Find(index, "c.pdf"), std::vector<std::string>{link + "/c.pdf"});
}

}  // namespace
}  // namespace glimpses

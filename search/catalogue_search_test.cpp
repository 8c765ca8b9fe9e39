// Searching what documents hold, through the search service as the window
// and the command line use it, with a reader that gives known metadata.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "search/document_filter.h"
#include "search/search_service.h"
#include "search/test_tree.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

DocumentMetadata Illustrator() {
  DocumentMetadata m;
  m.kind = DocumentKind::kIllustrator;
  m.application = "Illustrator";
  m.version = "CC 2017";
  m.creatorTool = "Adobe Illustrator CC 2017 (Macintosh)";
  m.title = "Spring Poster";
  m.authors = {"Jürgen Über"};
  m.pages = 1;
  m.fonts = {{"MyriadPro-Regular", "Myriad Pro", "Regular", "Open Type", "MyriadPro-Regular.otf"},
             {"HelveticaNeue-Bold", "Helvetica Neue", "Bold", "TrueType", ""}};
  m.swatches = {"PANTONE 485 C", "Paper"};
  m.plates = {"Cyan", "Magenta", "Yellow", "Black"};
  m.links = {{"/Volumes/Work/logo.ai", "xmp.did:01"}, {"C:\\Art\\photo 1.jpg", ""}};
  m.hasThumbnail = true;
  return m;
}

DocumentMetadata InDesign() {
  DocumentMetadata m;
  m.kind = DocumentKind::kInDesign;
  m.application = "InDesign";
  m.version = "CS2 (4.0)";
  m.pages = 12;
  m.fonts = {{"Minion-Regular", "Minion", "Regular", "Type 1", ""}};
  m.links = {{"file:///srv/art/logo.ai", ""}, {"/srv/art/map.pdf", ""}};
  m.hasThumbnail = true;
  return m;
}

DocumentMetadata Pdf() {
  DocumentMetadata m;
  m.kind = DocumentKind::kPdf;
  m.version = "1.6";
  m.pages = 3;
  return m;
}

// The metadata each test document holds, by name; counts the reads.
class Library {
 public:
  Library() { holdings_ = {{"poster.ai", Illustrator()}, {"brochure.indd", InDesign()}, {"report.pdf", Pdf()}}; }
  MetadataReader Reader() {
    return [this](const std::string& path) -> std::optional<DocumentMetadata> {
      const std::string name = fs::path(path).filename().string();
      std::lock_guard lock(mutex_);
      ++reads_[name];
      const auto it = holdings_.find(name);
      if (it == holdings_.end()) return std::nullopt;
      return it->second;
    };
  }
  void Set(const std::string& name, DocumentMetadata metadata) {
    std::lock_guard lock(mutex_);
    holdings_[name] = std::move(metadata);
  }
  int Reads(const std::string& name) {
    std::lock_guard lock(mutex_);
    return reads_[name];
  }
  int AllReads() {
    std::lock_guard lock(mutex_);
    int all = 0;
    for (const auto& [name, count] : reads_) all += count;
    return all;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, DocumentMetadata> holdings_;
  std::map<std::string, int> reads_;
};

struct Answer {
  std::set<std::string> names;
  std::size_t pending = 0;
  std::string error;
  bool operator==(const Answer&) const = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "{";
  for (const std::string& name : answer.names) *out << name << " ";
  *out << "} pending " << answer.pending;
  if (!answer.error.empty()) *out << " error: " << answer.error;
}

Answer Ask(SearchService& service, const std::string& text) {
  const RowsAnswer rows = service.QueryRows(text, IsListedDocument);
  if (!rows) return {{}, 0, "no answer"};
  Answer answer{{}, rows->pending(), rows->error()};
  const RowsRead read = rows->Read(0, rows->size(), RowsWait::kMayWait);
  for (const SearchResult& result : read.rows) answer.names.insert(result.fileName);
  return answer;
}

bool Fill(SearchService& service, std::string* error = nullptr) {
  std::string ignored;
  return service.FillCatalogue(std::nullopt, {}, error != nullptr ? error : &ignored);
}

// Polls `done` for up to a minute: the background filler has no end to wait
// for, and its threads run at idle priority, so other tests running beside
// this one on a busy machine can hold them off for seconds.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 6000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class CatalogueSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Make({"work/poster.ai", "work/brochure.indd", "work/report.pdf", "work/notes.txt", "work/blank.eps"});
    tree_.Age();
    options_.roots = {tree_.root()};
    options_.cacheDir = cache_.Path("glimpses");
    options_.metadataReader = library_.Reader();
  }
  std::string CatalogueFile() const { return options_.cacheDir + "/catalogue.sqlite"; }

  ScratchFolder tree_;
  ScratchFolder cache_;
  Library library_;
  SearchOptions options_;
};

TEST_F(CatalogueSearchTest, MetadataTermsCombineWithTheRestOfTheLanguage) {
  auto service = EnsureSearchServiceRunning(options_);
  ASSERT_TRUE(Fill(*service));
  const std::set<std::string> all = {"poster.ai", "brochure.indd", "report.pdf", "blank.eps"};
  const std::pair<const char*, std::set<std::string>> cases[] = {
      {"font:helvetica", {"poster.ai"}},              // a family
      {"font:minion-regular", {"brochure.indd"}},     // a PostScript name
      {"font:MYRIAD*", {"poster.ai"}},                // the whole text, with a wildcard
      {"font:*pro", {"poster.ai"}},                   // "myriad pro", not "myriadpro-regular"
      {"font:\"open type\"", {}},                     // a font's type is not searched
      {"font:a", {"poster.ai", "brochure.indd"}},     // shorter than the trigram index takes
      {"creator:\"illustrator cc\"", {"poster.ai"}},  // application and version
      {"creator:macintosh", {"poster.ai"}},           // the creator tool as stored
      {"creator:indesign|creator:1.6", {"brochure.indd", "report.pdf"}},
      {"title:spring", {"poster.ai"}},
      {"author:über", {"poster.ai"}},  // case folded beyond ASCII
      {"swatch:\"pantone 485\"", {"poster.ai"}},
      {"plate:magenta", {"poster.ai"}},
      {"links:logo.ai", {"poster.ai", "brochure.indd"}},  // the name, whatever the folder or URL
      {"links:\"photo 1\"", {"poster.ai"}},               // a Windows path's name
      {"links:art", {}},                                  // folders are not names
      {"pages:12", {"brochure.indd"}},
      {"pages:>1", {"brochure.indd", "report.pdf"}},
      {"pages:<=3", {"poster.ai", "report.pdf"}},
      {"pages:2..12", {"brochure.indd", "report.pdf"}},
      {"has:thumbnail", {"poster.ai", "brochure.indd"}},
      {"!has:thumbnail", {"report.pdf", "blank.eps"}},  // blank.eps could not be read: it holds nothing
      {"!font:helvetica", {"brochure.indd", "report.pdf", "blank.eps"}},
      {"r font:minion|pages:3", {"brochure.indd", "report.pdf"}},
      {"ext:ai;pdf !links:logo", {"report.pdf"}},
      {"<poster|report> has:thumbnail", {"poster.ai"}},
      {"size:<10 links:map", {"brochure.indd"}},
      {"", all},
  };
  for (const auto& [text, names] : cases) EXPECT_EQ(Ask(*service, text), (Answer{names, 0, ""})) << text;

  const std::pair<const char*, const char*> malformed[] = {
      {"font:", "font: needs a text"},
      {"pages:many", "pages: needs a whole number"},
      {"pages:-1", "pages: needs a whole number"},
      {"has:preview", "has: knows thumbnail only"},
  };
  for (const auto& [text, error] : malformed) EXPECT_TRUE(Ask(*service, text).error.starts_with(error)) << text;
}

// Until the catalogue holds a document, a metadata term can neither take it
// nor leave it out: it is counted, not dropped, unless the rest of the
// query decides without it.
TEST_F(CatalogueSearchTest, DocumentsNotYetReadArePendingNotLeftOut) {
  options_.metadataReader = nullptr;
  auto unread = EnsureSearchServiceRunning(options_);
  const std::pair<const char*, Answer> before[] = {
      {"font:helvetica", {{}, 4, ""}},
      {"!font:helvetica", {{}, 4, ""}},
      {"poster font:helvetica", {{}, 1, ""}},
      {"font:helvetica|report", {{"report.pdf"}, 3, ""}},  // the name decides for one
      {"font:helvetica size:>1mb", {{}, 0, ""}},           // the size decides for all
      {"report", {{"report.pdf"}, 0, ""}},
  };
  for (const auto& [text, answer] : before) EXPECT_EQ(Ask(*unread, text), answer) << text;
  unread.reset();

  options_.metadataReader = library_.Reader();
  auto service = EnsureSearchServiceRunning(options_);
  std::string error;
  ASSERT_TRUE(service->FillCatalogue(std::vector<std::string>{tree_.Path("work/poster.ai")}, {}, &error)) << error;
  EXPECT_EQ(Ask(*service, "font:helvetica"), (Answer{{"poster.ai"}, 3, ""}));
  ASSERT_TRUE(Fill(*service));
  EXPECT_EQ(Ask(*service, "font:helvetica"), (Answer{{"poster.ai"}, 0, ""}));
}

// A restart reads only what changed since; a document gone leaves the
// catalogue with it.
TEST_F(CatalogueSearchTest, ARestartReadsOnlyWhatChanged) {
  ASSERT_TRUE(Fill(*EnsureSearchServiceRunning(options_)));
  EXPECT_EQ(library_.AllReads(), 4);

  DocumentMetadata changed = Pdf();
  changed.pages = 40;
  library_.Set("report.pdf", changed);
  std::ofstream(tree_.Path("work/report.pdf"), std::ios::app) << "more";
  fs::remove(tree_.Path("work/poster.ai"));
  auto service = EnsureSearchServiceRunning(options_);
  ASSERT_TRUE(Fill(*service));
  EXPECT_EQ(library_.AllReads(), 5);
  EXPECT_EQ(library_.Reads("report.pdf"), 2);
  EXPECT_EQ(Ask(*service, "pages:40"), (Answer{{"report.pdf"}, 0, ""}));
  EXPECT_EQ(Ask(*service, "font:helvetica|pages:3"), (Answer{{}, 0, ""}));
}

// The window's way: filled in the background, the documents on screen
// first, and kept up with the files as they come, go and are saved again.
TEST_F(CatalogueSearchTest, AServiceKeptCurrentFillsInTheBackgroundAndFollowsChanges) {
  // Readers that stop at these until the test lets them go: the document on
  // screen must not wait for them.
  std::atomic<bool> release{false};
  for (int i = 0; i < 8; ++i) tree_.Make({"work/slow" + std::to_string(i) + ".pdf"});
  options_.metadataReader = [&, read = library_.Reader()](const std::string& path) {
    if (path.find("/slow") != std::string::npos) Eventually([&] { return release.load(); });
    return read(path);
  };
  auto service = EnsureSearchServiceRunning(options_);
  service->ReadFirst({tree_.Path("work/brochure.indd")});
  service->KeepCurrent();
  EXPECT_TRUE(Eventually([&] { return Ask(*service, "font:minion").names.size() == 1; }));
  EXPECT_GT(Ask(*service, "font:helvetica").pending, 0u);
  EXPECT_TRUE(Eventually([&] {
    const FillProgress progress = service->CatalogueProgress();
    return progress.total > 8 && progress.done < progress.total;
  }));
  release = true;
  EXPECT_TRUE(Eventually([&] { return service->CatalogueProgress() == FillProgress{}; }));
  EXPECT_EQ(Ask(*service, "font:helvetica"), (Answer{{"poster.ai"}, 0, ""}));
  EXPECT_EQ(library_.Reads("brochure.indd"), 1);  // first, and not again with the rest

  // A new document, and one saved by writing a new file over its name.
  library_.Set("flyer.ai", Illustrator());
  tree_.Make({"work/flyer.ai"});
  DocumentMetadata resaved = InDesign();
  resaved.fonts = {{"Garamond", "Garamond", "", "", ""}};
  library_.Set("brochure.indd", resaved);
  tree_.Make({"saved.indd"});
  fs::rename(tree_.Path("saved.indd"), tree_.Path("work/brochure.indd"));
  EXPECT_TRUE(Eventually([&] {
    return Ask(*service, "font:helvetica|font:garamond") == Answer{{"poster.ai", "flyer.ai", "brochure.indd"}, 0, ""};
  }));
  fs::remove(tree_.Path("work/poster.ai"));
  EXPECT_TRUE(Eventually([&] { return Ask(*service, "font:helvetica") == Answer{{"flyer.ai"}, 0, ""}; }));
}

// The file as it can be found after a crash, another release or someone
// else's hands: the own catalogue is made anew from the documents, one
// given with --catalogue is refused, and a disk that fills up keeps the
// last good catalogue.
TEST_F(CatalogueSearchTest, DamagedOtherVersionAndFullDiskCatalogues) {
  ASSERT_TRUE(Fill(*EnsureSearchServiceRunning(options_)));
  std::string good;
  {
    std::ifstream in(CatalogueFile(), std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(good.size(), 1024u);
  auto patched = [&](std::size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;    // what the file holds
    const char* refusal;  // why --catalogue refuses it; null: it answers
  };
  const Case cases[] = {
      {"empty", "", "not a catalogue"},
      {"truncated", good.substr(0, good.size() / 2), "damaged"},
      {"pages overwritten", good.substr(0, 4096) + std::string(good.size() - 4096, '\x5a'), "damaged"},
      {"garbage", std::string(good.size(), 'x'), "not a catalogue"},
      {"another version", patched(63, '\x09'), "a catalogue of another version"},  // user_version
      {"another program's", patched(71, 'X'), "not a catalogue"},                  // application_id
      {"good", good, nullptr},
  };
  const Answer whole{{"poster.ai"}, 0, ""};
  for (const Case& c : cases) {
    std::ofstream(CatalogueFile(), std::ios::binary | std::ios::trunc).write(c.bytes.data(), c.bytes.size());
    SearchOptions given = options_;
    given.catalogueFile = CatalogueFile();
    const Answer answer = Ask(*EnsureSearchServiceRunning(given), "font:helvetica");
    if (c.refusal == nullptr) {
      EXPECT_EQ(answer, whole) << c.what;
    } else {
      EXPECT_NE(answer.error.find(c.refusal), std::string::npos) << c.what << ": " << answer.error;
    }
    auto own = EnsureSearchServiceRunning(options_);
    EXPECT_EQ(Ask(*own, "font:helvetica"), c.refusal == nullptr ? whole : (Answer{{}, 4, ""})) << c.what;
    ASSERT_TRUE(Fill(*own)) << c.what;
    EXPECT_EQ(Ask(*own, "font:helvetica"), whole) << c.what;
  }

  // A full disk: the write that does not fit leaves the catalogue as it was.
  library_.Set("poster.ai", InDesign());
  std::ofstream(tree_.Path("work/poster.ai"), std::ios::app) << "saved again";
  tree_.Make({"work/new.pdf"});
  // Files may not grow past 8 KiB: the write-ahead log takes one page.
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small{8192, limit.rlim_max};
  std::string error;
  {
    auto service = EnsureSearchServiceRunning(options_);
    Ask(*service, "font:x");  // the index built and the catalogue open before the limit
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool filled = Fill(*service, &error);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(filled);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Ask(*service, "font:helvetica"), (Answer{{"poster.ai"}, 1, ""}));
  }
  std::signal(SIGXFSZ, oldHandler);
  auto service = EnsureSearchServiceRunning(options_);
  EXPECT_EQ(Ask(*service, "font:helvetica"), (Answer{{"poster.ai"}, 1, ""}));
  ASSERT_TRUE(Fill(*service));
  EXPECT_EQ(Ask(*service, "font:helvetica|font:minion"), (Answer{{"brochure.indd", "poster.ai"}, 0, ""}));
}

}  // namespace
}  // namespace glimpses

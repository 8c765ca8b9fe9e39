#include "export/export.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "base/file_util.h"
#include "extract/image.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// Answers every query with a fixed list (or with no answer at all) and
// remembers what it was asked.
class FixedSearchService : public SearchService {
 public:
  explicit FixedSearchService(SearchAnswer answer) : answer_(std::move(answer)) {}
  SearchAnswer Query(std::string_view text) override {
    std::lock_guard lock(mutex_);
    queries_.emplace_back(text);
    return answer_;
  }
  bool IsIndexing() const override { return false; }
  std::vector<std::string> Queries() {
    std::lock_guard lock(mutex_);
    return queries_;
  }

 private:
  SearchAnswer answer_;
  std::mutex mutex_;
  std::vector<std::string> queries_;
};

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes XmpDocument(const Bytes& jpeg, DocumentKind kind = DocumentKind::kPdf) {
  AdobeSampleOptions options;
  options.kind = kind;
  return BuildAdobeDocument(jpeg, options);
}

Bytes CorelZipDocumentBytes(const std::string& scratch, int width, int height) {
  auto png = SamplePngFile(width, height);
  EXPECT_TRUE(png.has_value());
  EXPECT_TRUE(WriteCorelZip(scratch, {{"previews/thumbnail.png", png.value_or(Bytes{})}}));
  auto bytes = ReadWholeFile(scratch, 1 << 24);
  fs::remove(scratch);
  return bytes.value_or(Bytes{});
}

Bytes CorelRiffDocument(int width, int height) {
  return BuildCorelRiff(1200, {{"DISP", SampleDispData(width, height, 24), std::nullopt}});
}

struct PngSize {
  int width, height;
};
using Expected = std::variant<Bytes, PngSize>;  // exact bytes, or a PNG of that size

class ExportTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    root_ = dir_.string();
    docs_ = root_ + "/docs";
    out_ = root_ + "/out";
    fs::create_directories(docs_);
  }

  SearchResult Put(const std::string& folder, const std::string& name, const Bytes& content) {
    fs::create_directories(docs_ + "/" + folder);
    SearchResult entry{name, docs_ + "/" + folder};
    EXPECT_TRUE(WriteFileAtomically(entry.FullPath(), content.data(), content.size()));
    return entry;
  }

  // Every entry of `folder`, hidden ones included, so that a left-over
  // temporary file shows.
  std::vector<std::string> Listing(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectFolderHolds(const std::map<std::string, Expected>& expected) const {
    std::vector<std::string> names;
    for (const auto& [name, unused] : expected) names.push_back(name);
    EXPECT_EQ(Listing(out_), names);
    for (const auto& [name, want] : expected) {
      const std::string path = out_ + "/" + name;
      if (const Bytes* bytes = std::get_if<Bytes>(&want)) {
        EXPECT_EQ(ReadWholeFile(path, 1 << 24), *bytes) << name;
      } else {
        auto data = ReadWholeFile(path, 1 << 24);
        ASSERT_TRUE(data && data->size() > 8) << name;
        EXPECT_EQ(SniffImageFormat(data->data(), data->size()), ImageFormat::kPng) << name;
        CImage image;
        ASSERT_EQ(image.LoadFromMemory(data->data(), data->size()), ImageStatus::kOk) << name;
        EXPECT_EQ(image.Width(), std::get<PngSize>(want).width) << name;
        EXPECT_EQ(image.Height(), std::get<PngSize>(want).height) << name;
      }
    }
  }

  // Every entry of `answer` exported by `jobs` workers into an empty out_.
  ExportResult ExportAfresh(const std::vector<SearchResult>& answer, int jobs) {
    fs::remove_all(out_);
    FixedSearchService service(answer);
    ExportOptions options;
    options.jobs = jobs;
    return ExportThumbnails(service, "", out_, options);
  }

  std::string root_, docs_, out_;
};

// Entries of all five kinds, some sharing a file name across folders, in
// the order a service would list them. The expected folder is what one
// document after another in this order leaves: the last picture of each
// output name.
TEST_F(ExportTest, WritesWhatAOneByOneExportInServiceOrderWouldLeave) {
  const Bytes jpegA = SampleJpeg(8, 8, 30), jpegB = SampleJpeg(9, 7, 90), jpegC = SampleJpeg(5, 5, 150),
              jpegD = SampleJpeg(6, 4, 200), jpegE = SampleJpeg(3, 3, 250), jpegF = SampleJpeg(4, 6, 10);
  std::vector<SearchResult> answer = {
      Put("a", "art.eps", XmpDocument(jpegA, DocumentKind::kEps)),
      Put("a", "cover.indd", XmpDocument(jpegD, DocumentKind::kInDesign)),
      Put("a", "empty.ai", BuildDocumentWithoutThumbnail(DocumentKind::kIllustrator, 0)),
      Put("a", "logo.ai", BuildHexPreviewAi(7, 5, true)),                   // leaves logo.ai_T.png ...
      Put("b", "logo.ai", XmpDocument(jpegB, DocumentKind::kIllustrator)),  // ... and this logo.ai_T.jpg: both stay
      Put("a", "mixed.cdr", CorelZipDocumentBytes(root_ + "/scratch.zip", 12, 9)),
      Put("b", "mixed.cdr", CorelRiffDocument(5, 7)),             // replaces the 12x9 one
      Put("c", "mixed.cdr", AsBytes("PK\3\4 not really a zip")),  // writes nothing, keeps 5x7
      Put("a", "notes.txt", XmpDocument(jpegC)),                  // not a document kind: no picture
      Put("a", "Odd.CDr", CorelRiffDocument(3, 4)),
      Put("b", "odd.cdR", CorelRiffDocument(4, 3)),
      Put("a", "plan.pdf", XmpDocument(jpegA)),
      Put("b", "plan.pdf", XmpDocument(jpegC)),                                    // replaces a's
      Put("c", "plan.pdf", BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0)),  // keeps b's
      Put("a", "sketch.AI", BuildHexPreviewAi(2, 3, false)),
      Put("a", "设计 图 1.pdf", XmpDocument(jpegE)),
      Put("b", "设计 图 1.pdf", XmpDocument(jpegF)),
      {"gone.pdf", docs_ + "/a"},  // listed, but no longer on disk
  };
  fs::create_directories(docs_ + "/a/folder.pdf");
  answer.push_back({"folder.pdf", docs_ + "/a"});

  const std::map<std::string, Expected> expected = {
      {"art.eps_T.jpg", jpegA},         {"cover.indd_T.jpg", jpegD},        {"logo.ai_T.jpg", jpegB},
      {"logo.ai_T.png", PngSize{7, 5}}, {"mixed.cdr_T.png", PngSize{5, 7}}, {"Odd.CDr_T.png", PngSize{3, 4}},
      {"odd.cdR_T.png", PngSize{4, 3}}, {"plan.pdf_T.jpg", jpegC},          {"sketch.AI_T.png", PngSize{2, 3}},
      {"设计 图 1.pdf_T.jpg", jpegF},
  };

  for (int jobs : {1, 2, 5}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    fs::remove_all(out_);
    FixedSearchService service(answer);
    ExportOptions options;
    options.jobs = jobs;
    ExportResult result = ExportThumbnails(service, "plan logo", out_, options);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_TRUE(result.answered);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(service.Queries(), std::vector<std::string>{"plan logo"});
    // notes.txt and folder.pdf are offered but no documents; gone.pdf failed.
    EXPECT_EQ(result.entries, static_cast<int>(answer.size()));
    EXPECT_EQ(result.documents, static_cast<int>(answer.size()) - 2);
    EXPECT_EQ(result.picturesWritten, 13);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.failures, std::vector<std::string>{docs_ + "/a/gone.pdf: vanished after the search"});
    EXPECT_EQ(result.withoutThumbnail, static_cast<int>(answer.size()) - 2 - 13 - 1);
    ExpectFolderHolds(expected);
  }
}

// The same documents in the opposite order: now the other picture of each
// shared name must stay.
TEST_F(ExportTest, TheLastOfSameNamedDocumentsWinsWhateverTheOrder) {
  const Bytes first = SampleJpeg(4, 4, 40), second = SampleJpeg(4, 4, 220);
  ASSERT_NE(first, second);
  std::vector<SearchResult> forward;
  std::map<std::string, Expected> lastForward, lastBackward;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "doc" + std::to_string(i) + ".pdf";
    forward.push_back(Put("x", name, XmpDocument(first)));
    forward.push_back(Put("y", name, XmpDocument(second)));
    lastForward[name + "_T.jpg"] = second;
    lastBackward[name + "_T.jpg"] = first;
  }
  std::vector<SearchResult> backward(forward.rbegin(), forward.rend());
  for (int jobs : {1, 2, 4}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    for (const auto& [order, expected] : {std::pair{forward, lastForward}, std::pair{backward, lastBackward}}) {
      fs::remove_all(out_);
      FixedSearchService service(order);
      ExportOptions options;
      options.jobs = jobs;
      ASSERT_TRUE(ExportThumbnails(service, "doc", out_, options).ok());
      ExpectFolderHolds(expected);
    }
  }
}

TEST_F(ExportTest, ProgressCountsEveryDocumentOnceUpToTheTotal) {
  std::vector<SearchResult> answer;
  const Bytes jpeg = SampleJpeg(4, 4, 99);
  for (int i = 0; i < 30; ++i) answer.push_back(Put("p", "p" + std::to_string(i) + ".ai", XmpDocument(jpeg)));
  FixedSearchService service(answer);
  std::vector<std::pair<int, int>> calls;  // the calls never overlap, so no lock
  ExportOptions options;
  options.jobs = 3;
  options.progress = [&calls](int done, int total) { calls.emplace_back(done, total); };
  ExportResult result = ExportThumbnails(service, "p", out_, options);
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(calls.size(), 31u);
  for (int i = 0; i <= 30; ++i) EXPECT_EQ(calls[i], std::make_pair(i, 30));
}

TEST_F(ExportTest, CancellingStopsEarlyAndLeavesOnlyWholePictures) {
  std::vector<SearchResult> answer;
  std::map<std::string, Bytes> pictureOf;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "c" + std::to_string(i) + ".pdf";
    pictureOf[name + "_T.jpg"] = SampleJpeg(16 + i % 7, 16, i);
    answer.push_back(Put("c", name, XmpDocument(pictureOf[name + "_T.jpg"])));
  }
  for (int jobs : {1, 2}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    fs::remove_all(out_);
    FixedSearchService service(answer);
    std::stop_source stop;
    ExportOptions options;
    options.jobs = jobs;
    options.stopToken = stop.get_token();
    options.progress = [&stop](int done, int) {
      if (done == 10) stop.request_stop();
    };
    ExportResult result = ExportThumbnails(service, "c", out_, options);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.cancelled);
    EXPECT_GE(result.picturesWritten, 10);
    EXPECT_LE(result.picturesWritten, 10 + jobs);
    EXPECT_EQ(result.withoutThumbnail, 0);
    std::vector<std::string> names = Listing(out_);
    EXPECT_EQ(static_cast<int>(names.size()), result.picturesWritten);
    for (const std::string& name : names) {
      ASSERT_TRUE(pictureOf.count(name)) << "unexpected file " << name;
      EXPECT_EQ(ReadWholeFile(out_ + "/" + name, 1 << 20), pictureOf[name]) << name;
    }
  }
}

TEST_F(ExportTest, AStopRequestedBeforehandWritesNoPicture) {
  FixedSearchService service(std::vector<SearchResult>{Put("s", "s.pdf", XmpDocument(SampleJpeg(4, 4, 1)))});
  std::stop_source stop;
  stop.request_stop();
  ExportOptions options;
  options.stopToken = stop.get_token();
  ExportResult result = ExportThumbnails(service, "s", out_, options);
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.picturesWritten, 0);
  EXPECT_TRUE(Listing(out_).empty());
}

TEST_F(ExportTest, UnusableOutputFoldersAreRefusedAndNothingIsWritten) {
  const SearchResult document = Put("u", "u.pdf", XmpDocument(SampleJpeg(4, 4, 1)));
  const std::string file = root_ + "/file.txt";
  ASSERT_TRUE(WriteFileAtomically(file, "user data", 9));
  const std::string tooLong(300, 'n');
  struct Case {
    const char* what;
    std::string folder;
    ExportError kind;
  };
  const Case cases[] = {
      {"empty", "", ExportError::kNoOutputFolder},
      {"under a file", file + "/out", ExportError::kOutputFolderUnusable},
      {"deep under a file", file + "/a/b", ExportError::kOutputFolderUnusable},
      {"a file itself", file, ExportError::kOutputFolderUnusable},
      // The parents it could make are taken back when the last one fails.
      {"name too long", root_ + "/new1/new2/" + tooLong, ExportError::kOutputFolderUnusable},
  };
  const std::vector<std::string> before = Listing(root_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FixedSearchService service(std::vector<SearchResult>{document});
    ExportResult result = ExportThumbnails(service, "u", c.folder);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.errorKind, c.kind);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(result.picturesWritten, 0);
    EXPECT_EQ(Listing(root_), before);
    EXPECT_EQ(ReadWholeFile(file, 100), AsBytes("user data"));
  }
}

TEST_F(ExportTest, ReadOnlyFolderIsRefusedWhenPermissionsApply) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  fs::create_directories(out_);
  ASSERT_EQ(chmod(out_.c_str(), 0500), 0);
  FixedSearchService service(std::vector<SearchResult>{Put("r", "r.pdf", XmpDocument(SampleJpeg(4, 4, 1)))});
  ExportResult result = ExportThumbnails(service, "r", out_);
  chmod(out_.c_str(), 0700);
  EXPECT_EQ(result.errorKind, ExportError::kOutputFolderUnusable);
  EXPECT_TRUE(Listing(out_).empty());
}

TEST_F(ExportTest, NoAnswerCreatesNoFolder) {
  FixedSearchService service(std::nullopt);
  ExportResult result = ExportThumbnails(service, "x", out_ + "/deeper");
  EXPECT_FALSE(result.answered);
  EXPECT_EQ(result.errorKind, ExportError::kNoAnswer);
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(ExportTest, AnEmptyAnswerStillCreatesTheFolderWithItsParents) {
  FixedSearchService service(std::vector<SearchResult>{});
  const std::string deep = out_ + "/a/b/c/";
  ExportResult result = ExportThumbnails(service, "", deep);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_TRUE(result.answered);
  EXPECT_EQ(result.documents, 0);
  EXPECT_FALSE(result.cancelled);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(Listing(deep).empty());
}

// An existing folder is used: pictures of the same names are replaced, the
// user's other files (even ones named like an intermediate bitmap) are kept.
TEST_F(ExportTest, AnExistingFolderIsUsedAndOnlySameNamedPicturesReplaced) {
  fs::create_directories(out_);
  ASSERT_TRUE(WriteFileAtomically(out_ + "/plan.pdf_T.jpg", "old", 3));
  ASSERT_TRUE(WriteFileAtomically(out_ + "/plan.cdr_T.bmp", "mine", 4));
  ASSERT_TRUE(WriteFileAtomically(out_ + "/tmpBmp.bmp", "mine too", 8));
  const Bytes jpeg = SampleJpeg(5, 5, 77);
  FixedSearchService service(std::vector<SearchResult>{Put("e", "plan.pdf", XmpDocument(jpeg)),
                                                       Put("e", "plan.cdr", CorelRiffDocument(6, 2)),
                                                       Put("e", "hex.ai", BuildHexPreviewAi(3, 3, true))});
  ASSERT_TRUE(ExportThumbnails(service, "plan", out_).ok());
  ExpectFolderHolds({{"hex.ai_T.png", PngSize{3, 3}},
                     {"plan.cdr_T.bmp", AsBytes("mine")},
                     {"plan.cdr_T.png", PngSize{6, 2}},
                     {"plan.pdf_T.jpg", jpeg},
                     {"tmpBmp.bmp", AsBytes("mine too")}});
}

// Only names the extractors accept count as documents, though every entry
// is offered to them: 4 documents among 15 entries report 4, not 15.
TEST_F(ExportTest, CountsOnlyEntriesTheExtractorsAccept) {
  const Bytes jpeg = SampleJpeg(4, 4, 5);
  std::vector<SearchResult> answer = {
      Put("h", "plan.pdf", XmpDocument(jpeg)), Put("h", "old.cdR", CorelRiffDocument(3, 3)),
      Put("h", "blank.ai", BuildDocumentWithoutThumbnail(DocumentKind::kIllustrator, 0)),
      Put("h", "xmp inside.txt", XmpDocument(jpeg)), Put("h", "plan.Pdf", XmpDocument(jpeg)),
      Put("h", "README", AsBytes("text")),
      // The name test reads the whole path, so a bare extension in a folder passes.
      Put("h", ".pdf", XmpDocument(jpeg))};
  // A line break makes no document name, for every kind.
  for (const char* name : {"line\nbreak.ai", "line\rbreak.eps", "line\nbreak.indd", "line\nbreak.pdf"}) {
    answer.push_back(Put("h", name, XmpDocument(jpeg)));
  }
  answer.push_back(Put("h", "line\nbreak.cdr", CorelRiffDocument(3, 3)));
  fs::create_directories(docs_ + "/h/folder.ai");
  answer.push_back({"folder.ai", docs_ + "/h"});
  answer.push_back({"h", docs_});
  answer.push_back({"docs", root_});
  FixedSearchService service(answer);
  ExportResult result = ExportThumbnails(service, "", out_);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.entries, 15);
  EXPECT_EQ(result.documents, 4);
  EXPECT_EQ(result.picturesWritten, 3);
  EXPECT_EQ(result.withoutThumbnail, 1);
  EXPECT_EQ(result.failed, 0);
  ExpectFolderHolds({{"plan.pdf_T.jpg", jpeg}, {"old.cdR_T.png", PngSize{3, 3}}, {".pdf_T.jpg", jpeg}});
}

// Names other systems and archives leave: every picture lands under its
// document's exact bytes; one whose name would pass 255 bytes cannot be
// written and is named as failed, and the export goes on.
TEST_F(ExportTest, HostileNamesGetPicturesUnderTheirExactNames) {
  const Bytes jpeg = SampleJpeg(4, 4, 8);
  const std::string longest(249 - 4, 'n');  // 249 bytes with ".pdf"; 255 with "_T.jpg"
  const std::string tooLong(250 - 4, 'l');
  std::vector<SearchResult> answer;
  std::map<std::string, Expected> expected;
  for (const std::string& name :
       {std::string("caf\xe9 \xff.pdf"), std::string("tab\there.ai"), std::string("back\\slash.eps"),
        std::string("-rf.pdf"), std::string("--help.ai"), std::string(" lead and trail .pdf "), longest + ".pdf"}) {
    answer.push_back(Put("\xfe folder", name, XmpDocument(jpeg)));
    if (name.back() != ' ') expected[name + "_T.jpg"] = jpeg;
  }
  answer.push_back(Put("\xfe folder", tooLong + ".pdf", XmpDocument(jpeg)));
  for (int jobs : {1, 3}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    ExportResult result = ExportAfresh(answer, jobs);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.documents, 7);  // " lead and trail .pdf " ends in a blank
    EXPECT_EQ(result.picturesWritten, 6);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.failures, std::vector<std::string>{docs_ + "/\xfe folder/" + tooLong +
                                                        ".pdf: the picture's name would be longer than 255 bytes"});
    ExpectFolderHolds(expected);
  }
}

// Between the query and the extraction a document vanishes, another is cut
// short, and the output folder is swapped for a file: each such document
// counts as failed, naming why, and the export goes on with the others.
TEST_F(ExportTest, DocumentsAndFolderThatChangeAfterTheQueryCountAsFailed) {
  const Bytes jpeg = SampleJpeg(8, 8, 12);
  const std::vector<SearchResult> answer = {
      Put("v", "a kept.pdf", XmpDocument(jpeg)), Put("v", "b vanishes.pdf", XmpDocument(jpeg)),
      Put("v", "c shrinks.pdf", XmpDocument(jpeg)), Put("v", "d kept.pdf", XmpDocument(jpeg))};
  FixedSearchService service(answer);
  ExportOptions options;
  options.jobs = 1;
  options.progress = [&](int done, int) {
    if (done != 0) return;
    fs::remove(answer[1].FullPath());
    fs::resize_file(answer[2].FullPath(), 100);
  };
  ExportResult result = ExportThumbnails(service, "", out_, options);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.picturesWritten, 2);
  EXPECT_EQ(result.withoutThumbnail, 0);
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.failures, (std::vector<std::string>{answer[1].FullPath() + ": vanished during the export",
                                                       answer[2].FullPath() + ": changed during the export"}));
  ExpectFolderHolds({{"a kept.pdf_T.jpg", jpeg}, {"d kept.pdf_T.jpg", jpeg}});

  // The folder turns into a file after the first picture: the rest fail.
  fs::remove_all(out_);
  FixedSearchService again(std::vector<SearchResult>{answer[0], answer[3]});
  const std::string moved = root_ + "/moved";
  options.progress = [&](int done, int) {
    if (done != 1) return;
    fs::rename(out_, moved);
    ASSERT_TRUE(WriteFileAtomically(out_, "user data", 9));
  };
  result = ExportThumbnails(again, "", out_, options);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.picturesWritten, 1);
  EXPECT_EQ(result.failures, std::vector<std::string>{answer[3].FullPath() + ": cannot write the picture: " + out_ +
                                                      "/d kept.pdf_T.jpg: Not a directory"});
  EXPECT_EQ(ReadWholeFile(out_, 100), AsBytes("user data"));
  EXPECT_EQ(Listing(moved), std::vector<std::string>{"a kept.pdf_T.jpg"});
  fs::remove(out_);
}

// A disk that fills up, stood in for by a limit on the size of any one file
// (so pictures above it cannot be written), in a child process since the
// limit holds for the whole process. The export stops at the first picture
// that does not fit; every picture left is whole, no temporary file stays.
TEST_F(ExportTest, AFullDiskStopsTheExportAndLeavesOnlyWholePictures) {
  constexpr rlim_t kLimit = 4096;
  std::vector<SearchResult> answer;
  std::map<std::string, Expected> small;
  for (int i = 0; i < 6; ++i) {
    const Bytes jpeg = SampleJpeg(8, 8, i);
    ASSERT_LT(jpeg.size(), kLimit);
    answer.push_back(Put("f", "s" + std::to_string(i) + ".pdf", XmpDocument(jpeg)));
    small["s" + std::to_string(i) + ".pdf_T.jpg"] = jpeg;
  }
  const Bytes big = SampleJpeg(600, 600, 1);
  ASSERT_GT(big.size(), kLimit);
  for (int i = 0; i < 3; ++i) answer.push_back(Put("f", "t" + std::to_string(i) + ".pdf", XmpDocument(big)));
  fs::create_directories(out_);

  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead of ending the process
    const rlimit limit{kLimit, kLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    FixedSearchService service(answer);
    ExportOptions options;
    options.jobs = 1;
    const ExportResult result = ExportThumbnails(service, "", out_, options);
    const int report[] = {static_cast<int>(result.errorKind), result.picturesWritten, result.failed};
    _exit(write(pipeFds[1], report, sizeof report) == sizeof report ? 0 : 1);
  }
  close(pipeFds[1]);
  int report[3] = {-1, -1, -1};
  const bool got = read(pipeFds[0], report, sizeof report) == sizeof report;
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(got && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(report[0], static_cast<int>(ExportError::kOutputFull));
  EXPECT_EQ(report[1], 6);
  EXPECT_EQ(report[2], 0);
  ExpectFolderHolds(small);
}

}  // namespace
}  // namespace glimpses

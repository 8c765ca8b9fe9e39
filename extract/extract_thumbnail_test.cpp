#include "extract/extract_thumbnail.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/file_handle.h"
#include "base/file_util.h"
#include "extract/adobe_thumbnail.h"
#include "extract/corel_thumbnail.h"
#include "extract/image.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// UTF-8 bytes from a u8 literal, whose type is char8_t in C++20.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// Tells whether anybody opened a file since the watch began. inotify queues
// the event inside the open call itself, so by the time the code under test
// returns, the answer is settled: no polling, nothing left to chance.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    watching_ = inotify_ && inotify_add_watch(inotify_.get(), path.c_str(), IN_OPEN) >= 0;
  }
  bool watching() const { return watching_; }
  bool Opened() const {
    alignas(inotify_event) char buffer[4096];
    return read(inotify_.get(), buffer, sizeof buffer) > 0;
  }

 private:
  UniqueFd inotify_;
  bool watching_ = false;
};

class FrontEndTest : public ScratchDirTest {
 protected:
  std::string WriteCdr(const std::string& name) const {
    Bytes doc =
        BuildCorelRiff(1300, {{"LIST", Bytes(7, 'x'), std::nullopt}, {"DISP", SampleDispData(10, 7, 8), std::nullopt}});
    std::string path = Path(name);
    EXPECT_TRUE(WriteFileAtomically(path, doc.data(), doc.size()));
    return path;
  }
};

void ExpectSamplePng(const std::string& path) {
  auto bytes = ReadWholeFile(path, 1 << 20);
  ASSERT_TRUE(bytes) << path;
  ASSERT_EQ(SniffImageFormat(bytes->data(), bytes->size()), ImageFormat::kPng);
  CImage image;
  ASSERT_EQ(image.LoadFromMemory(bytes->data(), bytes->size()), ImageStatus::kOk);
  ASSERT_EQ(image.Width(), 10);
  ASSERT_EQ(image.Height(), 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(ColourAt(image, x, y), SampleColour(x, y, 8));
  }
}

TEST_F(FrontEndTest, CorelDocumentIsLeftToTheCorelTry) {
  for (const char* name : {"plan.cdr", "plan.CDr", "plan.cdR"}) {
    SCOPED_TRACE(name);
    std::string doc = WriteCdr(name);
    std::string output = Path(std::string(name) + "_T.png");
    EXPECT_FALSE(ExtractAdobeThumbnail(doc, output));
    EXPECT_FALSE(FileExists(output));
    ASSERT_TRUE(ExtractThumbnail(doc, output));
    ExpectSamplePng(output);
    EXPECT_EQ(TryExtractThumbnail(doc, output).path, output);
  }
  // One picture per document, nothing else left behind.
  EXPECT_EQ(Names().size(), 6u);
}

TEST_F(FrontEndTest, AdobeTryOpensNoCorelDocument) {
  std::string doc = WriteCdr("watched.cdr");
  OpenWatch watch(doc);
  ASSERT_TRUE(watch.watching());
  EXPECT_FALSE(ExtractAdobeThumbnail(doc, Path("out.jpg")));
  EXPECT_FALSE(watch.Opened()) << "the Adobe try opened a CorelDRAW document";
}

TEST_F(FrontEndTest, NamesOfNeitherKindAreNotOpened) {
  for (const char* name : {"a.Pdf", "a.Ai", "a.aI", "a.cDr", "a.txt", "a.cdr.bak", "a.EPs"}) {
    std::string doc = WriteCdr(name);
    OpenWatch watch(doc);
    ASSERT_TRUE(watch.watching()) << name;
    EXPECT_FALSE(ExtractThumbnail(doc, Path("out.png"))) << name;
    EXPECT_FALSE(watch.Opened()) << name << " was opened";
    EXPECT_FALSE(FileExists(Path("out.png"))) << name;
  }
}

// A FIFO with no writer would block a reader's open for ever; the document
// must not be opened at all, which the watch tells without any waiting.
TEST_F(FrontEndTest, CorelTryDoesNotOpenSpecialFiles) {
  ASSERT_EQ(mkfifo(Path("pipe.cdr").c_str(), 0600), 0);
  OpenWatch watch(Path("pipe.cdr"));
  ASSERT_TRUE(watch.watching());
  EXPECT_FALSE(ExtractThumbnail(Path("pipe.cdr"), Path("out.png")));
  EXPECT_FALSE(watch.Opened());
  EXPECT_EQ(Names(), std::set<std::string>{"pipe.cdr"});
  // The watch does see an open of a FIFO: the test above can fail.
  UniqueFd reader = UniqueFd::Open(Path("pipe.cdr"), O_RDONLY | O_NONBLOCK);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(watch.Opened());
}

TEST_F(FrontEndTest, PathsWithChineseAndSpacesWorkEndToEnd) {
  std::string folder = Path(Utf8(u8"设计 稿 𝄞"));
  fs::create_directory(folder);
  Bytes doc = BuildCorelRiff(1200, {{"DISP", SampleDispData(10, 7, 8), std::nullopt}});
  std::string docPath = folder + Utf8(u8"/标志 logo.cdr");
  ASSERT_TRUE(WriteFileAtomically(docPath, doc.data(), doc.size()));

  ASSERT_TRUE(ExtractThumbnail(docPath, folder + Utf8(u8"/缩略 图.png")));
  ExpectSamplePng(folder + Utf8(u8"/缩略 图.png"));
  EXPECT_EQ(TryExtractThumbnailInto(folder, docPath, Utf8(u8"标志 logo.cdr")).path,
            folder + Utf8(u8"/标志 logo.cdr_T.png"));
  ExpectSamplePng(folder + Utf8(u8"/标志 logo.cdr_T.png"));
}

TEST_F(FrontEndTest, NothingWrittenMeansFalse) {
  Bytes empty;
  ASSERT_TRUE(WriteFileAtomically(Path("empty.cdr"), empty.data(), 0));
  ASSERT_TRUE(WriteFileAtomically(Path("empty.pdf"), empty.data(), 0));
  EXPECT_FALSE(ExtractThumbnail(Path("empty.cdr"), Path("out.png")));
  EXPECT_FALSE(ExtractThumbnail(Path("empty.pdf"), Path("out.png")));
  EXPECT_FALSE(ExtractThumbnail(Path("missing.cdr"), Path("out.png")));
  EXPECT_FALSE(TryExtractThumbnail(Path("empty.cdr"), Path("out.png")).written());
  EXPECT_EQ(Names(), (std::set<std::string>{"empty.cdr", "empty.pdf"}));
}

TEST_F(FrontEndTest, EveryFailureSaysWhy) {
  const std::string emptyXmp = "%PDF-1.7\n<xmpGImg:image>\n</xmpGImg:image>\n";
  Bytes garbledDisp = SampleDispData(10, 7, 8);
  garbledDisp.resize(20);
  const Bytes brokenCdr = BuildCorelRiff(1300, {{"DISP", garbledDisp, std::nullopt}});
  Write("empty value.pdf", emptyXmp);
  Write("garbled.cdr", brokenCdr);
  Write("notes.txt", "text");
  Write("blank.cdr", BuildCorelRiff(1300, {{"LIST", Bytes(7, 'x'), std::nullopt}}));
  WriteCdr("good.cdr");
  fs::create_directory(Path("folder.pdf"));
  struct Case {
    const char* document;
    const char* output;
    ExtractStatus status;
  } cases[] = {
      {"empty value.pdf", "out.jpg", ExtractStatus::kDamaged},
      {"garbled.cdr", "out.png", ExtractStatus::kDamaged},
      {"notes.txt", "out.png", ExtractStatus::kUnsupported},
      {"blank.cdr", "out.png", ExtractStatus::kNoPicture},
      {"missing.pdf", "out.jpg", ExtractStatus::kUnreadable},
      {"folder.pdf", "out.jpg", ExtractStatus::kUnreadable},
      {"good.cdr", "no/such/folder/out.png", ExtractStatus::kCannotWrite},
  };
  for (const Case& c : cases) {
    ExtractResult result = TryExtractThumbnail(Path(c.document), Path(c.output));
    EXPECT_EQ(result.status, c.status) << c.document << ": " << DescribeFailure(result);
    EXPECT_EQ(result.route, ExtractRoute::kNone) << c.document;
    EXPECT_FALSE(FileExists(Path("out.jpg")) || FileExists(Path("out.png"))) << c.document;
  }
  ExtractResult good = TryExtractThumbnail(Path("good.cdr"), Path("out.png"));
  EXPECT_EQ(good.route, ExtractRoute::kCorel);
  EXPECT_EQ(good.path, Path("out.png"));
}

}  // namespace
}  // namespace glimpses

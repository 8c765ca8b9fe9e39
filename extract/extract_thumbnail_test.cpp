#include "scratch_dir.h"
#include "extract_thumbnail.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "adobe_thumbnail.h"
#include "corel_samples.h"
#include "corel_thumbnail.h"
#include "file_util.h"
#include "image.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// UTF-8 bytes from a u8 literal, whose type is char8_t in C++20.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(TextConversionTest, EveryCharacterSurvivesTheRoundTrip) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  } cases[] = {
      {u"", ""},
      {u"plan.cdr", "plan.cdr"},
      {u"D:\\Thumbs缩略图", Utf8(u8"D:\\Thumbs缩略图")},
      {u"/home/设计 稿/标志 logo.cdr", Utf8(u8"/home/设计 稿/标志 logo.cdr")},
      {u"é ß Ω", "\xC3\xA9 \xC3\x9F \xCE\xA9"},
      {u"\U0001D11E", "\xF0\x9D\x84\x9E"},  // outside the BMP: a surrogate pair
      {u"\U0001F600a\U0010FFFF", "\xF0\x9F\x98\x80" "a\xF4\x8F\xBF\xBF"},
      {u"\uFFFD\uFEFF", "\xEF\xBF\xBD\xEF\xBB\xBF"},
      {std::u16string(1, u'\0') + u"x", std::string(1, '\0') + "x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideToAnsi(c.wide), c.narrow);
    EXPECT_EQ(AnsiToWide(c.narrow), c.wide) << c.narrow;
  }
}

TEST(TextConversionTest, MalformedWideTextBecomesReplacementCharacters) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  } cases[] = {
      {std::u16string(u"a") + char16_t(0xD800) + u"b", "a\xEF\xBF\xBD" "b"},   // lone high surrogate
      {std::u16string(u"a") + char16_t(0xDC00) + u"b", "a\xEF\xBF\xBD" "b"},   // lone low surrogate
      {std::u16string(u"a") + char16_t(0xD83D), "a\xEF\xBF\xBD"},               // cut at the end
      {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // reversed pair
  };
  for (const auto& c : cases) EXPECT_EQ(WideToAnsi(c.wide), c.narrow);
}

TEST(TextConversionTest, MalformedNarrowTextKeepsItsNeighbours) {
  for (std::string bad : {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xE7\xBC", "\xF4\x90\x80\x80", "\xF0\x9F\x98"}) {
    std::u16string wide = AnsiToWide("a" + bad + "b");
    ASSERT_GE(wide.size(), 3u) << bad;
    EXPECT_EQ(wide.front(), u'a');
    EXPECT_EQ(wide.back(), u'b');
    for (std::size_t i = 1; i + 1 < wide.size(); ++i) EXPECT_EQ(wide[i], 0xFFFD) << bad;
    // Whatever came in, what goes out again is well-formed.
    EXPECT_EQ(AnsiToWide(WideToAnsi(wide)), wide);
  }
}

// A FIFO that records whether anybody opened it for reading. A reader that
// opens it blocks until a writer appears, so the watcher plays the writer and
// lets such a reader see an empty file instead of hanging the test.
class WatchedFifo {
 public:
  explicit WatchedFifo(std::string path) : path_(std::move(path)) {
    created_ = mkfifo(path_.c_str(), 0666) == 0;
    watcher_ = std::thread([this] {
      while (!stop_) {
        int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
          opened_ = true;
          close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  ~WatchedFifo() { Stop(); }
  bool created() const { return created_; }
  // Stops watching; true when a reader opened the FIFO meanwhile.
  bool Stop() {
    stop_ = true;
    if (watcher_.joinable()) watcher_.join();
    return opened_;
  }

 private:
  std::string path_;
  bool created_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> opened_{false};
  std::thread watcher_;
};

class FrontEndTest : public ScratchDirTest {
 protected:
  std::string WriteCdr(const std::string& name) const {
    Bytes doc = BuildCorelRiff(1300, {{"LIST", Bytes(7, 'x'), std::nullopt}, {"DISP", SampleDispData(10, 7, 8), std::nullopt}});
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
    EXPECT_EQ(ExtractThumbnailFile(doc, output), output);
  }
  // One picture per document, nothing else left behind.
  EXPECT_EQ(Names().size(), 6u);
}

TEST_F(FrontEndTest, AdobeTryOpensNoCorelDocument) {
  WatchedFifo fifo(Path("watched.cdr"));
  ASSERT_TRUE(fifo.created());
  EXPECT_FALSE(ExtractAdobeThumbnail(Path("watched.cdr"), Path("out.jpg")));
  EXPECT_FALSE(fifo.Stop()) << "the Adobe try opened a CorelDRAW document";
}

TEST_F(FrontEndTest, NamesOfNeitherKindAreNotOpened) {
  for (const char* name : {"a.Pdf", "a.Ai", "a.aI", "a.cDr", "a.txt", "a.cdr.bak", "a.EPs"}) {
    WatchedFifo fifo(Path(name));
    ASSERT_TRUE(fifo.created()) << name;
    EXPECT_FALSE(ExtractThumbnail(Path(name), Path("out.png"))) << name;
    EXPECT_FALSE(fifo.Stop()) << name << " was opened";
    EXPECT_FALSE(FileExists(Path("out.png"))) << name;
  }
}

TEST_F(FrontEndTest, CorelTryDoesNotBlockOnSpecialFiles) {
  WatchedFifo fifo(Path("pipe.cdr"));
  ASSERT_TRUE(fifo.created());
  EXPECT_FALSE(ExtractThumbnail(Path("pipe.cdr"), Path("out.png")));
  EXPECT_FALSE(fifo.Stop());
  EXPECT_EQ(Names(), std::set<std::string>{"pipe.cdr"});
}

TEST_F(FrontEndTest, WidePathsWithChineseAndSpacesWorkEndToEnd) {
  std::string folder = Path(Utf8(u8"设计 稿 𝄞"));
  fs::create_directory(folder);
  Bytes doc = BuildCorelRiff(1200, {{"DISP", SampleDispData(10, 7, 8), std::nullopt}});
  std::string docPath = folder + Utf8(u8"/标志 logo.cdr");
  ASSERT_TRUE(WriteFileAtomically(docPath, doc.data(), doc.size()));

  std::u16string wideFolder = AnsiToWide(folder);
  ASSERT_TRUE(ExtractThumbnail(wideFolder + u"/标志 logo.cdr", wideFolder + u"/缩略 图.png"));
  ExpectSamplePng(folder + Utf8(u8"/缩略 图.png"));
  ASSERT_TRUE(ExtractCorelThumbnailW(wideFolder + u"/标志 logo.cdr", wideFolder + u"/标志 logo.cdr_T.png"));
  ExpectSamplePng(folder + Utf8(u8"/标志 logo.cdr_T.png"));
  EXPECT_FALSE(ExtractAdobeThumbnailW(wideFolder + u"/标志 logo.cdr", wideFolder + u"/x_T.jpg"));
}

TEST_F(FrontEndTest, NothingWrittenMeansFalse) {
  Bytes empty;
  ASSERT_TRUE(WriteFileAtomically(Path("empty.cdr"), empty.data(), 0));
  ASSERT_TRUE(WriteFileAtomically(Path("empty.pdf"), empty.data(), 0));
  EXPECT_FALSE(ExtractThumbnail(Path("empty.cdr"), Path("out.png")));
  EXPECT_FALSE(ExtractThumbnail(Path("empty.pdf"), Path("out.png")));
  EXPECT_FALSE(ExtractThumbnail(Path("missing.cdr"), Path("out.png")));
  EXPECT_FALSE(ExtractThumbnailFile(Path("empty.cdr"), Path("out.png")).has_value());
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

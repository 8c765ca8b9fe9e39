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

TEST_F(FrontEndTest, PathsWithChineseAndSpacesWorkEndToEnd) {
  std::string folder = Path(Utf8(u8"设计 稿 𝄞"));
  fs::create_directory(folder);
  Bytes doc = BuildCorelRiff(1200, {{"DISP", SampleDispData(10, 7, 8), std::nullopt}});
  std::string docPath = folder + Utf8(u8"/标志 logo.cdr");
  ASSERT_TRUE(WriteFileAtomically(docPath, doc.data(), doc.size()));

  ASSERT_TRUE(ExtractThumbnail(docPath, folder + Utf8(u8"/缩略 图.png")));
  ExpectSamplePng(folder + Utf8(u8"/缩略 图.png"));
  EXPECT_EQ(ExtractThumbnailInto(folder, docPath, Utf8(u8"标志 logo.cdr")), folder + Utf8(u8"/标志 logo.cdr_T.png"));
  ExpectSamplePng(folder + Utf8(u8"/标志 logo.cdr_T.png"));
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

}  // namespace
}  // namespace glimpses

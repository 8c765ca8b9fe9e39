#include "thumbcache/desktop_thumbnails.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/file_uri.h"
#include "base/file_util.h"
#include "extract/image_scale.h"
#include "extract/png_codec.h"
#include "samples/adobe_samples.h"
#include "samples/preview_samples.h"
#include "samples/scratch_dir.h"
#include "thumbcache/thumbnail_png.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

bool SamePixels(const CImage& a, const CImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel()) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(a.Width()) * a.BitsPerPixel() / 8;
  for (int y = 0; y < a.Height(); ++y) {
    if (!std::equal(a.Row(y), a.Row(y) + rowBytes, b.Row(y))) return false;
  }
  return true;
}

CImage Solid(int width, int height, std::uint8_t green) {
  CImage image;
  image.Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.Row(y)[x * 3 + 1] = green;
  }
  return image;
}

std::optional<DocumentStamp> StampNow(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return DocumentStamp{FileUri(path), st.st_mtim.tv_sec, st.st_size};
}

unsigned ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class DesktopThumbnailsTest : public ScratchDirTest {
 protected:
  // A PDF whose stored picture is 200 x 150, or one without a picture; both
  // 40,000 bytes, so that one can stand in for the other unnoticed.
  std::string WriteDocument(const std::string& name, bool withPicture = true) {
    AdobeSampleOptions options;
    options.thumbnailWidth = 200;
    options.thumbnailHeight = 150;
    Bytes bytes = withPicture ? BuildAdobeDocument(SampleJpeg(200, 150, 3), options)
                              : BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0);
    EXPECT_LE(bytes.size(), kDocumentSize);
    bytes.resize(kDocumentSize, '\n');
    return Write(name, bytes);
  }

  // The document's bytes replaced by `other`'s, its time set back as it
  // was: whatever LoadThumbnail answers then came from the cache, not from
  // reading the document.
  static void SwapContentKeepingStamp(const std::string& path, const std::string& other) {
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    auto bytes = ReadWholeFile(other, 1 << 20);
    ASSERT_TRUE(bytes && WriteFileAtomically(path, bytes->data(), bytes->size()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  static void MoveTimeOn(const std::string& path) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 1, st.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  CachedThumbnail Load(const std::string& document, ThumbnailFolder folder = ThumbnailFolder::kNormal,
                       bool write = true) const {
    return LoadThumbnail(document, folder, {root_, write});
  }

  std::string CachePath(const std::string& document, ThumbnailFolder folder = ThumbnailFolder::kNormal) const {
    return ThumbnailPath(document, folder, {root_, true});
  }

  std::optional<ThumbnailPng> CacheFile(const std::string& path) const {
    auto bytes = ReadWholeFile(path, 1 << 24);
    return bytes ? ReadThumbnailPng(bytes->data(), bytes->size()) : std::nullopt;
  }

  static constexpr std::size_t kDocumentSize = 40000;
  // Below a folder that does not exist yet: the cache makes both.
  const std::string root_ = Path("cache/thumbnails");
};

TEST_F(DesktopThumbnailsTest, PictureIsWrittenPrivatelyAndServedWithoutReadingTheDocumentAgain) {
  const std::string document = WriteDocument("plan #1 设计.pdf");
  CachedThumbnail first = Load(document);
  ASSERT_EQ(first.source, ThumbnailSource::kDocument) << DescribeFailure(first.failure);
  EXPECT_EQ(first.picture.Width(), 128);
  EXPECT_EQ(first.picture.Height(), 96);

  const std::string path = CachePath(document);
  auto written = CacheFile(path);
  ASSERT_TRUE(written) << path;
  EXPECT_TRUE(Describes(*written, *StampNow(document)));
  EXPECT_EQ(written->size, static_cast<std::int64_t>(kDocumentSize));
  EXPECT_EQ(written->software, "Glimpses " GLIMPSES_VERSION);
  EXPECT_TRUE(SamePixels(written->picture, first.picture));
  EXPECT_EQ(ModeOf(path), 0600u);
  for (const char* folder : {"cache", "cache/thumbnails", "cache/thumbnails/normal"}) {
    EXPECT_EQ(ModeOf(Path(folder)), 0700u) << folder;
  }

  SwapContentKeepingStamp(document, WriteDocument("no picture.pdf", false));
  CachedThumbnail again = Load(document);
  EXPECT_EQ(again.source, ThumbnailSource::kCache);
  EXPECT_TRUE(SamePixels(again.picture, first.picture));
  // Only the picture and the folders on its way: no temporary file left.
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) entries.insert(entry.path().string());
  EXPECT_EQ(entries, (std::set<std::string>{root_ + "/normal", path}));
}

// Cache files placed for the document by hand: used only while they stand
// for the document as it is now, otherwise replaced by what it holds.
TEST_F(DesktopThumbnailsTest, CacheFileIsUsedOnlyWhileItDescribesTheDocument) {
  const std::string document = WriteDocument("a b%.pdf");
  const DocumentStamp now = *StampNow(document);
  auto stamped = [](const DocumentStamp& stamp, int width = 100) {
    return *EncodeThumbnailPng(Solid(width, 60, 200), stamp, "elsewhere");
  };
  auto withText = [](std::vector<PngText> text) { return *EncodePng(Solid(100, 60, 200), PngCompression::kFast, text); };
  const std::string mtime = std::to_string(now.mtime);
  const Bytes valid = stamped(now);
  Bytes truncated(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(valid.size() / 2));
  Bytes corrupted = valid;
  corrupted[corrupted.size() - 20] ^= 0x55;  // in the pixels' compressed data: its checksum fails

  using F = ThumbnailFolder;
  const struct {
    const char* what;
    Bytes file;
    ThumbnailFolder placedIn = F::kNormal;
    ThumbnailFolder asked = F::kNormal;
    ImageSize used = {};  // {} when the cache file must be replaced
  } cases[] = {
      {"made for the document as it is", valid, F::kNormal, F::kNormal, {100, 60}},
      {"no Thumb::Size (it is optional)", withText({{"Thumb::URI", now.uri}, {"Thumb::MTime", mtime}}), F::kNormal,
       F::kNormal, {100, 60}},
      {"in a larger folder, shrunk", stamped(now, 400), F::kXXLarge, F::kNormal, {128, 19}},
      {"in a smaller folder", valid, F::kNormal, F::kLarge},
      {"modified since", stamped({now.uri, now.mtime - 1, now.size})},
      {"another size", stamped({now.uri, now.mtime, now.size + 1})},
      {"another document's URI", stamped({now.uri + "x", now.mtime, now.size})},
      {"the path unescaped as URI", stamped({"file://" + document, now.mtime, now.size})},
      {"no Thumb::MTime", withText({{"Thumb::URI", now.uri}})},
      {"Thumb::MTime not a number", withText({{"Thumb::URI", now.uri}, {"Thumb::MTime", mtime + "x"}})},
      {"the first of two Thumb::MTime stale",
       withText({{"Thumb::URI", now.uri}, {"Thumb::MTime", "1"}, {"Thumb::MTime", mtime}})},
      {"cut short", truncated},
      {"a byte of its pixels changed", corrupted},
      {"empty", Bytes{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_);
    fs::create_directories(fs::path(CachePath(document, c.placedIn)).parent_path());
    ASSERT_TRUE(WriteFileAtomically(CachePath(document, c.placedIn), c.file.data(), c.file.size()));

    CachedThumbnail got = Load(document, c.asked);
    if (c.used.width > 0) {
      EXPECT_EQ(got.source, ThumbnailSource::kCache);
      EXPECT_EQ((ImageSize{got.picture.Width(), got.picture.Height()}), c.used);
      continue;
    }
    EXPECT_EQ(got.source, ThumbnailSource::kDocument);
    auto replaced = CacheFile(CachePath(document, c.asked));
    ASSERT_TRUE(replaced);
    EXPECT_TRUE(Describes(*replaced, now));
    EXPECT_TRUE(SamePixels(replaced->picture, got.picture));
  }
}

// What gives no picture is remembered, with its reason, until the document
// changes; then the record goes as soon as the document gives a picture.
TEST_F(DesktopThumbnailsTest, FailureIsRecordedUntilTheDocumentChanges) {
  const std::string withPicture = WriteDocument("picture.pdf");
  AdobeSampleOptions options;
  options.thumbnailWidth = 20;
  options.thumbnailHeight = 20;
  const Bytes notJpeg(600, 'j');
  const struct {
    const char* name;
    Bytes content;
    ExtractStatus status;
  } cases[] = {
      {"no picture.pdf", BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0), ExtractStatus::kNoPicture},
      {"damaged.pdf", BuildAdobeDocument(notJpeg, options), ExtractStatus::kDamaged},
      {"wmf preview.eps", BuildDosEps({}, Bytes(64, 1)), ExtractStatus::kUnsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes content = c.content;
    content.resize(kDocumentSize, '\n');
    const std::string document = Write(c.name, content);
    CachedThumbnail first = Load(document);
    ASSERT_EQ(first.source, ThumbnailSource::kNone);
    ASSERT_EQ(first.failure.status, c.status) << DescribeFailure(first.failure);
    const std::string record = FailureRecordPath(document, {root_, true});
    EXPECT_EQ(record, root_ + "/fail/glimpses-" GLIMPSES_VERSION "/" + fs::path(CachePath(document)).filename().string());
    auto written = CacheFile(record);
    ASSERT_TRUE(written);
    EXPECT_TRUE(Describes(*written, *StampNow(document)));
    EXPECT_EQ(ModeOf(record), 0600u);

    SwapContentKeepingStamp(document, withPicture);
    CachedThumbnail recorded = Load(document);
    EXPECT_EQ(recorded.source, ThumbnailSource::kNone);
    EXPECT_EQ(DescribeFailure(recorded.failure), DescribeFailure(first.failure));

    MoveTimeOn(document);
    EXPECT_EQ(Load(document).source, ThumbnailSource::kDocument);
    EXPECT_FALSE(fs::exists(record));
  }
}

TEST_F(DesktopThumbnailsTest, NothingIsWrittenWithoutLeaveOrForADocumentThatCannotBeRead) {
  const std::string withPicture = WriteDocument("picture.pdf");
  const std::string without = WriteDocument("none.pdf", false);
  EXPECT_EQ(Load(withPicture, ThumbnailFolder::kNormal, false).source, ThumbnailSource::kDocument);
  EXPECT_EQ(Load(without, ThumbnailFolder::kNormal, false).source, ThumbnailSource::kNone);
  EXPECT_FALSE(fs::exists(root_));

  const Bytes stale = *EncodeThumbnailPng(Solid(10, 10, 1), {FileUri(withPicture), 1, 1}, "elsewhere");
  fs::create_directories(fs::path(CachePath(withPicture)).parent_path());
  ASSERT_TRUE(WriteFileAtomically(CachePath(withPicture), stale.data(), stale.size()));
  EXPECT_EQ(Load(withPicture, ThumbnailFolder::kNormal, false).source, ThumbnailSource::kDocument);
  EXPECT_EQ(ReadWholeFile(CachePath(withPicture), 1 << 20), stale);

  // A document that cannot be read may be readable in a minute.
  fs::remove_all(root_);
  fs::create_directories(Path("folder.pdf"));
  for (const std::string& unreadable : {Path("missing.pdf"), Path("folder.pdf")}) {
    CachedThumbnail got = Load(unreadable);
    EXPECT_EQ(got.source, ThumbnailSource::kNone) << unreadable;
    EXPECT_EQ(got.failure.status, ExtractStatus::kUnreadable) << unreadable;
  }
  EXPECT_FALSE(fs::exists(root_));
}

// The window's pool asks for many documents at once, some of them twice at
// the same moment: every answer is whole, and so is every cache file.
TEST_F(DesktopThumbnailsTest, ThreadsShareTheCacheSafely) {
  std::vector<std::string> documents;
  for (int i = 0; i < 6; ++i) documents.push_back(WriteDocument("doc" + std::to_string(i) + ".pdf", i != 5));
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (std::size_t i = 0; i < documents.size(); ++i) {
          CachedThumbnail got = Load(documents[i], round % 2 ? ThumbnailFolder::kNormal : ThumbnailFolder::kLarge);
          const bool expected = i == 5 ? got.source == ThumbnailSource::kNone
                                       : got.source != ThumbnailSource::kNone && got.picture.Height() > 0;
          wrong[t] += expected ? 0 : 1;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));

  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    EXPECT_TRUE(CacheFile(entry.path().string())) << entry.path();
  }
  // Five large pictures (the small ones are shrunk from them) and one
  // failure record: nothing else.
  EXPECT_EQ(files, 5u + 1);
}

TEST(ThumbnailPathTest, NamedByTheMd5OfTheUri) {
  // The example of the freedesktop thumbnail standard.
  EXPECT_EQ(ThumbnailPath("/home/jens/photos/me.png", ThumbnailFolder::kNormal, {"/r", true}),
            "/r/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
  EXPECT_EQ(ThumbnailPath("/home/jens/photos/me.png", ThumbnailFolder::kXXLarge, {"/r", true}),
            "/r/xx-large/c6ee772d9e49320e97ec29a7eb5b1697.png");
}

}  // namespace
}  // namespace glimpses

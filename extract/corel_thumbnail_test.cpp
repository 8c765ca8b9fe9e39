#include "extract/corel_thumbnail.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "extract/image.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBmpEntry = "metadata/thumbnails/thumbnail.bmp";
constexpr const char* kPngEntry = "previews/thumbnail.png";

class CorelTest : public ScratchDirTest {
 protected:
  std::string WriteZip(const std::string& name, const std::vector<CorelZipEntry>& entries) const {
    std::string path = Path(name);
    EXPECT_TRUE(WriteCorelZip(path, entries));
    return path;
  }

  Bytes Read(const std::string& path) const { return ReadWholeFile(path, 1 << 30).value_or(Bytes{}); }
};

// Decodes `path` and checks it is the sample picture at `bitsPerPixel`.
void ExpectSamplePicture(const std::string& path, int width, int height, int bitsPerPixel) {
  CImage image;
  ASSERT_EQ(image.LoadFromFile(path), ImageStatus::kOk) << path;
  ASSERT_EQ(image.Width(), width);
  ASSERT_EQ(image.Height(), height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(ColourAt(image, x, y), SampleColour(x, y, bitsPerPixel)) << "pixel " << x << "," << y;
    }
  }
}

Bytes WithTail(Bytes bytes, const Bytes& tail) {
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

Bytes Concat(const char* text, Bytes tail) {
  Bytes bytes(text, text + std::strlen(text));
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

TEST_F(CorelTest, ProbeReadsTheVersionOrTheZipMark) {
  Bytes short21(21, 'R');
  Bytes version65535 = BuildCorelRiff(0, {});
  version65535[20] = version65535[21] = 0xFF;
  struct Case {
    const char* name;
    Bytes bytes;
    int version;
  } cases[] = {
      {"pk-only.cdr", {'P', 'K'}, kCorelZipVersion},
      {"pk-riff-version.cdr", Concat("PK", Bytes(30, 0)), kCorelZipVersion},
      {"riff-700.cdr", BuildCorelRiff(700, {}), 700},
      {"riff-1300.cdr", BuildCorelRiff(1300, {}), 1300},
      {"riff-65535.cdr", version65535, 65535},
      {"short.cdr", short21, kCorelNoVersion},
      {"empty.cdr", {}, kCorelNoVersion},
      {"p-only.cdr", {'P'}, kCorelNoVersion},
  };
  for (const auto& c : cases) EXPECT_EQ(ProbeCorelVersion(Write(c.name, c.bytes)), c.version) << c.name;
  EXPECT_EQ(ProbeCorelVersion(Path("missing.cdr")), kCorelUnreadable);
}

TEST_F(CorelTest, ZipEntryIsCopiedExactly) {
  Bytes bmp = SampleBmpFile(16, 8, 24);
  std::string doc = WriteZip("d.cdr", {{"content/data.riff", Bytes(5000, 7)}, {kBmpEntry, bmp}});
  EXPECT_EQ(ReadZipEntry(doc, kBmpEntry).bytes, bmp);
}

TEST_F(CorelTest, ZipEntryNamesIgnoreLetterCaseButNotSeparators) {
  struct Case {
    const char* stored;
    const char* sought;
    bool found;
  } cases[] = {
      {"Metadata/Thumbnails/Thumbnail.BMP", kBmpEntry, true},
      {"METADATA/THUMBNAILS/THUMBNAIL.BMP", kBmpEntry, true},
      {"Previews/Thumbnail.Png", kPngEntry, true},
      {"metadata\\thumbnails\\thumbnail.bmp", kBmpEntry, false},
      {"previews\\thumbnail.png", kPngEntry, false},
      {"metadata/thumbnails/thumbnail.bmpx", kBmpEntry, false},
      {"x/metadata/thumbnails/thumbnail.bmp", kBmpEntry, false},
  };
  for (const auto& c : cases) {
    std::string doc = WriteZip("case.cdr", {{c.stored, {1, 2, 3}}});
    EXPECT_EQ(ReadZipEntry(doc, c.sought).bytes.has_value(), c.found) << c.stored;
  }
}

TEST_F(CorelTest, BrokenArchivesGiveNoPicture) {
  Bytes bomb(kMaxCorelPictureBytes + 1, 0);
  std::string bombDoc = WriteZip("bomb.cdr", {{kBmpEntry, bomb}});
  bomb = {};
  // A deflate block whose first byte is 0xFF has the reserved block type, so
  // inflating it fails part-way through the entry.
  Bytes corrupt = Read(WriteZip("corrupt.cdr", {{kBmpEntry, SampleBmpFile(64, 64, 24)}}));
  corrupt[30 + std::strlen(kBmpEntry)] = 0xFF;
  // Data that inflates cleanly but does not match its checksum, stated alike
  // in the local header (offset 14) and the central directory (offset 16).
  Bytes badCrc = Read(WriteZip("bad-crc.cdr", {{kBmpEntry, SampleBmpFile(64, 64, 24)}}));
  const std::string_view central("PK\x01\x02", 4);
  auto record = std::search(badCrc.begin(), badCrc.end(), central.begin(), central.end());
  ASSERT_NE(record, badCrc.end());
  badCrc[14] ^= 0x5A;
  record[16] ^= 0x5A;
  struct Case {
    const char* name;
    std::string doc;
  } cases[] = {
      {"pk but no archive", Write("pk.cdr", Concat("PK\x03\x04 not really", Bytes(100, 1)))},
      {"entry above the limit", bombDoc},
      {"corrupt deflate data", Write("corrupt.cdr", corrupt)},
      {"checksum mismatch", Write("bad-crc.cdr", badCrc)},
      {"missing document", Path("missing.cdr")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ReadZipEntry(c.doc, kBmpEntry).bytes) << c.name;
    // Damaged, with the reason, not "no picture"; a missing document is unreadable.
    const PictureRead read = ReadCorelPicture(c.doc);
    EXPECT_EQ(read.failure.status, c.doc == Path("missing.cdr") ? ExtractStatus::kUnreadable : ExtractStatus::kDamaged)
        << c.name << ": " << DescribeFailure(read.failure);
    EXPECT_FALSE(ExtractCorelThumbnail(c.doc, Path("out.png"))) << c.name;
    EXPECT_FALSE(FileExists(Path("out.png"))) << c.name;
  }
  EXPECT_EQ(Names(), (std::set<std::string>{"bad-crc.cdr", "bomb.cdr", "corrupt.cdr", "pk.cdr"}));
}

TEST_F(CorelTest, ZipPreviewPrefersTheBitmapEntry) {
  auto png = SamplePngFile(20, 10);
  ASSERT_TRUE(png) << "the image service cannot encode PNG yet";
  Bytes bmp = SampleBmpFile(12, 6, 24);
  std::string both = WriteZip("both.cdr", {{kPngEntry, *png}, {kBmpEntry, bmp}});
  EXPECT_EQ(ReadCorelPreview(both).bytes, bmp);

  std::string pngOnly = WriteZip("png.cdr", {{kPngEntry, *png}});
  EXPECT_EQ(ReadCorelPreview(pngOnly).bytes, *png);
}

TEST_F(CorelTest, ZipDocumentsGiveTheStoredPicture) {
  auto png = SamplePngFile(20, 10);
  ASSERT_TRUE(png) << "the image service cannot encode PNG yet";
  struct Case {
    const char* name;
    std::vector<CorelZipEntry> entries;
    int width, height;
  } cases[] = {
      {"bmp.cdr", {{kBmpEntry, SampleBmpFile(12, 6, 24)}}, 12, 6},
      {"png.cdr", {{kPngEntry, *png}}, 20, 10},
      {"both.cdr", {{kPngEntry, *png}, {kBmpEntry, SampleBmpFile(12, 6, 24)}}, 12, 6},
      {"upper.CDR", {{"Metadata/Thumbnails/Thumbnail.BMP", SampleBmpFile(7, 3, 24)}}, 7, 3},
  };
  for (const auto& c : cases) {
    std::string output = Path(std::string(c.name) + "_T.png");
    ASSERT_TRUE(ExtractCorelThumbnail(WriteZip(c.name, c.entries), output)) << c.name;
    ExpectSamplePicture(output, c.width, c.height, 24);
  }
  // Only the documents and their pictures: every temporary is gone.
  EXPECT_EQ(Names().size(), 8u);
}

std::vector<CorelRiffChunk> ChunksBeforeDisp() {
  // Odd lengths: the walk moves by exactly the stated length, with no pad byte.
  return {{"LIST", Bytes(33, 'l'), std::nullopt}, {"fver", Bytes(5, 'f'), std::nullopt}, {"mcfg", {}, std::nullopt}};
}

std::uint32_t Le32At(const Bytes& b, std::size_t i) { return ReadLe32(b.data() + i); }

TEST_F(CorelTest, DispChunkBecomesABitmapFile) {
  struct Depth {
    int bits;
    std::uint32_t pixelOffset;
  } depths[] = {{1, 62}, {4, 118}, {8, 1078}, {24, 54}};
  for (int version : {700, 800, 900, 1000, 1100, 1200, 1300}) {
    for (const auto& depth : depths) {
      SCOPED_TRACE("version " + std::to_string(version) + ", " + std::to_string(depth.bits) + " bits");
      Bytes disp = SampleDispData(9, 5, depth.bits);
      auto chunks = ChunksBeforeDisp();
      chunks.push_back({"DISP", disp, std::nullopt});
      chunks.push_back({"LIST", Bytes(10, 'z'), std::nullopt});
      std::string doc = Write("riff.cdr", BuildCorelRiff(static_cast<std::uint16_t>(version), chunks));

      std::optional<Bytes> built = BuildDispBitmap(doc).bytes;
      ASSERT_TRUE(built);
      const Bytes& bmp = *built;
      ASSERT_EQ(bmp.size(), disp.size() + 10);
      EXPECT_EQ(bmp[0], 'B');
      EXPECT_EQ(bmp[1], 'M');
      EXPECT_EQ(Le32At(bmp, 2), disp.size() + 10);
      EXPECT_EQ(Le32At(bmp, 6), 0u);
      EXPECT_EQ(Le32At(bmp, 10), depth.pixelOffset);
      EXPECT_TRUE(std::equal(disp.begin() + 4, disp.end(), bmp.begin() + 14));

      ASSERT_TRUE(ExtractCorelThumbnail(doc, Path("riff.cdr_T.png")));
      ExpectSamplePicture(Path("riff.cdr_T.png"), 9, 5, depth.bits);
      EXPECT_EQ(Names(), (std::set<std::string>{"riff.cdr", "riff.cdr_T.png"}));
      fs::remove(Path("riff.cdr_T.png"));
    }
  }
}

TEST_F(CorelTest, DispLeadKeepsItsHighHalfAndOtherDepthsGetNoOffset) {
  Bytes disp = SampleDispData(4, 4, 8);
  disp[0] = 0x55;
  disp[1] = 0x66;
  disp[2] = 0x01;
  disp[3] = 0x02;
  auto lead = BuildDispBitmap(Write("lead.cdr", BuildCorelRiff(1300, {{"DISP", disp, std::nullopt}}))).bytes;
  ASSERT_TRUE(lead);
  EXPECT_EQ(Le32At(*lead, 10), 0x0201u * 65536 + 1078);

  Bytes deep = SampleDispData(4, 4, 24);
  deep[4 + 14] = 16;  // a depth without a table entry
  deep[0] = 0x99;
  auto deepBmp = BuildDispBitmap(Write("deep.cdr", BuildCorelRiff(1300, {{"DISP", deep, std::nullopt}}))).bytes;
  ASSERT_TRUE(deepBmp);
  EXPECT_EQ(Le32At(*deepBmp, 10), 0u);
}

TEST_F(CorelTest, UntrustedDispLayoutsWriteNothing) {
  Bytes disp = SampleDispData(4, 4, 8);
  auto size = static_cast<std::uint32_t>(disp.size());
  struct Case {
    const char* name;
    Bytes document;
  } cases[] = {
      {"no DISP chunk", BuildCorelRiff(1300, ChunksBeforeDisp())},
      {"length past the end", BuildCorelRiff(1300, {{"DISP", disp, size + 1}})},
      {"length of 4 GiB", BuildCorelRiff(1300, {{"DISP", disp, 0xFFFFFFFFu}})},
      {"length short of the bit count", BuildCorelRiff(1300, {{"DISP", Bytes(19, 8), std::nullopt}})},
      {"empty DISP", BuildCorelRiff(1300, {{"DISP", {}, std::nullopt}})},
      {"chunk length that is negative when signed",
       BuildCorelRiff(1300, {{"LIST", Bytes(8, 0), 0xFFFFFFF0u}, {"DISP", disp, std::nullopt}})},
      {"chunk running past the end", BuildCorelRiff(1300, {{"LIST", Bytes(8, 0), 0x7FFFFFFFu}})},
      {"chunk header cut short", WithTail(BuildCorelRiff(1300, {}), {'D', 'I', 'S', 'P', 0x10, 0})},
      {"version 1350", BuildCorelRiff(1350, {{"DISP", disp, std::nullopt}})},
      {"version 1301", BuildCorelRiff(1301, {{"DISP", disp, std::nullopt}})},
      {"version 1399", BuildCorelRiff(1399, {{"DISP", disp, std::nullopt}})},
      {"RIFF stating 1400", BuildCorelRiff(1400, {{"DISP", disp, std::nullopt}})},
      {"shorter than the header", Bytes(21, 'R')},
  };
  for (const auto& c : cases) {
    std::string doc = Write("bad.cdr", c.document);
    EXPECT_FALSE(ReadCorelPreview(doc).bytes) << c.name;
    EXPECT_FALSE(ExtractCorelThumbnail(doc, Path("out.png"))) << c.name;
    EXPECT_EQ(Names(), std::set<std::string>{"bad.cdr"}) << c.name;
  }
}

TEST_F(CorelTest, ManyEmptyChunksBeforeDispAreWalked) {
  std::vector<CorelRiffChunk> chunks(5000, CorelRiffChunk{"JUNK", {}, std::nullopt});
  chunks.push_back({"DISP", SampleDispData(3, 3, 4), std::nullopt});
  EXPECT_TRUE(BuildDispBitmap(Write("many.cdr", BuildCorelRiff(1000, chunks))).bytes);
}

TEST_F(CorelTest, UserFilesBesideTheOutputAreNeverTouched) {
  std::string doc = Write("x.cdr", BuildCorelRiff(1300, {{"DISP", SampleDispData(6, 6, 8), std::nullopt}}));
  // The names a careless temporary would take.
  Write("x.cdr_T.bmp", {'m', 'i', 'n', 'e'});
  Write("x.cdr_T.png.tmp", {'m', 'i', 'n', 'e'});
  ASSERT_TRUE(ExtractCorelThumbnail(doc, Path("x.cdr_T.png")));
  EXPECT_EQ(Read(Path("x.cdr_T.bmp")), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(Names(), (std::set<std::string>{"x.cdr", "x.cdr_T.bmp", "x.cdr_T.png.tmp", "x.cdr_T.png"}));
}

TEST_F(CorelTest, FalseWhenTheStoredPictureCannotBeConverted) {
  Bytes garbage(200, 0x33);
  garbage[18] = 8;
  std::string undecodable = Write("garbage.cdr", BuildCorelRiff(1300, {{"DISP", garbage, std::nullopt}}));
  std::string good = Write("good.cdr", BuildCorelRiff(1300, {{"DISP", SampleDispData(6, 6, 8), std::nullopt}}));
  Write("old.png", {'o', 'l', 'd'});
  EXPECT_FALSE(ExtractCorelThumbnail(undecodable, Path("old.png")));
  EXPECT_EQ(Read(Path("old.png")), (Bytes{'o', 'l', 'd'}));
  EXPECT_FALSE(ExtractCorelThumbnail(good, Path("picture.unknown")));
  EXPECT_FALSE(ExtractCorelThumbnail(good, Path("no-folder/picture.png")));
  EXPECT_EQ(Names(), (std::set<std::string>{"garbage.cdr", "good.cdr", "old.png"}));
}

TEST_F(CorelTest, RefusedNamesAreNotRead) {
  Bytes document = BuildCorelRiff(1300, {{"DISP", SampleDispData(6, 6, 8), std::nullopt}});
  for (const char* name : {"a.cDr", "a.CdR", "a.cdr.bak", "a.pdf"}) {
    EXPECT_FALSE(ExtractCorelThumbnail(Write(name, document), Path("out.png"))) << name;
  }
  EXPECT_FALSE(FileExists(Path("out.png")));
}

}  // namespace
}  // namespace glimpses

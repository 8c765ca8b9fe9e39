#include "extract/stored_preview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/extract_thumbnail.h"
#include "extract/png_codec.h"
#include "samples/adobe_samples.h"
#include "samples/preview_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

std::string Str(const Bytes& b) { return {b.begin(), b.end()}; }

// The written PNG, decoded by libpng.
CImage ReadPng(const std::string& path) {
  std::optional<Bytes> bytes = ReadWholeFile(path, 64 << 20);
  CImage image;
  if (!bytes || DecodePng(bytes->data(), bytes->size(), image) != ImageStatus::kOk) return {};
  return image;
}

class StoredPreviewTest : public ScratchDirTest {
 protected:
  ExtractResult Extract(const std::string& name, const std::string& bytes) {
    return TryExtractThumbnailInto(dir_.string(), Write(name, bytes), name);
  }
  ExtractResult Extract(const std::string& name, const Bytes& bytes) { return Extract(name, Str(bytes)); }
};

TEST_F(StoredPreviewTest, TiffPreviewOfEveryLayoutAndStorageBecomesAPngWithItsPixels) {
  const TiffLayout layouts[] = {TiffLayout::kBilevel,     TiffLayout::kGrey8,        TiffLayout::kPalette4,
                                TiffLayout::kPalette8,    TiffLayout::kRgb,          TiffLayout::kRgba,
                                TiffLayout::kGreyAlpha16, TiffLayout::kPaletteAlpha, TiffLayout::kRgbaAssociated};
  const TiffCompression compressions[] = {TiffCompression::kNone, TiffCompression::kLzw, TiffCompression::kPackBits,
                                          TiffCompression::kDeflate};
  const TiffStorage storages[] = {TiffStorage::kStrips, TiffStorage::kBottomUp, TiffStorage::kTiles,
                                  TiffStorage::kPlanes};
  for (TiffLayout layout : layouts) {
    for (TiffCompression compression : compressions) {
      for (TiffStorage storage : storages) {
        std::string context = "layout " + std::to_string(int(layout)) + " compression " +
                              std::to_string(int(compression)) + " storage " + std::to_string(int(storage));
        Bytes tiff = BuildTiff(37, 21, layout, compression, storage);
        ASSERT_FALSE(tiff.empty()) << context;
        ExtractResult result = Extract("plan.eps", BuildDosEps(tiff));
        ASSERT_TRUE(result.written()) << context << ": " << DescribeFailure(result);
        EXPECT_EQ(result.route, ExtractRoute::kEpsTiff);
        EXPECT_EQ(result.path, Path("plan.eps_T.png"));
        CImage png = ReadPng(result.path);
        ASSERT_EQ(png.Width() * png.Height(), 37 * 21) << context;
        for (int y = 0; y < png.Height(); ++y) {
          for (int x = 0; x < png.Width(); ++x) {
            // Colour stored multiplied by alpha comes apart within rounding;
            // every other sample is kept exactly.
            Rgba seen = ColourAt(png, x, y), stored = TiffSampleColour(layout, x, y);
            ASSERT_TRUE(layout == TiffLayout::kRgbaAssociated ? SameVisibleColour(seen, stored) : seen == stored)
                << context << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST_F(StoredPreviewTest, EpsiPreviewOfEveryDepthAndLayoutBecomesAGreyPng) {
  for (EpsiLayout layout : {EpsiLayout::kPlain, EpsiLayout::kPs2epsi}) {
    for (int depth : {1, 2, 4, 8}) {
      std::string context = "layout " + std::to_string(int(layout)) + " depth " + std::to_string(depth);
      // 19 pixels wide: rows end inside a byte for the small depths; lines of
      // 3 bytes break rows across lines.
      ExtractResult result = Extract("grey.eps", BuildEpsi(19, 7, depth, 3, layout));
      ASSERT_TRUE(result.written()) << context << ": " << DescribeFailure(result);
      EXPECT_EQ(result.route, ExtractRoute::kEpsi);
      CImage png = ReadPng(result.path);
      ASSERT_EQ(png.Width() * png.Height(), 19 * 7) << context;
      const unsigned top = (1u << depth) - 1;
      for (int y = 0; y < png.Height(); ++y) {
        for (int x = 0; x < png.Width(); ++x) {
          auto grey = static_cast<std::uint8_t>(255 - EpsiSampleValue(x, y, depth) * 255 / top);
          ASSERT_EQ(ColourAt(png, x, y), (Rgba{grey, grey, grey, 255})) << context << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(StoredPreviewTest, StoredJpegsAreWrittenAsTheyAreUnderTheJpegName) {
  Bytes jpeg = SampleJpeg(40, 30, 3);
  ExtractResult resource = Extract("photo.eps", BuildImageResourceEps(jpeg));
  ASSERT_TRUE(resource.written()) << DescribeFailure(resource);
  EXPECT_EQ(resource.route, ExtractRoute::kImageResource);
  EXPECT_EQ(resource.path, Path("photo.eps_T.jpg"));
  EXPECT_EQ(ReadWholeFile(resource.path, 1 << 20), jpeg);

  // An InDesign thumbnail far below the usual 10,240 bytes of text.
  std::string indd = Str(BuildAdobeDocument(jpeg, {.kind = DocumentKind::kInDesign, .form = XmpForm::kAttribute}));
  indd.insert(indd.find("pGImg:image") + 3000, 1, '\0');
  ExtractResult small = Extract("layout.indd", indd);
  ASSERT_TRUE(small.written()) << DescribeFailure(small);
  EXPECT_EQ(small.route, ExtractRoute::kInddThumbnail);
  EXPECT_EQ(ReadWholeFile(small.path, 1 << 20), jpeg);
}

TEST_F(StoredPreviewTest, OfSeveralStoredPreviewsTheLargerPictureWins) {
  Bytes smallJpeg = SampleJpeg(20, 10, 1), largeJpeg = SampleJpeg(90, 60, 2);
  Bytes tiff = BuildTiff(50, 40, TiffLayout::kRgb, TiffCompression::kLzw);
  ExtractResult tiffWins = Extract("a.eps", BuildDosEps(tiff, {}, BuildImageResourceEps(smallJpeg)));
  EXPECT_EQ(tiffWins.route, ExtractRoute::kEpsTiff);
  ExtractResult jpegWins = Extract("b.eps", BuildDosEps(tiff, {}, BuildImageResourceEps(largeJpeg)));
  EXPECT_EQ(jpegWins.route, ExtractRoute::kImageResource);
  EXPECT_EQ(ReadWholeFile(jpegWins.path, 1 << 20), largeJpeg);
}

TEST_F(StoredPreviewTest, AnXmpThumbnailOrHexPreviewStillWinsOverEveryStoredPreview) {
  Bytes xmpJpeg = SampleJpeg(8, 8, 4);
  std::string postScript = Str(BuildAdobeDocument(xmpJpeg, {.kind = DocumentKind::kEps}));
  Bytes tiff = BuildTiff(300, 300, TiffLayout::kRgb, TiffCompression::kNone);
  ExtractResult xmp = Extract("x.eps", BuildDosEps(tiff, {}, postScript));
  EXPECT_EQ(xmp.route, ExtractRoute::kXmp);
  EXPECT_EQ(ReadWholeFile(xmp.path, 1 << 20), xmpJpeg);

  std::string hex = Str(BuildHexPreviewAi(4, 4, false)) + BuildEpsi(200, 200, 8);
  EXPECT_EQ(Extract("h.ai", hex).route, ExtractRoute::kHexPreview);
}

struct Damage {
  const char* what;
  std::string document;
  ExtractStatus status;
};

Bytes WithLe32(Bytes bytes, std::size_t at, std::uint32_t value) {
  WriteLe32(bytes.data() + at, value);
  return bytes;
}

// `tiff` (written by libtiff: little-endian, the height a short) claiming
// `height` rows.
Bytes WithTiffHeight(Bytes tiff, std::uint16_t height) {
  const std::size_t directory = ReadLe32(tiff.data() + 4);
  for (std::size_t i = 0; i < ReadLe16(tiff.data() + directory); ++i) {
    std::uint8_t* entry = tiff.data() + directory + 2 + 12 * i;
    if (ReadLe16(entry) == 257) WriteLe16(entry + 8, height);
  }
  return tiff;
}

TEST_F(StoredPreviewTest, DamagedOrUnsupportedPreviewsWriteNothingAndSayWhy) {
  const Bytes tiff = BuildTiff(16, 16, TiffLayout::kRgb, TiffCompression::kLzw);
  const Bytes eps = BuildDosEps(tiff);
  Bytes cutTiff = tiff;
  cutTiff.resize(tiff.size() - 40);
  Bytes notTiff = tiff;
  notTiff[0] = 'X';
  const Bytes jpeg = SampleJpeg(40, 30, 5);
  Bytes cutJpeg(jpeg.begin(), jpeg.end() - 30);
  Bytes resources = ImageResources(jpeg);
  std::string epsi = BuildEpsi(16, 4, 1);
  std::string fewerLines = epsi;
  const std::size_t firstLine = epsi.find('\n', epsi.find("%%BeginPreview")) + 1;
  fewerLines.erase(firstLine, epsi.find('\n', firstLine) + 1 - firstLine);
  std::string shortLine = epsi;
  shortLine.erase(shortLine.find("%%EndImage") - 3, 2);
  std::string longLine = epsi;
  longLine.insert(longLine.find("%%EndImage") - 1, "00");
  // Its last row's digits gone, the blank line after it left.
  std::string ps2epsi = BuildEpsi(16, 4, 8, 40, EpsiLayout::kPs2epsi);
  const std::size_t lastRow = ps2epsi.rfind("% ", ps2epsi.rfind("% \n") - 1);
  std::string ps2epsiRowLess = ps2epsi;
  ps2epsiRowLess.erase(lastRow, ps2epsi.find('\n', lastRow) + 1 - lastRow);

  const std::vector<Damage> cases = {
      {"header cut short", Str(eps).substr(0, 20), ExtractStatus::kDamaged},
      {"TIFF past the end", Str(WithLe32(eps, 24, static_cast<std::uint32_t>(tiff.size() + 1))),
       ExtractStatus::kDamaged},
      {"TIFF offset past the end", Str(WithLe32(eps, 20, 0xFFFFFFF0u)), ExtractStatus::kDamaged},
      {"TIFF inside the header", Str(WithLe32(eps, 20, 4)), ExtractStatus::kDamaged},
      {"PostScript past the end", Str(WithLe32(eps, 8, 0x7FFFFFFFu)), ExtractStatus::kDamaged},
      {"TIFF cut short", Str(BuildDosEps(cutTiff)), ExtractStatus::kDamaged},
      {"TIFF libtiff refuses", Str(BuildDosEps(notTiff)), ExtractStatus::kDamaged},
      {"uncompressed TIFF claiming rows it does not hold",
       Str(BuildDosEps(WithTiffHeight(BuildTiff(16, 16, TiffLayout::kGrey8, TiffCompression::kNone), 60000))),
       ExtractStatus::kDamaged},
      {"WMF only", Str(BuildDosEps({}, Bytes(64, 1))), ExtractStatus::kUnsupported},
      {"EPSI with a line less", fewerLines, ExtractStatus::kDamaged},
      {"EPSI line one byte short", shortLine, ExtractStatus::kDamaged},
      {"EPSI line one byte long", longLine, ExtractStatus::kDamaged},
      {"EPSI as ps2epsi writes it, a row short", ps2epsiRowLess, ExtractStatus::kDamaged},
      {"EPSI without its end", epsi.substr(0, epsi.find("%%EndPreview")), ExtractStatus::kDamaged},
      {"EPSI of 3 bits", "%%BeginPreview: 4 4 3 4\n%00\n%00\n%00\n%00\n%%EndPreview\n", ExtractStatus::kUnsupported},
      {"EPSI of no pixels", "%%BeginPreview: 0 4 8 0\n%%EndPreview\n", ExtractStatus::kDamaged},
      {"EPSI header not numbers", "%%BeginPreview: a b c d\n%%EndPreview\n", ExtractStatus::kDamaged},
      {"image resources shorter than claimed", PhotoshopBlock(resources, resources.size() + 2),
       ExtractStatus::kDamaged},
      {"image resources without their end", PhotoshopBlock(resources, resources.size()).substr(0, 200),
       ExtractStatus::kDamaged},
      {"image-resource JPEG cut short", PhotoshopBlock(ImageResources(cutJpeg), ImageResources(cutJpeg).size()),
       ExtractStatus::kDamaged},
      {"resource size past the block", PhotoshopBlock(WithLe32(resources, 10, 0x01000000u), resources.size()),
       ExtractStatus::kDamaged},
  };
  for (const Damage& c : cases) {
    ExtractResult result = Extract("doc.eps", c.document);
    EXPECT_FALSE(result.written()) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what << ": " << DescribeFailure(result);
    EXPECT_FALSE(result.detail.empty()) << c.what;
    EXPECT_EQ(Names(), std::set<std::string>{"doc.eps"}) << c.what;
    for (const std::string& name : Names()) std::filesystem::remove(Path(name));
  }
}

TEST_F(StoredPreviewTest, StaleInDesignFragmentsNeverQualify) {
  Bytes jpeg = SampleJpeg(40, 30, 6);
  std::string indd = Str(BuildAdobeDocument(jpeg, {.kind = DocumentKind::kInDesign, .form = XmpForm::kElement}));
  // A NUL hole in the middle of the value, as stale packets have: the
  // decoder stops there and what it gives ends without the end marker.
  std::size_t key = indd.find("pGImg:image");
  indd[key + 200] = '\0';
  ExtractResult result = Extract("stale.indd", indd);
  EXPECT_FALSE(result.written());
  EXPECT_EQ(result.status, ExtractStatus::kDamaged) << DescribeFailure(result);
  EXPECT_EQ(Names(), std::set<std::string>{"stale.indd"});
}

TEST_F(StoredPreviewTest, DocumentsWithoutAnyPictureSayNoStoredPicture) {
  EXPECT_EQ(Extract("bare.eps", "%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n").status, ExtractStatus::kNoPicture);
  EXPECT_EQ(Extract("bare.eps", BuildDosEps({})).status, ExtractStatus::kNoPicture);
  EXPECT_EQ(Extract("notes.txt", "text").status, ExtractStatus::kUnsupported);
  EXPECT_EQ(TryExtractThumbnail(Path("missing.eps"), Path("out.jpg")).status, ExtractStatus::kUnreadable);
}

}  // namespace
}  // namespace glimpses

// fuzz_seeds DIR: writes the seeds built from the sample builders into
// DIR/<target>/, each named for what it holds. The seeds are committed;
// this is how they were made, and how to make them again after a builder
// changes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/file_util.h"
#include "catalogue/catalogue_store.h"
#include "extract/bytes.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/hostile_samples.h"
#include "samples/preview_samples.h"
#include "thumbcache/thumbnail_png.h"

namespace {

namespace fs = std::filesystem;
using glimpses::Bytes;

bool Write(const fs::path& path, const Bytes& bytes) {
  std::error_code ignored;
  fs::create_directories(path.parent_path(), ignored);
  bool ok = glimpses::WriteFileAtomically(path.string(), bytes.data(), bytes.size());
  if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
  return ok;
}

bool WriteText(const fs::path& path, std::string_view text) { return Write(path, Bytes(text.begin(), text.end())); }

bool WriteXmpSeeds(const fs::path& dir) {
  using glimpses::DocumentKind;
  using glimpses::XmpForm;
  struct Seed {
    const char* name;
    DocumentKind kind;
    XmpForm form;
  };
  const Seed seeds[] = {
      {"element.ai", DocumentKind::kIllustrator, XmpForm::kElement},
      {"attribute.pdf", DocumentKind::kPdf, XmpForm::kAttribute},
      {"wrapped.eps", DocumentKind::kEps, XmpForm::kWrapped},
      {"single-quoted.ai", DocumentKind::kIllustrator, XmpForm::kSingleQuoted},
      {"element.indd", DocumentKind::kInDesign, XmpForm::kElement},
  };
  const Bytes jpeg = glimpses::SampleJpeg(4, 3, 1);
  bool ok = true;
  for (const Seed& seed : seeds) {
    glimpses::AdobeSampleOptions options;
    options.kind = seed.kind;
    options.form = seed.form;
    options.thumbnailWidth = 4;
    options.thumbnailHeight = 3;
    ok = Write(dir / seed.name, glimpses::BuildAdobeDocument(jpeg, options)) && ok;
  }
  ok = Write(dir / "no-thumbnail.pdf", glimpses::BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0)) && ok;
  return Write(dir / "hex-preview-and-xmp.ai", glimpses::BuildHexPreviewAi(3, 2, true, jpeg)) && ok;
}

bool WriteHexPreviewSeeds(const fs::path& dir) {
  bool ok = Write(dir / "run-length.ai", glimpses::BuildHexPreviewAi(6, 4, true));
  return Write(dir / "plain.ai", glimpses::BuildHexPreviewAi(5, 3, false)) && ok;
}

bool WriteCorelZipSeeds(const fs::path& dir) {
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  auto png = glimpses::SamplePngFile(4, 3);
  Bytes bmp = glimpses::SampleBmpFile(4, 3, 8);
  bool ok = glimpses::WriteCorelZip((dir / "bmp-entry.cdr").string(), {{"metadata/thumbnails/thumbnail.bmp", bmp}});
  if (!png) return false;
  ok = glimpses::WriteCorelZip((dir / "png-entry.cdr").string(), {{"previews/thumbnail.png", *png}}) && ok;
  return glimpses::WriteCorelZip((dir / "both-entries-other-case.cdr").string(),
                                 {{"Previews/Thumbnail.PNG", *png}, {"metadata/thumbnails/thumbnail.bmp", bmp}}) &&
         ok;
}

bool WriteCorelDispSeeds(const fs::path& dir) {
  bool ok = true;
  for (int bits : {1, 4, 8, 24}) {
    Bytes doc = glimpses::BuildCorelRiff(
        1300, {{"LIST", Bytes(9, 'l'), std::nullopt}, {"DISP", glimpses::SampleDispData(5, 3, bits), std::nullopt}});
    ok = Write(dir / ("disp-" + std::to_string(bits) + "-bit.cdr"), doc) && ok;
  }
  return ok;
}

// Documents at the limits that keep hostile ones cheap: each is refused
// before its picture is allocated or decoded, for its many scans, its
// declared size or its many thumbnail candidates.
bool WriteLimitSeeds(const fs::path& root) {
  using glimpses::Bytes;
  // The JPEG target takes no picture above 256 x 256: the scans make the work.
  bool ok = Write(root / "jpeg" / "progressive-3100-scans.jpg", glimpses::ProgressiveJpegWithScans(256, 256, 3100));
  ok = Write(root / "jpeg" / "header-only-declaring-256px.jpg", glimpses::JpegHeaderOnly(256, 256)) && ok;
  const Bytes indd = glimpses::InddWithShortThumbnails(65);
  ok = Write(root / "xmp" / "indd-65-short-values-of-8192px.indd", indd) && ok;
  // That target writes the InDesign signature itself.
  ok = Write(root / "indd_thumbnail" / "65-short-values-of-8192px.indd", Bytes(indd.begin() + 4, indd.end())) && ok;
  const std::string eps = glimpses::BuildImageResourceEps(glimpses::ProgressiveJpegWithScans(1024, 1024, 200));
  ok = WriteText(root / "image_resource" / "progressive-1024px-200-scans.eps", eps) && ok;
  ok = WriteText(root / "xmp" / "progressive-resource-1024px-200-scans.eps", eps) && ok;
  const Bytes holed = glimpses::BuildCorelRiff(1300, {{std::string(4, '\0'), Bytes(8, 0), std::nullopt},
                                                      {"DISP", glimpses::SampleDispData(5, 3, 8), std::nullopt}});
  ok = Write(root / "corel_disp" / "sparse-hole-before-disp.cdr", holed) && ok;
  Bytes bmp = glimpses::SampleBmpFile(4, 3, 24);
  glimpses::WriteLe32(bmp.data() + 18, 8192);  // width
  glimpses::WriteLe32(bmp.data() + 22, 8192);  // height
  ok = glimpses::WriteCorelZip((root / "corel_zip" / "bmp-entry-declaring-8192px.cdr").string(),
                               {{"metadata/thumbnails/thumbnail.bmp", bmp}}) &&
       ok;
  std::string hex = glimpses::HexPreviewText(4, 3, false);
  hex.replace(0, hex.find('\n'), "%%AI7_Thumbnail: 8192 8192 8");
  return WriteText(root / "hex_preview" / "header-declaring-8192px.ai", hex) && ok;
}

bool WritePictureSeeds(const fs::path& root) {
  bool ok = true;
  for (int bits : {1, 4, 8, 24}) {
    ok = Write(root / "bmp" / (std::to_string(bits) + "-bit.bmp"), glimpses::SampleBmpFile(5, 3, bits)) && ok;
  }
  ok = Write(root / "jpeg" / "baseline.jpg", glimpses::SampleJpeg(8, 6, 2)) && ok;
  auto png = glimpses::SamplePngFile(5, 3);
  return png && Write(root / "png" / "rgb.png", *png) && ok;
}

// Stored JPEGs a contact sheet embeds as they are: baseline and progressive.
bool WriteContactSheetSeeds(const fs::path& dir) {
  bool ok = Write(dir / "baseline.jpg", glimpses::SampleJpeg(8, 6, 3));
  return Write(dir / "progressive-4-scans.jpg", glimpses::ProgressiveJpegWithScans(16, 16, 4)) && ok;
}

bool WriteEpsiSeeds(const fs::path& dir) {
  bool ok = true;
  for (int depth : {1, 2, 4, 8}) {
    ok = WriteText(dir / ("grey-" + std::to_string(depth) + "bit.eps"), glimpses::BuildEpsi(9, 4, depth, 4)) && ok;
  }
  return WriteText(dir / "ps2epsi-blank-lines.eps", glimpses::BuildEpsi(9, 4, 8, 4, glimpses::EpsiLayout::kPs2epsi)) &&
         ok;
}

bool WriteEpsTiffSeeds(const fs::path& dir) {
  using glimpses::TiffCompression, glimpses::TiffLayout, glimpses::TiffStorage;
  struct Seed {
    const char* name;
    int width, height;
    TiffLayout layout;
    TiffCompression compression;
    TiffStorage storage;
  };
  const Seed seeds[] = {
      {"bilevel-uncompressed.eps", 12, 8, TiffLayout::kBilevel, TiffCompression::kNone, TiffStorage::kStrips},
      {"grey-deflate.eps", 8, 8, TiffLayout::kGrey8, TiffCompression::kDeflate, TiffStorage::kStrips},
      {"palette4-lzw.eps", 8, 8, TiffLayout::kPalette4, TiffCompression::kLzw, TiffStorage::kStrips},
      {"rgba-packbits.eps", 8, 8, TiffLayout::kRgba, TiffCompression::kPackBits, TiffStorage::kStrips},
      {"palette-alpha-lzw.eps", 8, 8, TiffLayout::kPaletteAlpha, TiffCompression::kLzw, TiffStorage::kStrips},
      {"grey-alpha16-tiles.eps", 20, 18, TiffLayout::kGreyAlpha16, TiffCompression::kDeflate, TiffStorage::kTiles},
      {"rgba-associated-planes.eps", 8, 8, TiffLayout::kRgbaAssociated, TiffCompression::kPackBits,
       TiffStorage::kPlanes},
      {"rgb-bottom-up.eps", 8, 8, TiffLayout::kRgb, TiffCompression::kNone, TiffStorage::kBottomUp},
  };
  bool ok = true;
  for (const Seed& seed : seeds) {
    Bytes tiff = glimpses::BuildTiff(seed.width, seed.height, seed.layout, seed.compression, seed.storage);
    ok = !tiff.empty() && Write(dir / seed.name, glimpses::BuildDosEps(tiff)) && ok;
  }
  return Write(dir / "wmf-only.eps", glimpses::BuildDosEps({}, Bytes(16, 1))) && ok;
}

bool WriteQuerySeeds(const fs::path& dir) {
  using namespace std::string_view_literals;
  // The query, a NUL, the entry's name, a NUL, its folder, a NUL, its size
  // and time.
  const std::pair<const char*, std::string_view> seeds[] = {
      {"and-or", "report 2023|draft\0Report 2023.pdf\0/home/u/docs"sv},
      {"not-ext", "!ext:txt;eps rep\0report-draft.AI\0/home/u/docs"sv},
      {"quotes-groups", "\"two words\" <a|b> c\0two words abc.pdf\0/x"sv},
      {"wildcards", "*.p?f re*\0Report.pdf\0/home"sv},
      {"path-term", "docs/ar logo\0logo.cdr\0/home/u/docs/Archive"sv},
      {"folders-only", "folder: x.pdf\0x.pdf/\0/data"sv},
      {"non-ascii", "über ΑΛΦΑ 设计\0ÜBER ΑΛΦΑ 设计稿.pdf\0/Ärger"sv},
      {"size-date",
       "size:1mb..5mb dm:>=2024-05 | size:tiny dm:lastweek\0plan.ai\0/p\0"
       "2097152 1715940000"sv},
      {"regex-case-path",
       "case:path:regex:^/p/.*\\.ai$ !case:Draft\0Plan.ai\0/p\0"
       "12 1"sv},
      {"whole-words",
       "ww:plan wholeword:path:p size:<=10kb\0a plan.ai\0/p\0"
       "100 1"sv},
      {"malformed",
       "size:big dm:2024-02-30 regex:(\0x\0/p\0"
       "1 1"sv},
      // A catalogued document: 12 pages, a thumbnail, the second text.
      {"metadata",
       "font:helv|creator:\"cc 2017\" pages:2..20 !has:thumbnail|links:logo*\0plan.ai\0/p\0"
       "1 1\0"
       "12 5"sv},
      {"metadata-pending",
       "plan !font:x|pages:>3 size:>0\0plan.indd\0/p\0"
       "10 1"sv},
      {"metadata-malformed", "font: pages:-1 has:preview\0x.pdf\0/p"sv},
  };
  bool ok = true;
  for (const auto& [name, text] : seeds) ok = WriteText(dir / name, text) && ok;
  return ok;
}

// A catalogue as glimpses-cli catalogue leaves it: two documents, one of
// them with every kind of text, and one that could not be read.
bool WriteCatalogueSeeds(const fs::path& dir) {
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  const std::string path = (dir / "built.sqlite").string();
  fs::remove(path, ignored);
  std::string error;
  auto store = glimpses::CatalogueStore::Open(path, glimpses::CatalogueMode::kBuild, &error);
  glimpses::DocumentMetadata rich;
  rich.kind = glimpses::DocumentKind::kIllustrator;
  rich.application = "Illustrator";
  rich.version = "CC 2017";
  rich.creatorTool = "Adobe Illustrator CC 2017 (Macintosh)";
  rich.title = "Poster";
  rich.authors = {"Ann"};
  rich.pages = 2;
  rich.fonts = {{"MyriadPro-Regular", "Myriad Pro", "Regular", "OpenType", ""}};
  rich.swatches = {"PANTONE 485 C"};
  rich.plates = {"Cyan", "Black"};
  rich.links = {{"/art/logo.ai", "xmp.did:1"}};
  rich.hasThumbnail = true;
  const bool ok =
      store &&
      store->Apply({{"/d/poster.ai", {100, 1, 7}, rich}, {"/d/broken.pdf", {5, 2, 8}, std::nullopt}}, {}, &error);
  if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write %s: %s\n", path.c_str(), error.c_str());
  return ok;
}

bool WriteSettingsSeeds(const fs::path& dir) {
  using namespace std::string_view_literals;
  // GBK, CRLF: "设计" and "/home/u/Thumbs缩略图".
  bool ok = WriteText(dir / "gbk-crlf.ini", "\xC9\xE8\xBC\xC6 pdf\r\n/home/u/Thumbs\xCB\xF5\xC2\xD4\xCD\xBC\r\n"sv);
  ok = WriteText(dir / "lf-only-one-line.ini", "ai cdr\n"sv) && ok;
  return WriteText(dir / "lone-cr-and-bad-gbk.ini", "a\rb\x81\r\n\xFF\xFE/out\r\n"sv) && ok;
}

// A thumbnail and a failure record as the cache writes them.
bool WriteThumbnailPngSeeds(const fs::path& dir) {
  glimpses::CImage picture;
  picture.Create(5, 3, 32, true);
  const glimpses::DocumentStamp stamp{"file:///home/u/a%20b%23.pdf", 1715940000, 48213};
  auto thumbnail = glimpses::EncodeThumbnailPng(picture, stamp, "Glimpses");
  auto record = glimpses::EncodeThumbnailPng(picture, stamp, "Glimpses", "damaged: truncated JPEG");
  return thumbnail && record && Write(dir / "thumbnail.png", *thumbnail) && Write(dir / "failure-record.png", *record);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: fuzz_seeds DIR\n", stderr);
    return 2;
  }
  const fs::path root = argv[1];
  // Every kind is written even when an earlier one failed.
  bool ok = WriteXmpSeeds(root / "xmp");
  ok = WriteHexPreviewSeeds(root / "hex_preview") && ok;
  ok = WriteCorelZipSeeds(root / "corel_zip") && ok;
  ok = WriteCorelDispSeeds(root / "corel_disp") && ok;
  ok = WritePictureSeeds(root) && ok;
  ok = WriteLimitSeeds(root) && ok;
  ok = WriteQuerySeeds(root / "query") && ok;
  ok = WriteSettingsSeeds(root / "settings") && ok;
  ok = WriteEpsiSeeds(root / "epsi") && ok;
  ok = WriteEpsTiffSeeds(root / "eps_tiff") && ok;
  ok = WriteContactSheetSeeds(root / "contact_sheet") && ok;
  ok = WriteThumbnailPngSeeds(root / "thumbnail_png") && ok;
  ok = WriteCatalogueSeeds(root / "catalogue") && ok;
  return ok ? 0 : 2;
}

// Every document of the real-document corpus, when it sits beside the
// checkout: what the export writes must match the manifest's `expect_more`
// column (exact JPEG bytes under "_T.jpg", or a PNG of the stated size with
// the stored picture's pixels under "_T.png", or nothing). It equals
// `expect` wherever that names a picture, so the older routes are held to
// their bytes and names as well.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "extract/corel_thumbnail.h"
#include "extract/extract_thumbnail.h"
#include "extract/image.h"
#include "samples/corel_samples.h"
#include "samples/scratch_folder.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

struct CorpusEntry {
  std::string file;
  std::string expect;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

std::vector<CorpusEntry> ReadManifest(const fs::path& manifest) {
  std::ifstream in(manifest);
  std::string line;
  std::getline(in, line);
  auto header = SplitTabs(line);
  auto column = [&](const std::string& name) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  std::size_t fileColumn = column("file"), expectColumn = column("expect_more");
  std::vector<CorpusEntry> entries;
  while (std::getline(in, line)) {
    auto fields = SplitTabs(line);
    if (fields.size() > std::max(fileColumn, expectColumn))
      entries.push_back({fields[fileColumn], fields[expectColumn]});
  }
  return entries;
}

std::string Sha256Hex(const Bytes& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corpus_ = GLIMPSES_CORPUS_DIR;
    if (!fs::exists(corpus_ / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << corpus_ << "; skipped";
    ASSERT_FALSE(scratch_.root().empty());
    out_ = scratch_.root();
  }

  ScratchFolder scratch_;
  fs::path corpus_;
  fs::path out_;
};

// Decodes the picture the CorelDRAW document stores and compares it with
// `written` pixel by pixel; returns a description of the mismatch, or "".
std::string CompareWithStoredPicture(const fs::path& document, const CImage& written) {
  std::optional<Bytes> stored = ReadCorelPreview(document.string()).bytes;
  if (!stored) return "no stored picture";
  CImage image;
  if (image.LoadFromMemory(stored->data(), stored->size()) != ImageStatus::kOk) return "stored picture does not decode";
  if (image.Width() != written.Width() || image.Height() != written.Height()) return "stored picture has another size";
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (!(ColourAt(image, x, y) == ColourAt(written, x, y))) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs from the stored picture";
      }
    }
  }
  return "";
}

// Reads the TIFF preview the EPS binary header points at with libtiff's own
// RGBA reader and compares it with `written`; a description of the
// mismatch, or "". That reader drops the alpha of a palette picture, so
// alpha is compared only where it gives some (the palette picture with
// alpha is checked on its own below).
std::string CompareWithTiffPreview(const fs::path& document, const CImage& written, const fs::path& outDir) {
  auto header = ReadFileRange(document.string(), 0, 30);
  if (!header || header->size() != 30) return "no binary header";
  auto tiff = ReadFileRange(document.string(), ReadLe32(header->data() + 20), ReadLe32(header->data() + 24));
  if (!tiff) return "cannot read the TIFF";
  std::string path = (outDir / "preview.tif").string();
  if (!WriteFileAtomically(path, tiff->data(), tiff->size())) return "cannot copy the TIFF";
  TIFF* in = TIFFOpen(path.c_str(), "r");
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint32_t> raster;
  bool read = in && TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width) && TIFFGetField(in, TIFFTAG_IMAGELENGTH, &height);
  if (read) {
    raster.resize(std::size_t{width} * height);
    read = TIFFReadRGBAImageOriented(in, width, height, raster.data(), ORIENTATION_TOPLEFT, 1);
  }
  if (in) TIFFClose(in);
  fs::remove(path);
  if (!read) return "libtiff cannot read the TIFF";
  if (static_cast<int>(width) != written.Width() || static_cast<int>(height) != written.Height()) return "another size";
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t p = raster[y * width + x];
      // libtiff gives colour multiplied by alpha.
      Rgba expected{std::uint8_t(TIFFGetR(p)), std::uint8_t(TIFFGetG(p)), std::uint8_t(TIFFGetB(p)),
                    written.HasAlpha() ? std::uint8_t(TIFFGetA(p)) : std::uint8_t(255)};
      Rgba seen = ColourAt(written, int(x), int(y));
      if (expected.alpha < 255) {
        for (std::uint8_t* c : {&seen.red, &seen.green, &seen.blue})
          *c = std::uint8_t((*c * expected.alpha + 127) / 255);
      }
      if (std::abs(seen.red - expected.red) > 1 || std::abs(seen.green - expected.green) > 1 ||
          std::abs(seen.blue - expected.blue) > 1 || (expected.alpha < 255 && seen.alpha != expected.alpha)) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs from the TIFF";
      }
    }
  }
  return "";
}

// Checks one document; returns a description of the mismatch, or "".
std::string CheckDocument(const fs::path& document, const std::string& expect, const fs::path& outDir) {
  ExtractResult result = TryExtractThumbnailInto(outDir.string(), document.string(), document.filename().string());
  std::optional<std::string> written;
  if (result.written()) written = result.path;
  std::vector<std::string> parts;
  std::stringstream in(expect);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);

  if (expect == "none") {
    if (written) return "wrote " + *written + " where no picture is expected";
    if (!fs::is_empty(outDir)) return "left files behind";
    return "";
  }
  if (!written) return "no picture written, expected " + expect;
  auto bytes = ReadWholeFile(*written, 64 << 20);
  if (!bytes) return "cannot read " + *written;
  const std::string suffix = parts.empty() || parts[0] != "jpeg" ? "_T.png" : "_T.jpg";
  if (!written->ends_with(suffix)) return "wrote " + *written + ", expected a name ending in " + suffix;
  if (parts.size() == 3 && parts[0] == "jpeg") {
    if (std::to_string(bytes->size()) != parts[2]) return "size " + std::to_string(bytes->size()) + " != " + parts[2];
    if (Sha256Hex(*bytes) != parts[1]) return "sha256 differs";
    return "";
  }
  if (parts.size() == 3 && parts[0] == "png") {
    CImage image;
    if (SniffImageFormat(bytes->data(), bytes->size()) != ImageFormat::kPng) return "not a PNG";
    if (image.LoadFromMemory(bytes->data(), bytes->size()) != ImageStatus::kOk) return "PNG does not decode";
    std::string size = std::to_string(image.Width()) + "x" + std::to_string(image.Height());
    if (size != parts[2]) return "PNG is " + size + ", expected " + parts[2];
    if (parts[1] == "corel") return CompareWithStoredPicture(document, image);
    if (parts[1] == "tiff") return CompareWithTiffPreview(document, image, outDir);
    return "";
  }
  return "unknown expectation " + expect;
}

TEST_F(CorpusTest, EveryDocumentGivesTheExpectedPicture) {
  auto entries = ReadManifest(corpus_ / "MANIFEST.tsv");
  ASSERT_FALSE(entries.empty());
  for (const auto& entry : entries) {
    fs::path dir = out_ / fs::path(entry.file).filename();
    fs::create_directories(dir);
    std::string problem = CheckDocument(corpus_ / entry.file, entry.expect, dir);
    EXPECT_EQ(problem, "") << entry.file;
  }
}

// InDesign's preview is a palette picture with an alpha sample: the page
// around the drawing is transparent.
TEST_F(CorpusTest, PaletteTiffPreviewKeepsItsAlpha) {
  const fs::path document = corpus_ / "eps/eps-nested_xmp_indesign-cs5-lev3.eps";
  if (!fs::exists(document)) GTEST_SKIP() << document << " is not in the corpus";
  ExtractResult result = TryExtractThumbnailInto(out_.string(), document.string(), "indesign.eps");
  ASSERT_TRUE(result.written()) << DescribeFailure(result);
  CImage png;
  ASSERT_EQ(png.LoadFromFile(result.path), ImageStatus::kOk);
  ASSERT_TRUE(png.HasAlpha());
  EXPECT_EQ(ColourAt(png, 0, 0).alpha, 0);
  EXPECT_EQ(ColourAt(png, 245, 180), (Rgba{0, 0, 0, 255}));  // the drawn frame
}

}  // namespace
}  // namespace glimpses

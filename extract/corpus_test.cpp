// Every document of the real-document corpus, when it sits beside the
// checkout: what ExtractThumbnail writes must match the manifest's `expect`
// column (exact JPEG bytes, or a PNG of the stated size, or nothing).
#include <openssl/evp.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corel_samples.h"
#include "corel_thumbnail.h"
#include "extract_thumbnail.h"
#include "file_util.h"
#include "image.h"
#include "scratch_folder.h"

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
  std::size_t fileColumn = column("file"), expectColumn = column("expect");
  std::vector<CorpusEntry> entries;
  while (std::getline(in, line)) {
    auto fields = SplitTabs(line);
    if (fields.size() > std::max(fileColumn, expectColumn)) entries.push_back({fields[fileColumn], fields[expectColumn]});
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
  std::optional<Bytes> stored = ReadCorelPreview(document.string());
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

// Checks one document; returns a description of the mismatch, or "".
std::string CheckDocument(const fs::path& document, const std::string& expect, const fs::path& outDir) {
  std::string output = (outDir / (document.filename().string() + "_T.png")).string();
  auto written = ExtractThumbnailFile(document.string(), output);
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

}  // namespace
}  // namespace glimpses

// fuzz_seeds DIR: writes the seeds built from the sample builders into
// DIR/<target>/, each named for what it holds. The seeds are committed;
// this is how they were made, and how to make them again after a builder
// changes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "adobe_samples.h"
#include "corel_samples.h"
#include "file_util.h"

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

bool WritePictureSeeds(const fs::path& root) {
  bool ok = true;
  for (int bits : {1, 4, 8, 24}) {
    ok = Write(root / "bmp" / (std::to_string(bits) + "-bit.bmp"), glimpses::SampleBmpFile(5, 3, bits)) && ok;
  }
  ok = Write(root / "jpeg" / "baseline.jpg", glimpses::SampleJpeg(8, 6, 2)) && ok;
  auto png = glimpses::SamplePngFile(5, 3);
  return png && Write(root / "png" / "rgb.png", *png) && ok;
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
      {"size-date", "size:1mb..5mb dm:>=2024-05 | size:tiny dm:lastweek\0plan.ai\0/p\0" "2097152 1715940000"sv},
      {"regex-case-path", "case:path:regex:^/p/.*\\.ai$ !case:Draft\0Plan.ai\0/p\0" "12 1"sv},
      {"whole-words", "ww:plan wholeword:path:p size:<=10kb\0a plan.ai\0/p\0" "100 1"sv},
      {"malformed", "size:big dm:2024-02-30 regex:(\0x\0/p\0" "1 1"sv},
  };
  bool ok = true;
  for (const auto& [name, text] : seeds) ok = WriteText(dir / name, text) && ok;
  return ok;
}

bool WriteSettingsSeeds(const fs::path& dir) {
  using namespace std::string_view_literals;
  // GBK, CRLF: "设计" and "/home/u/Thumbs缩略图".
  bool ok = WriteText(dir / "gbk-crlf.ini", "\xC9\xE8\xBC\xC6 pdf\r\n/home/u/Thumbs\xCB\xF5\xC2\xD4\xCD\xBC\r\n"sv);
  ok = WriteText(dir / "lf-only-one-line.ini", "ai cdr\n"sv) && ok;
  return WriteText(dir / "lone-cr-and-bad-gbk.ini", "a\rb\x81\r\n\xFF\xFE/out\r\n"sv) && ok;
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
  ok = WriteQuerySeeds(root / "query") && ok;
  ok = WriteSettingsSeeds(root / "settings") && ok;
  return ok ? 0 : 2;
}

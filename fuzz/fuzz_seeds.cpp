// fuzz_seeds DIR: writes small seed documents for each fuzzer into
// DIR/zip, DIR/disp, DIR/adobe and DIR/image.
#include <cstdio>
#include <filesystem>
#include <string>

#include "adobe_samples.h"
#include "corel_samples.h"
#include "file_util.h"

namespace {

namespace fs = std::filesystem;
using glimpses::Bytes;

bool Write(const fs::path& path, const Bytes& bytes) {
  bool ok = glimpses::WriteFileAtomically(path.string(), bytes.data(), bytes.size());
  if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
  return ok;
}

bool WriteZipSeeds(const fs::path& dir) {
  auto png = glimpses::SamplePngFile(6, 4);
  Bytes bmp = glimpses::SampleBmpFile(5, 3, 24);
  bool ok = glimpses::WriteCorelZip((dir / "bmp.cdr").string(), {{"metadata/thumbnails/thumbnail.bmp", bmp}});
  if (png) ok = glimpses::WriteCorelZip((dir / "png.cdr").string(), {{"previews/thumbnail.png", *png}}) && ok;
  if (png) {
    ok = glimpses::WriteCorelZip((dir / "both.cdr").string(),
                                 {{"Previews/Thumbnail.PNG", *png}, {"metadata/thumbnails/thumbnail.bmp", bmp}}) &&
         ok;
  }
  return ok;
}

bool WriteDispSeeds(const fs::path& dir) {
  bool ok = true;
  for (int bits : {1, 4, 8, 24}) {
    Bytes doc = glimpses::BuildCorelRiff(1300, {{"LIST", Bytes(9, 'l'), std::nullopt},
                                                {"DISP", glimpses::SampleDispData(5, 3, bits), std::nullopt}});
    ok = Write(dir / ("disp-" + std::to_string(bits) + ".cdr"), doc) && ok;
  }
  return ok;
}

bool WriteAdobeSeeds(const fs::path& dir) {
  glimpses::AdobeSampleOptions options;
  options.thumbnailWidth = 8;
  options.thumbnailHeight = 6;
  bool ok = Write(dir / "xmp.ai", glimpses::BuildAdobeDocument(glimpses::SampleJpeg(8, 6, 1), options));
  return Write(dir / "hex.ai", glimpses::BuildHexPreviewAi(6, 4, true)) && ok;
}

bool WriteImageSeeds(const fs::path& dir) {
  bool ok = Write(dir / "8.bmp", glimpses::SampleBmpFile(5, 3, 8));
  ok = Write(dir / "1.bmp", glimpses::SampleBmpFile(9, 2, 1)) && ok;
  ok = Write(dir / "t.jpg", glimpses::SampleJpeg(8, 6, 2)) && ok;
  if (auto png = glimpses::SamplePngFile(6, 4)) ok = Write(dir / "t.png", *png) && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: fuzz_seeds DIR\n", stderr);
    return 2;
  }
  fs::path root = argv[1];
  std::error_code error;
  for (const char* sub : {"zip", "disp", "adobe", "image"}) fs::create_directories(root / sub, error);
  // Every kind is written even when an earlier one failed.
  bool ok = WriteZipSeeds(root / "zip");
  ok = WriteDispSeeds(root / "disp") && ok;
  ok = WriteAdobeSeeds(root / "adobe") && ok;
  ok = WriteImageSeeds(root / "image") && ok;
  return ok ? 0 : 2;
}

// glimpses-make-samples DIR: writes a folder of small documents of every kind
// the extractors read, to try the tool on and for `make run`.
// glimpses-make-samples --hostile DIR: writes the documents built to make a
// reader work without end (one of them a sparse file of 2 GiB) and those of
// the output traps, to measure the programs on by hand.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/hostile_samples.h"
#include "samples/preview_samples.h"

namespace {

using glimpses::Bytes;
using glimpses::DocumentKind;
using glimpses::XmpForm;

struct NamedSample {
  std::string name;
  Bytes bytes;
};

bool WriteSamples(const std::filesystem::path& dir, const std::vector<NamedSample>& samples) {
  bool ok = true;
  for (const auto& sample : samples) {
    std::string path = (dir / sample.name).string();
    if (glimpses::WriteFileAtomically(path, sample.bytes.data(), sample.bytes.size())) {
      std::printf("%s\n", path.c_str());
    } else {
      std::fprintf(stderr, "glimpses-make-samples: cannot write %s\n", path.c_str());
      ok = false;
    }
  }
  return ok;
}

Bytes AdobeSample(DocumentKind kind, XmpForm form, int width, int height, int seed, std::size_t totalSize) {
  glimpses::AdobeSampleOptions options;
  options.kind = kind;
  options.form = form;
  options.thumbnailWidth = width;
  options.thumbnailHeight = height;
  options.totalSize = totalSize;
  return glimpses::BuildAdobeDocument(glimpses::SampleJpeg(width, height, seed), options);
}

bool WriteAdobeSamples(const std::filesystem::path& dir) {
  std::vector<NamedSample> samples;
  samples.push_back(
      {"Poster 海报.ai", AdobeSample(DocumentKind::kIllustrator, XmpForm::kElement, 256, 181, 1, 300000)});
  samples.push_back({"logo.eps", AdobeSample(DocumentKind::kEps, XmpForm::kElement, 200, 150, 2, 120000)});
  samples.push_back({"brochure.indd", AdobeSample(DocumentKind::kInDesign, XmpForm::kElement, 181, 256, 3, 400000)});
  samples.push_back({"flyer.pdf", AdobeSample(DocumentKind::kPdf, XmpForm::kAttribute, 256, 200, 4, 60000)});
  samples.push_back({"menu (exiftool).pdf", AdobeSample(DocumentKind::kPdf, XmpForm::kWrapped, 256, 144, 5, 80000)});
  samples.push_back(
      {"label (exiftool).ai", AdobeSample(DocumentKind::kIllustrator, XmpForm::kSingleQuoted, 128, 128, 6, 50000)});
  samples.push_back(
      {"annual report.PDF", AdobeSample(DocumentKind::kPdf, XmpForm::kElement, 256, 256, 7, 2 * 1024 * 1024)});
  samples.push_back({"badge hex.ai", glimpses::BuildHexPreviewAi(105, 80, false)});
  samples.push_back({"badge rle.ai", glimpses::BuildHexPreviewAi(128, 96, true)});
  samples.push_back({"no thumbnail.pdf", glimpses::BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 20000)});
  using glimpses::TiffLayout, glimpses::TiffCompression;
  samples.push_back({"windows preview.eps",
                     glimpses::BuildDosEps(glimpses::BuildTiff(160, 120, TiffLayout::kRgb, TiffCompression::kLzw))});
  const std::string epsi = glimpses::BuildEpsi(128, 96, 8);
  samples.push_back({"grey preview.eps", glimpses::Bytes(epsi.begin(), epsi.end())});
  const std::string photo = glimpses::BuildImageResourceEps(glimpses::SampleJpeg(160, 120, 7));
  samples.push_back({"photo resource.eps", glimpses::Bytes(photo.begin(), photo.end())});
  return WriteSamples(dir, samples);
}

bool WriteHostileSamples(const std::filesystem::path& dir) {
  std::vector<glimpses::HostileDocument> documents = glimpses::HostileDocuments();
  for (auto& document : glimpses::DocumentsAtTheLimits()) documents.push_back(std::move(document));
  documents.push_back(glimpses::HexPreviewDocument());
  documents.push_back(glimpses::DocumentWithoutPicture());
  bool ok = true;
  for (const auto& document : documents) {
    const std::string path = glimpses::WriteHostileDocument(dir.string(), document);
    if (path.empty()) {
      std::fprintf(stderr, "glimpses-make-samples: cannot write %s\n", (dir / document.name).c_str());
      ok = false;
    } else {
      std::printf("%s\n", path.c_str());
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const bool hostile = argc == 3 && std::string(argv[1]) == "--hostile";
  if (argc != 2 && !hostile) {
    std::fputs("usage: glimpses-make-samples [--hostile] DIR\n", stderr);
    return 2;
  }
  std::filesystem::path dir = argv[argc - 1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "glimpses-make-samples: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return 2;
  }
  if (hostile) return WriteHostileSamples(dir) ? 0 : 2;
  bool ok = WriteAdobeSamples(dir);
  ok = glimpses::WriteCorelSamples(dir.string()) && ok;
  return ok ? 0 : 2;
}

// Exports the thumbnails of generated documents (XMP AI and EPS, hex-preview
// AI, ZIP and RIFF CorelDRAW; a few KiB to 3 MiB each) with one job and with
// two, and the XMP ones through an exiftool batch run for comparison, on a
// warm cache. Prints documents per second and the ratios.
//
//   export_bench [DOCUMENTS [FOLDER]]   (default 1000 documents, under /tmp)

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "export/export.h"
#include "extract/image.h"
#include "samples/corel_samples.h"

namespace {

namespace fs = std::filesystem;
using glimpses::Bytes;

class FixedSearchService : public glimpses::SearchService {
 public:
  explicit FixedSearchService(std::vector<glimpses::SearchResult> entries) : entries_(std::move(entries)) {}
  glimpses::SearchAnswer Query(std::string_view) override { return entries_; }
  bool IsIndexing() const override { return false; }

 private:
  std::vector<glimpses::SearchResult> entries_;
};

std::string Base64Lines(const Bytes& data) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    if (i > 0 && i % 57 == 0) text += "&#xA;";  // 76 characters a piece, as the applications write it
    std::uint32_t group = data[i] << 16;
    if (i + 1 < data.size()) group |= data[i + 1] << 8;
    if (i + 2 < data.size()) group |= data[i + 2];
    const std::size_t chars = std::min<std::size_t>(4, (data.size() - i) * 4 / 3 + 1);
    for (std::size_t k = 0; k < 4; ++k) text += k < chars ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

Bytes NoisyJpeg(int size, std::mt19937& rng) {
  glimpses::CImage image;
  image.Create(size, size, 24);
  for (int y = 0; y < size; ++y) {
    std::uint8_t* row = image.Row(y);
    for (int x = 0; x < size * 3; ++x) row[x] = static_cast<std::uint8_t>((x * 7 + y * 3) % 256 ^ (rng() & 31));
  }
  return image.Encode(glimpses::ImageFormat::kJpeg).value_or(Bytes{});
}

// PostScript comment lines of hex noise, so that padding looks like the
// body of a document and holds no thumbnail key.
std::string Padding(std::size_t bytes, std::mt19937& rng) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes + 80);
  while (text.size() < bytes) {
    text += "% ";
    for (int i = 0; i < 76; ++i) text += kDigits[rng() & 15];
    text += '\n';
  }
  return text;
}

std::string XmpPostScript(const Bytes& jpeg, std::size_t size, std::mt19937& rng) {
  std::string text =
      "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 612 792\n%%Creator: bench\n%%EndComments\n%%BeginMetadata\n"
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
      "xmlns:xmpGImg=\"http://ns.adobe.com/xap/1.0/g/img/\">\n"
      "   <xmp:Thumbnails><rdf:Alt><rdf:li rdf:parseType=\"Resource\">\n"
      "     <xmpGImg:format>JPEG</xmpGImg:format>\n     <xmpGImg:image>" +
      Base64Lines(jpeg) +
      "</xmpGImg:image>\n   </rdf:li></rdf:Alt></xmp:Thumbnails>\n  </rdf:Description>\n </rdf:RDF>\n"
      "</x:xmpmeta>\n<?xpacket end=\"w\"?>\n%%EndMetadata\n";
  if (text.size() < size) text += Padding(size - text.size(), rng);
  return text + "showpage\n%%EOF\n";
}

std::string HexPreviewPostScript(int width, int height, std::size_t size, std::mt19937& rng) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  auto put = [&](unsigned byte) {
    hex += kDigits[(byte >> 4) & 15];
    hex += kDigits[byte & 15];
  };
  for (unsigned i = 0; i < 256 * 3; ++i) put(i * 37);
  // Artwork, not noise: bands of flat colour, as previews of real drawings
  // are, so the PNG encoder sees data like it meets in the field.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) put(((x / 16) * 8 + (y / 16) * 40) & 255);
  }
  std::string text = "%!PS-Adobe-3.0\n%%Creator: bench\n%AI7_Thumbnail: " + std::to_string(width) + " " +
                     std::to_string(height) + " 8\n%%BeginData: " + std::to_string(hex.size()) + " Hex Bytes\n" + hex +
                     "\n%%EndData\n%%EndComments\n";
  if (text.size() < size) text += Padding(size - text.size(), rng);
  return text + "%%EOF\n";
}

Bytes NoiseBytes(std::size_t size, std::mt19937& rng) {
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

bool WriteText(const std::string& path, const std::string& text) {
  return glimpses::WriteFileAtomically(path, text.data(), text.size());
}

constexpr const char* kKindNames[] = {"XMP AI", "XMP EPS", "XMP AI", "hex-preview AI", "ZIP CDR", "RIFF CDR"};

struct Corpus {
  std::vector<glimpses::SearchResult> all;
  std::vector<glimpses::SearchResult> xmp;
  std::vector<glimpses::SearchResult> byKind[6];
  std::uint64_t bytes = 0;
};

// Sizes spread evenly on a log scale from 4 KiB to 3 MiB; kinds in turn.
bool MakeCorpus(const std::string& root, int count, Corpus& corpus) {
  std::mt19937 rng(20240601);
  std::vector<Bytes> jpegs;
  for (int i = 0; i < 6; ++i) jpegs.push_back(NoisyJpeg(160 + 32 * i, rng));
  const auto png = glimpses::SamplePngFile(192, 192);
  if (jpegs.front().empty() || !png) return false;
  const std::string xmpFolder = root + "/xmp", otherFolder = root + "/other";
  fs::create_directories(xmpFolder);
  fs::create_directories(otherFolder);
  std::uniform_real_distribution<double> logSize(std::log(4096.0), std::log(3.0 * 1024 * 1024));
  for (int i = 0; i < count; ++i) {
    const auto size = static_cast<std::size_t>(std::exp(logSize(rng)));
    const std::string stem = "doc" + std::to_string(i);
    glimpses::SearchResult entry;
    bool ok = true;
    switch (i % 6) {
      case 0:
      case 1:
      case 2: {
        entry = {stem + (i % 6 == 1 ? ".eps" : ".ai"), xmpFolder};
        ok = WriteText(entry.FullPath(), XmpPostScript(jpegs[i % jpegs.size()], size, rng));
        corpus.xmp.push_back(entry);
        break;
      }
      case 3:
        entry = {stem + ".ai", otherFolder};
        ok = WriteText(entry.FullPath(), HexPreviewPostScript(128, 128, size, rng));
        break;
      case 4:
        entry = {stem + ".cdr", otherFolder};
        ok = glimpses::WriteCorelZip(
            entry.FullPath(), {{"previews/thumbnail.png", *png}, {"content/riffData.cdr", NoiseBytes(size, rng)}});
        break;
      case 5: {
        entry = {stem + ".cdr", otherFolder};
        Bytes riff = glimpses::BuildCorelRiff(1100, {{"DISP", glimpses::SampleDispData(128, 128, 24), std::nullopt},
                                                     {"LIST", NoiseBytes(size, rng), {}}});
        ok = glimpses::WriteFileAtomically(entry.FullPath(), riff.data(), riff.size());
        break;
      }
    }
    if (!ok) return false;
    corpus.bytes += static_cast<std::uint64_t>(fs::file_size(entry.FullPath()));
    corpus.byKind[i % 6].push_back(entry);
    corpus.all.push_back(entry);
  }
  std::sort(corpus.all.begin(), corpus.all.end(), [](const auto& a, const auto& b) { return a.fileName < b.fileName; });
  return true;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Run {
  double seconds = 0;
  glimpses::ExportResult result;
};

// The best of `repeats` runs, each into a new folder named after `out`. Nothing is
// deleted between runs: on an ext4 without a journal, creating files right
// after thousands were deleted costs far more, and would be measured here.
Run TimeExport(const std::vector<glimpses::SearchResult>& entries, const std::string& out, int jobs, int repeats) {
  Run best;
  for (int r = 0; r < repeats; ++r) {
    const std::string folder = out + "-" + std::to_string(r);
    FixedSearchService service(entries);
    glimpses::ExportOptions options;
    options.jobs = jobs;
    const auto start = std::chrono::steady_clock::now();
    glimpses::ExportResult result = glimpses::ExportThumbnails(service, "", folder, options);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (r == 0 || seconds < best.seconds) best = {seconds, result};
  }
  return best;
}

// Seconds for the exiftool batch, or a negative number when it cannot run.
double TimeExiftool(const std::string& documents, const std::string& out) {
  if (std::system("command -v exiftool >/dev/null 2>&1") != 0) return -1;
  fs::create_directories(out);
  const std::string command =
      "exiftool -q -q -b -ThumbnailImage -w '" + out + "/%f.%e_T.jpg' '" + documents + "' >/dev/null 2>&1";
  const auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  const double seconds = Seconds(std::chrono::steady_clock::now() - start);
  return status == -1 ? -1 : seconds;
}

std::size_t CountFiles(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return 0;
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
}

void Print(const char* label, int documents, double seconds, int pictures) {
  std::printf("%-26s %5d docs %8.3f s %9.0f docs/s  (%d pictures)\n", label, documents, seconds, documents / seconds,
              pictures);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(6, std::atoi(argv[1])) : 1000;
  std::string pattern = std::string(argc > 2 ? argv[2] : "/tmp") + "/glimpses-export-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 2;
  }
  const std::string root = pattern;
  Corpus corpus;
  if (!MakeCorpus(root + "/docs", count, corpus)) {
    std::fprintf(stderr, "export_bench: could not generate the documents (image service or samples missing)\n");
    fs::remove_all(root);
    return 2;
  }
  std::printf("%zu documents (%zu with XMP), %.1f MiB, in %s\n", corpus.all.size(), corpus.xmp.size(),
              static_cast<double>(corpus.bytes) / (1024 * 1024), root.c_str());

  const std::string out = root + "/out";
  TimeExport(corpus.all, out + "/warm-up", 2, 1);  // fills the page cache
  const Run one = TimeExport(corpus.all, out + "/one-job", 1, 3);
  const Run two = TimeExport(corpus.all, out + "/two-jobs", 2, 3);
  const Run xmpTwo = TimeExport(corpus.xmp, out + "/xmp", 2, 3);
  const int all = static_cast<int>(corpus.all.size()), xmp = static_cast<int>(corpus.xmp.size());
  Print("export, 1 job", all, one.seconds, one.result.picturesWritten);
  Print("export, 2 jobs", all, two.seconds, two.result.picturesWritten);
  Print("export XMP only, 2 jobs", xmp, xmpTwo.seconds, xmpTwo.result.picturesWritten);
  std::printf("2 jobs / 1 job: %.2fx\n", one.seconds / two.seconds);
  for (int kind : {0, 3, 4, 5}) {
    const Run run = TimeExport(corpus.byKind[kind], out + "/kind" + std::to_string(kind), 1, 3);
    const std::string label = std::string("  of which ") + kKindNames[kind] + ", 1 job";
    Print(label.c_str(), static_cast<int>(corpus.byKind[kind].size()), run.seconds, run.result.picturesWritten);
  }

  const std::string exifOut = out + "/exiftool";
  const double exif = TimeExiftool(root + "/docs/xmp", exifOut);
  if (exif < 0) {
    std::printf("exiftool: not installed, comparison skipped\n");
  } else {
    Print("exiftool batch, XMP only", xmp, exif, static_cast<int>(CountFiles(exifOut)));
    std::printf("export 2 jobs (all kinds) / exiftool: %.1fx\n", (all / two.seconds) / (xmp / exif));
    std::printf("export 2 jobs (XMP only) / exiftool: %.1fx\n", (xmp / xmpTwo.seconds) / (xmp / exif));
  }
  fs::remove_all(root);
  return 0;
}

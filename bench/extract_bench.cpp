// extract_bench [DIR [OUTROOT]]: how fast the XMP thumbnails of many documents come
// out, on one thread with a warm cache, next to an exiftool batch over the
// same folder. Without DIR it builds 1,000 documents (a few KiB to 3 MiB,
// about 1 MiB on average) in a temporary folder. With a folder made by
// make-corpus.sh it also checks every picture against DIR/.meta/truth.
// Pictures go to fresh folders under OUTROOT (default /tmp); a tmpfs such as
// /dev/shm keeps the file system's inode allocation out of the figures.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "extract/adobe_thumbnail.h"
#include "samples/adobe_samples.h"

namespace {

namespace fs = std::filesystem;
using glimpses::Bytes;
using Clock = std::chrono::steady_clock;

constexpr int kGeneratedDocuments = 1000;
constexpr std::size_t kMiB = 1 << 20;

struct Document {
  std::string path;
  std::string name;
  std::string expected;  // path of the picture it should give; empty: none or unknown
};

std::string MakeTempDir(const std::string& root, const char* tag) {
  std::string pattern = root + "/glimpses-bench-" + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  return pattern;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Builds the documents, and the pictures they hold, into `dir`.
std::vector<Document> GenerateDocuments(const std::string& dir) {
  using glimpses::DocumentKind;
  using glimpses::XmpForm;
  fs::create_directories(dir + "/.truth");
  std::mt19937 rng(42);
  const int dims[][2] = {{256, 181}, {256, 256}, {181, 256}, {128, 128}, {200, 150}, {256, 64}, {256, 200}};
  std::vector<Bytes> jpegs;
  for (int k = 0; k < 13; ++k) {
    const auto& d = dims[k % 7];
    jpegs.push_back(glimpses::SampleJpeg(d[0], d[1], k));
  }
  const DocumentKind kinds[] = {DocumentKind::kPdf, DocumentKind::kPdf, DocumentKind::kIllustrator, DocumentKind::kEps};
  const XmpForm forms[] = {XmpForm::kElement, XmpForm::kWrapped, XmpForm::kAttribute, XmpForm::kSingleQuoted};
  const char* extensions[] = {"pdf", "pdf", "ai", "eps"};
  std::vector<Document> documents;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < kGeneratedDocuments; ++i) {
    glimpses::AdobeSampleOptions options;
    int kind = i % 4;
    options.kind = kinds[kind];
    options.form = forms[(i / 4) % 4];
    options.thumbnailWidth = dims[i % 13 % 7][0];
    options.thumbnailHeight = dims[i % 13 % 7][1];
    double u = unit(rng);
    options.totalSize = 4096 + static_cast<std::size_t>(u * u * (3 * kMiB - 4096));
    // Most applications write the packet near the start; exiftool appends it
    // to small documents, so some thumbnails sit deep in the first MiB.
    if (i % 10 == 7) options.xmpOffset = static_cast<std::size_t>(unit(rng) * std::min(options.totalSize, kMiB) * 0.8);
    const Bytes& jpeg = jpegs[i % jpegs.size()];
    Bytes doc = glimpses::BuildAdobeDocument(jpeg, options);
    char name[32];
    std::snprintf(name, sizeof name, "d%05d.%s", i, extensions[kind]);
    Document d{dir + "/" + name, name, dir + "/.truth/" + name + "_T.jpg"};
    if (!glimpses::WriteFileAtomically(d.path, doc.data(), doc.size()) ||
        !glimpses::WriteFileAtomically(d.expected, jpeg.data(), jpeg.size())) {
      std::fprintf(stderr, "cannot write %s\n", d.path.c_str());
      return {};
    }
    documents.push_back(d);
  }
  return documents;
}

// The documents of a folder made by make-corpus.sh (or any folder), with
// their truth where the manifest gives one. pdf-resaved documents hold two
// packets; exiftool reads the newer, we the first, so they are not checked.
std::vector<Document> ListDocuments(const std::string& dir, int* skipped) {
  std::map<std::string, std::string> category;
  std::ifstream manifest(dir + "/.meta/manifest.tsv");
  for (std::string line; std::getline(manifest, line);) {
    std::stringstream fields(line);
    std::string name, cat;
    std::getline(fields, name, '\t');
    std::getline(fields, cat, '\t');
    category[name] = cat;
  }
  std::vector<Document> documents;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::string name = entry.path().filename().string();
    if (name.starts_with(".")) continue;
    std::string truth = dir + "/.meta/truth/" + name + "_T.jpg";
    if (category[name] == "pdf-resaved") {
      ++*skipped;
      truth.clear();
    } else if (!fs::exists(truth)) {
      truth.clear();
    }
    documents.push_back({entry.path().string(), name, truth});
  }
  std::sort(documents.begin(), documents.end(), [](const Document& a, const Document& b) { return a.name < b.name; });
  return documents;
}

void WarmCache(const std::vector<Document>& documents) {
  std::vector<char> buffer(1 << 20);
  std::size_t total = 0;
  for (const auto& d : documents) {
    glimpses::File f = glimpses::File::Open(d.path, "rb");
    if (!f) continue;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f.get())) total += n;
  }
  std::printf("warm cache: read %zu documents, %.1f MiB\n", documents.size(), total / double(kMiB));
}

bool CommandExists(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3) {
    std::fputs("usage: extract_bench [DIR [OUTROOT]]\n", stderr);
    return 2;
  }
  std::string outRoot = argc == 3 ? argv[2] : "/tmp";
  std::string generatedDir;
  std::string dir;
  int skipped = 0;
  std::vector<Document> documents;
  if (argc >= 2) {
    dir = argv[1];
    documents = ListDocuments(dir, &skipped);
  } else {
    generatedDir = dir = MakeTempDir("/tmp", "docs");
    std::printf("building %d documents in %s ...\n", kGeneratedDocuments, dir.c_str());
    documents = GenerateDocuments(dir);
  }
  if (documents.empty()) {
    std::fprintf(stderr, "no documents\n");
    return 2;
  }
  WarmCache(documents);

  std::string outDir = MakeTempDir(outRoot, "out");
  std::vector<std::string> outputs;
  for (const auto& d : documents) outputs.push_back(outDir + "/" + d.name + "_T.jpg");
  int written = 0;
  auto start = Clock::now();
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (glimpses::ExtractAdobeThumbnail(documents[i].path, outputs[i])) ++written;
  }
  double ours = Seconds(Clock::now() - start);
  double oursRate = documents.size() / ours;
  std::printf("glimpses: %zu documents, %d pictures, %.3f s: %.0f documents/s, %.1f us per document\n",
              documents.size(), written, ours, oursRate, 1e6 * ours / documents.size());

  int checked = 0, same = 0;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (documents[i].expected.empty()) continue;
    ++checked;
    auto want = glimpses::ReadWholeFile(documents[i].expected, 64 * kMiB);
    auto got = glimpses::ReadWholeFile(outputs[i], 64 * kMiB);
    if (want && got && *want == *got) {
      ++same;
    } else {
      std::printf("  differs: %s\n", documents[i].name.c_str());
    }
  }
  std::printf("check: %d of %d pictures equal the expected bytes (%d documents with two packets not checked)\n", same,
              checked, skipped);

  if (CommandExists("exiftool")) {
    std::string exifOut = MakeTempDir(outRoot, "exiftool");
    std::string command = "exiftool -q -q -b -ThumbnailImage -w '" + exifOut + "/%f.%e_T.jpg' '" + dir + "'";
    auto exifStart = Clock::now();
    int status = std::system(command.c_str());
    double exif = Seconds(Clock::now() - exifStart);
    std::size_t exifPictures = std::distance(fs::directory_iterator(exifOut), fs::directory_iterator());
    double exifRate = documents.size() / exif;
    std::printf("exiftool: %zu pictures, %.3f s: %.0f documents/s, %.1f us per document (status %d)\n", exifPictures,
                exif, exifRate, 1e6 * exif / documents.size(), WEXITSTATUS(status));
    std::printf("ratio: glimpses is %.1f times as fast as exiftool\n", oursRate / exifRate);
    fs::remove_all(exifOut);
  } else {
    std::printf("exiftool not installed (apt-get install libimage-exiftool-perl): no comparison\n");
  }
  fs::remove_all(outDir);
  if (!generatedDir.empty()) fs::remove_all(generatedDir);
  return 0;
}

// thumbnail_bench [--corpus DIR] [THUMBNAILER [FOLDER]]: file-manager
// thumbnails of 500 generated documents of every kind (or, with --corpus,
// of the Illustrator, EPS and PDF documents under DIR that hold a stored
// picture, five rounds), one process per document as the desktop runs
// them, with glimpses-thumbnailer, and with evince-thumbnailer on the
// Illustrator, EPS and PDF ones in the same run. Prints documents per second,
// the ratio on the documents both handle, and the slowest document, by the
// wall clock and by the CPU time the processes used (which a busy machine
// does not inflate). Documents and thumbnails go to a fresh folder under
// FOLDER (default /tmp); on a busy ext4 disk creating files costs more than
// reading the pictures, so a tmpfs such as /dev/shm shows the program alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"

namespace {

namespace fs = std::filesystem;
using glimpses::Bytes;
using glimpses::DocumentKind;
using Clock = std::chrono::steady_clock;

constexpr int kDocuments = 500;
constexpr int kSize = 256;

struct Document {
  std::string path;
  bool rendererHandles = false;  // AI, EPS or PDF
};

Bytes Adobe(DocumentKind kind, int width, int height, int seed) {
  glimpses::AdobeSampleOptions options;
  options.kind = kind;
  options.thumbnailWidth = width;
  options.thumbnailHeight = height;
  options.totalSize = static_cast<std::size_t>(50 + seed % 7 * 150) * 1024;
  return glimpses::BuildAdobeDocument(glimpses::SampleJpeg(width, height, seed), options);
}

// Seven kinds in turn: Illustrator with an XMP picture, Illustrator with a
// hex preview, EPS, InDesign, PDF, CorelDRAW ZIP and CorelDRAW RIFF.
std::vector<Document> Generate(const std::string& dir) {
  std::vector<Document> documents;
  for (int i = 0; i < kDocuments; ++i) {
    const int width = 128 + i % 5 * 32;
    const int height = 96 + i % 3 * 80;
    std::string base = dir + "/doc" + std::to_string(i);
    Document doc;
    Bytes bytes;
    switch (i % 7) {
      case 0:
        doc = {base + ".ai", true}, bytes = Adobe(DocumentKind::kIllustrator, width, height, i);
        break;
      case 1:
        doc = {base + ".ai", true}, bytes = glimpses::BuildHexPreviewAi(width / 2, height / 2, i % 2);
        break;
      case 2:
        doc = {base + ".eps", true}, bytes = Adobe(DocumentKind::kEps, width, height, i);
        break;
      case 3:
        doc = {base + ".indd", false}, bytes = Adobe(DocumentKind::kInDesign, width, height, i);
        break;
      case 4:
        doc = {base + ".pdf", true}, bytes = Adobe(DocumentKind::kPdf, width, height, i);
        break;
      case 5: {
        doc = {base + ".cdr", false};
        auto png = glimpses::SamplePngFile(width, height);
        if (!png || !glimpses::WriteCorelZip(doc.path, {{"previews/thumbnail.png", *png}})) return {};
        documents.push_back(doc);
        continue;
      }
      default:
        doc = {base + ".cdr", false};
        bytes = glimpses::BuildCorelRiff(1300, {{"DISP", glimpses::SampleDispData(width, height, 8), std::nullopt}});
    }
    if (!glimpses::WriteFileAtomically(doc.path, bytes.data(), bytes.size())) return {};
    documents.push_back(doc);
  }
  return documents;
}

bool HasRendererEnding(const fs::path& path) {
  std::string ending = path.extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
  return ending == ".ai" || ending == ".eps" || ending == ".pdf";
}

// The Illustrator, EPS and PDF documents under `dir`, in a stable order.
std::vector<Document> CorpusDocuments(const std::string& dir) {
  std::vector<Document> documents;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(dir, error)) {
    if (entry.is_regular_file() && HasRendererEnding(entry.path())) documents.push_back({entry.path().string(), true});
  }
  std::sort(documents.begin(), documents.end(), [](const Document& a, const Document& b) { return a.path < b.path; });
  return documents;
}

struct Timing {
  double seconds = 0;     // wall clock, as the user waits
  double cpuSeconds = 0;  // user + system of the process, which load on the machine does not inflate
  bool ok = false;
};

// Runs `program -s kSize document output` and waits for it.
Timing RunOnce(const std::string& program, const std::string& document, const std::string& output) {
  const auto start = Clock::now();
  pid_t child = fork();
  if (child == 0) {
    const std::string size = std::to_string(kSize);
    execl(program.c_str(), program.c_str(), "-s", size.c_str(), document.c_str(), output.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return {};
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  Timing timing{std::chrono::duration<double>(Clock::now() - start).count(),
                seconds(usage.ru_utime) + seconds(usage.ru_stime), WIFEXITED(status) && WEXITSTATUS(status) == 0};
  unlink(output.c_str());
  return timing;
}

struct Summary {
  int documents = 0, failures = 0;
  double total = 0, totalCpu = 0, worst = 0, worstCpu = 0;
  std::string worstDocument;
  double Rate() const { return total > 0 ? documents / total : 0; }
  double CpuRate() const { return totalCpu > 0 ? documents / totalCpu : 0; }
  void Add(const std::string& document, Timing timing) {
    ++documents;
    failures += timing.ok ? 0 : 1;
    total += timing.seconds;
    totalCpu += timing.cpuSeconds;
    worstCpu = std::max(worstCpu, timing.cpuSeconds);
    if (timing.seconds > worst) worst = timing.seconds, worstDocument = document;
  }
  void Print(const char* label) const {
    std::printf(
        "%-34s %3d docs  wall: %7.1f docs/s, worst %6.1f ms (%s)  cpu: %8.1f docs/s, worst %6.1f ms"
        "  failed %d\n",
        label, documents, Rate(), worst * 1000, fs::path(worstDocument).filename().c_str(), CpuRate(), worstCpu * 1000,
        failures);
  }
};

std::string FindEvince() {
  for (const char* candidate : {"/usr/bin/evince-thumbnailer", "/usr/local/bin/evince-thumbnailer"}) {
    if (access(candidate, X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus;
  if (argc > 2 && std::string(argv[1]) == "--corpus") {
    corpus = argv[2];
    argc -= 2, argv += 2;
  }
  const std::string thumbnailer = argc > 1 ? argv[1] : GLIMPSES_THUMBNAILER;
  std::string dir = std::string(argc > 2 ? argv[2] : "/tmp") + "/glimpses-thumbnail-bench-XXXXXX";
  if (!mkdtemp(dir.data())) {
    std::fprintf(stderr, "thumbnail_bench: cannot make a folder like %s\n", dir.c_str());
    return 2;
  }
  const std::string output = dir + "/out.png";
  std::vector<Document> documents;
  int rounds = 1;
  if (corpus.empty()) {
    documents = Generate(dir);
  } else {
    // Only documents with a stored picture: the others go to the renderer,
    // which a PATH without it keeps out of this first pass.
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    for (const Document& doc : CorpusDocuments(corpus)) {
      if (RunOnce(thumbnailer, doc.path, output).ok) documents.push_back(doc);
    }
    setenv("PATH", path.c_str(), 1);
    rounds = 5;
  }
  if (documents.empty()) {
    std::fprintf(stderr, "thumbnail_bench: cannot generate the documents in %s\n", dir.c_str());
    fs::remove_all(dir);
    return 2;
  }
  const std::string evince = FindEvince();

  Summary ours, oursShared, theirs;
  for (int round = 0; round < rounds; ++round) {
    for (const Document& doc : documents) {
      Timing timing = RunOnce(thumbnailer, doc.path, output);
      ours.Add(doc.path, timing);
      if (doc.rendererHandles) oursShared.Add(doc.path, timing);
      if (doc.rendererHandles && !evince.empty()) theirs.Add(doc.path, RunOnce(evince, doc.path, output));
    }
  }
  std::printf("%zu documents%s, %d round(s), thumbnails of %d px, one process each\n", documents.size(),
              corpus.empty() ? "" : " of the corpus with a stored picture", rounds, kSize);
  ours.Print("glimpses-thumbnailer, every kind");
  oursShared.Print("glimpses-thumbnailer, AI/EPS/PDF");
  if (evince.empty()) {
    std::printf("evince-thumbnailer is not installed: no comparison\n");
  } else {
    theirs.Print("evince-thumbnailer, AI/EPS/PDF");
    std::printf("ratio on AI/EPS/PDF: %.1fx wall, %.1fx cpu\n",
                theirs.Rate() > 0 ? oursShared.Rate() / theirs.Rate() : 0.0,
                theirs.CpuRate() > 0 ? oursShared.CpuRate() / theirs.CpuRate() : 0.0);
  }
  fs::remove_all(dir);
  return 0;
}

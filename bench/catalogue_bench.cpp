// catalogue_bench [--corpus DIR] [--work DIR] [--runs N] [--queries]: the catalogue's
// figures. Documents catalogued per second over the make-corpus.sh documents
// in DIR (1,000 of them) and over 100,000 hard links to them (100 folders,
// warm), with the real reader, at full speed on every core as
// `glimpses-cli catalogue` reads them; the catalogue's bytes per document;
// the time of font:, creator: and links: queries over the 100,000, alone and
// with a name term; and an exiftool batch (`exiftool -j`) over DIR as the
// anchor. make-corpus.sh documents carry no fonts or placed files, so the
// queries run on a second catalogue of the same 100,000 whose reader adds
// made-up fonts, swatches and placed files to what the real one reads.
// --queries times the queries alone, over that catalogue as an earlier run
// left it (only what changed since is read).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/document_kind.h"
#include "bench/bench_tree.h"
#include "catalogue/catalogue_store.h"
#include "metadata/document_metadata.h"
#include "search/document_filter.h"
#include "search/search_service.h"

namespace {

namespace fs = std::filesystem;
using glimpses::bench::Clock;
using glimpses::bench::Ms;

constexpr int kLinkFolders = 100;

std::vector<std::string> DocumentsIn(const std::string& dir) {
  std::vector<std::string> documents;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && glimpses::IsListedDocument(entry.path().filename().string()))
      documents.push_back(entry.path().string());
  }
  std::sort(documents.begin(), documents.end());
  return documents;
}

// 100 folders of hard links to `documents`, made once.
bool EnsureLinks(const std::vector<std::string>& documents, const std::string& tree) {
  const std::string stamp = tree + "/.complete";
  if (fs::exists(stamp)) return true;
  std::error_code error;
  fs::remove_all(tree, error);
  for (int folder = 0; folder < kLinkFolders; ++folder) {
    char name[16];
    std::snprintf(name, sizeof name, "/f%02d", folder);
    const std::string dir = tree + name;
    fs::create_directories(dir, error);
    for (const std::string& document : documents) {
      fs::create_hard_link(document, dir + "/" + fs::path(document).filename().string(), error);
      if (error) {
        std::fprintf(stderr, "catalogue_bench: cannot link into %s: %s\n", dir.c_str(), error.message().c_str());
        return false;
      }
    }
  }
  std::FILE* done = std::fopen(stamp.c_str(), "w");
  if (done != nullptr) std::fclose(done);
  return true;
}

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  return x;
}

// The real reader's answer with made-up fonts (6 of 300, the common ones
// far more often), swatches (4 of 200), placed files (3 photos of 20,000
// and one of 50 logos) and a making program (one of 8), drawn from the path.
glimpses::MetadataReader RichReader() {
  return [](const std::string& path) -> std::optional<glimpses::DocumentMetadata> {
    std::optional<glimpses::DocumentMetadata> metadata = glimpses::ReadDocumentMetadata(path);
    if (!metadata) return metadata;
    static const char* const kFamilies[] = {"Helvetica Neue", "Myriad Pro", "Minion Pro", "Garamond", "Futura",
                                            "Gill Sans",      "Frutiger",   "Univers",    "Avenir",   "Didot"};
    static const char* const kApplications[] = {"Illustrator", "InDesign",    "CorelDRAW",         "Photoshop",
                                                "Acrobat",     "QuarkXPress", "Affinity Designer", "Inkscape"};
    std::uint64_t seed = Mix(std::hash<std::string>()(path));
    auto next = [&](std::uint64_t bound) {
      seed = Mix(seed + 0x9e3779b97f4a7c15ull);
      return seed % bound;
    };
    for (int i = 0; i < 6; ++i) {
      const std::uint64_t rank = next(300) * next(300) / 300;  // skewed towards the first
      const std::string family = std::string(kFamilies[rank % 10]) + (rank < 10 ? "" : " " + std::to_string(rank / 10));
      metadata->fonts.push_back({family + "-Regular", family, "Regular", "OpenType", ""});
    }
    for (int i = 0; i < 4; ++i) metadata->swatches.push_back("PANTONE " + std::to_string(100 + next(200)) + " C");
    for (int i = 0; i < 3; ++i)
      metadata->links.push_back({"/srv/art/photo-" + std::to_string(next(20000)) + ".jpg", ""});
    metadata->links.push_back({"/srv/art/logo-" + std::to_string(next(50)) + ".ai", ""});
    metadata->application = kApplications[next(8)];
    metadata->version = "CC " + std::to_string(2014 + next(10));
    return metadata;
  };
}

struct Built {
  double seconds = 0;
  std::size_t documents = 0;
  std::int64_t bytes = 0;
};

// Builds the catalogue `file` over `root` (afresh unless `reuse`), its index
// built first.
std::optional<Built> Build(const std::string& root, const std::string& work, const std::string& file,
                           glimpses::MetadataReader reader, std::unique_ptr<glimpses::SearchService>* keep,
                           bool reuse = false) {
  if (!reuse) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(file + suffix);
  }
  glimpses::SearchOptions options;
  options.roots = {root};
  options.cacheDir = work + "/cache";
  options.catalogueFile = file;
  options.buildCatalogue = true;
  options.metadataReader = std::move(reader);
  std::unique_ptr<glimpses::SearchService> service = glimpses::EnsureSearchServiceRunning(options);
  const glimpses::RowsAnswer all = service->QueryRows("", glimpses::IsListedDocument);
  if (!all) return std::nullopt;
  Built built;
  built.documents = all->size();
  std::string error;
  const Clock::time_point start = Clock::now();
  if (!service->FillCatalogue(std::nullopt, {}, &error)) {
    std::fprintf(stderr, "catalogue_bench: %s\n", error.c_str());
    return std::nullopt;
  }
  built.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  built.bytes = static_cast<std::int64_t>(fs::file_size(file));
  if (keep != nullptr) *keep = std::move(service);
  return built;
}

void PrintBuilt(const char* what, const Built& built) {
  std::printf("  %-34s %7zu documents  %8.1f documents/s  (%.2f s)  %6.0f catalogue bytes/document\n", what,
              built.documents, built.documents / built.seconds, built.seconds,
              static_cast<double>(built.bytes) / static_cast<double>(built.documents));
}

// Median of `runs` answers to `text`, each asked afresh: its catalogue terms
// looked up, the index searched, the first rows made.
void TimeQuery(glimpses::SearchService& service, const std::string& text, int runs) {
  std::vector<double> times;
  std::size_t matches = 0;
  for (int run = 0; run < runs; ++run) {
    const Clock::time_point start = Clock::now();
    const glimpses::RowsAnswer rows = service.QueryRows(text, glimpses::IsListedDocument);
    times.push_back(Ms(Clock::now() - start));
    matches = rows ? rows->size() : 0;
  }
  std::sort(times.begin(), times.end());
  std::printf("  %-40s %7zu matches  %7.1f ms (best %.1f)\n", text.c_str(), matches, times[times.size() / 2],
              times.front());
}

// The build rates with the real reader, and exiftool's over the same
// documents.
bool BuildAndCompare(const std::string& corpus, const std::vector<std::string>& documents, const std::string& tree,
                     const std::string& work) {
  std::printf("catalogued with the real reader, %u cores, warm (the documents read once before):\n",
              std::thread::hardware_concurrency());
  for (const std::string& document : documents) glimpses::ReadDocumentMetadata(document);
  const std::optional<Built> small =
      Build(corpus, work, work + "/corpus.sqlite", glimpses::ReadDocumentMetadata, nullptr);
  const std::optional<Built> large = Build(tree, work, work + "/links.sqlite", glimpses::ReadDocumentMetadata, nullptr);
  if (!small || !large) return false;
  PrintBuilt("make-corpus.sh documents", *small);
  PrintBuilt("hard links to them, 100 folders", *large);

  if (std::system("command -v exiftool >/dev/null") == 0) {
    const std::string command = "exiftool -q -j '" + corpus + "' >/dev/null 2>&1";
    const Clock::time_point start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("  %-34s %7zu documents  %8.1f documents/s  (%.2f s%s): the catalogue is %.1fx\n",
                "exiftool -q -j DIR (every field)", documents.size(), documents.size() / seconds, seconds,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : ", exit status not 0",
                (small->documents / small->seconds) / (documents.size() / seconds));
  } else {
    std::printf("  exiftool not installed: no anchor\n");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus;
  std::string work = "/tmp/glimpses-catalogue-bench";
  int runs = 5;
  bool queriesOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (option == "--queries") queriesOnly = true;
    if (option == "--corpus") corpus = value;
    if (option == "--work") work = value;
    if (option == "--runs") runs = std::max(1, std::atoi(value));
  }
  fs::create_directories(work);
  if (corpus.empty()) {
    corpus = work + "/corpus";
    if (!fs::exists(corpus + "/.meta")) {
      std::printf("making 1000 documents with make-corpus.sh into %s\n", corpus.c_str());
      const std::string command = "/work/shared/bench/make-corpus.sh 1000 '" + corpus + "'";
      if (std::system(command.c_str()) != 0) return 2;
    }
  }
  const std::vector<std::string> documents = DocumentsIn(corpus);
  const std::string tree = work + "/links";
  if (documents.empty() || !EnsureLinks(documents, tree)) {
    std::fprintf(stderr, "catalogue_bench: no documents in %s\n", corpus.c_str());
    return 2;
  }
  glimpses::bench::PrintLoad();
  if (!queriesOnly && !BuildAndCompare(corpus, documents, tree, work)) return 2;

  std::unique_ptr<glimpses::SearchService> service;
  const std::optional<Built> rich = Build(tree, work, work + "/links-rich.sqlite", RichReader(), &service, queriesOnly);
  if (!rich) return 2;
  std::printf("queries over %zu documents whose reader adds made-up fonts, swatches and placed files, median of %d:\n",
              rich->documents, runs);
  if (!queriesOnly) PrintBuilt("(that catalogue)", *rich);
  for (const char* text : {"font:helvetica", "font:\"didot 29\"", "creator:illustrator", "creator:\"indesign cc 2019\"",
                           "links:logo-7.ai", "links:photo-4711", "d0001 font:helvetica", "d0001 creator:illustrator",
                           "d0001 links:logo-7.ai", "d00 font:garamond links:photo-1"})
    TimeQuery(*service, text, runs);
  return 0;
}

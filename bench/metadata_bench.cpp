// metadata_bench DIR: how many documents a second ReadDocumentMetadata
// reads, warm, on one thread and on two, next to an exiftool batch (`-j`)
// reading the same fields of the same documents. Give it the folder
// make-corpus.sh made (/work/shared/bench/make-corpus.sh 1000 DIR).
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/document_kind.h"
#include "metadata/document_metadata.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The fields both read: what the catalogue keeps of each document.
constexpr const char* kExiftoolFields =
    "-XMP-xmp:CreatorTool -XMP-pdf:Producer -XMP-xmp:CreateDate -XMP-xmp:ModifyDate -XMP-xmp:MetadataDate "
    "-XMP-dc:Title -XMP-dc:Creator -XMP-xmpTPg:NPages -XMP-xmpTPg:MaxPageSize -XMP-xmpTPg:PlateNames "
    "-XMP-xmpTPg:SwatchGroups -XMP-xmpTPg:Fonts -XMP-xmpMM:Manifest -XMP-xmpMM:Ingredients -XMP-xmpMM:DocumentID "
    "-XMP-xmpMM:InstanceID -XMP-xmpMM:OriginalDocumentID -PostScript:Creator -PostScript:Title -PDF:PDFVersion";

std::vector<std::string> Documents(const std::string& dir) {
  std::vector<std::string> documents;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string path = entry.path().string();
    if (entry.is_regular_file() && glimpses::KindOfName(path, glimpses::NameUse::kRead) != glimpses::DocumentKind::kNone) {
      documents.push_back(path);
    }
  }
  return documents;
}

// Reads every document on `threads` threads; the seconds it took and how
// many read.
std::pair<double, int> ReadAll(const std::vector<std::string>& documents, int threads) {
  std::atomic<std::size_t> next{0};
  std::atomic<int> read{0};
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < documents.size();) {
        if (glimpses::ReadDocumentMetadata(documents[i])) ++read;
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  return {std::chrono::duration<double>(Clock::now() - start).count(), read.load()};
}

double Best(const std::vector<std::string>& documents, int threads, int rounds, int* read) {
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    auto [seconds, count] = ReadAll(documents, threads);
    best = std::min(best, seconds);
    *read = count;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: metadata_bench DIR\n");
    return 2;
  }
  const std::vector<std::string> documents = Documents(argv[1]);
  if (documents.empty()) {
    std::fprintf(stderr, "metadata_bench: no documents in %s\n", argv[1]);
    return 2;
  }
  constexpr int kRounds = 3;
  int read = 0;
  ReadAll(documents, 1);  // warms the page cache
  const double one = Best(documents, 1, kRounds, &read);
  const double two = Best(documents, 2, kRounds, &read);
  std::printf("%zu documents (%d read), best of %d rounds, warm\n", documents.size(), read, kRounds);
  std::printf("  ReadDocumentMetadata, 1 thread   %8.1f documents/s  (%.3f s)\n", documents.size() / one, one);
  std::printf("  ReadDocumentMetadata, 2 threads  %8.1f documents/s  (%.3f s)\n", documents.size() / two, two);

  const std::string command = std::string("exiftool -q -j ") + kExiftoolFields + " '" + argv[1] + "' >/dev/null 2>&1";
  if (std::system("command -v exiftool >/dev/null") != 0) {
    std::printf("  exiftool not installed: no comparison\n");
    return 0;
  }
  const Clock::time_point start = Clock::now();
  const int status = std::system(command.c_str());
  const double exiftool = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("  exiftool -j, same fields         %8.1f documents/s  (%.3f s%s)\n", documents.size() / exiftool,
              exiftool, WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : ", exit status not 0");
  std::printf("  ReadDocumentMetadata on 2 threads is %.1fx exiftool\n", exiftool / two);
  return 0;
}

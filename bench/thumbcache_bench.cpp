// thumbcache_bench DOCUMENTS [--folder NAME] [--rounds N] [--cache PARENT]:
// the desktop thumbnail cache over the documents in the folder DOCUMENTS
// (make-corpus.sh's, say), one thread. Every document is read once first,
// so that the runs find them in the page cache. Then, each round with a
// fresh cache folder under PARENT (default /tmp): LoadThumbnail of every
// document with the cache empty (read, shrunk, written: "cold"), without
// writing ("read only": the document's part of that), and again with the
// cache filled ("warm"). Prints the time per document, by the wall clock and
// by the thread's CPU time (which a busy machine does not inflate), median
// and best of the rounds; then what the cache's PNG files, and libpng's at
// its zlib settings, cost to write and to read back, and weigh, for the
// same pictures. NAME: normal, large (default), x-large, xx-large.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/temp_folder.h"
#include "extract/png_codec.h"
#include "thumbcache/desktop_thumbnails.h"
#include "thumbcache/thumbnail_png.h"

namespace {

namespace fs = std::filesystem;
using glimpses::ThumbnailFolder;
using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Pass {
  double wallMs = 0;
  double cpuMs = 0;
  std::map<glimpses::ThumbnailSource, int> sources;
};

Pass LoadAll(const std::vector<std::string>& documents, ThumbnailFolder folder,
             const glimpses::ThumbnailCacheOptions& options, std::vector<glimpses::CImage>* pictures = nullptr) {
  Pass pass;
  const double cpu = ThreadCpuMs();
  const auto start = Clock::now();
  for (const std::string& document : documents) {
    glimpses::CachedThumbnail thumbnail = glimpses::LoadThumbnail(document, folder, options);
    ++pass.sources[thumbnail.source];
    if (pictures && !thumbnail.picture.IsNull()) pictures->push_back(std::move(thumbnail.picture));
  }
  pass.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  pass.cpuMs = ThreadCpuMs() - cpu;
  return pass;
}

std::uintmax_t BytesUnder(const std::string& folder) {
  std::uintmax_t total = 0;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file(error)) total += entry.file_size(error);
  }
  return total;
}

void Report(const char* label, std::vector<Pass> rounds, std::size_t documents) {
  auto perDocument = [&](double ms) { return ms / static_cast<double>(documents); };
  std::sort(rounds.begin(), rounds.end(), [](const Pass& a, const Pass& b) { return a.wallMs < b.wallMs; });
  const Pass& median = rounds[rounds.size() / 2];
  double bestCpu = rounds.front().cpuMs;
  for (const Pass& pass : rounds) bestCpu = std::min(bestCpu, pass.cpuMs);
  auto count = [&](glimpses::ThumbnailSource source) {
    auto found = median.sources.find(source);
    return found == median.sources.end() ? 0 : found->second;
  };
  std::printf("%-10s %8.3f ms (best %6.3f)   cpu %6.3f ms (best %6.3f)   cache %d, document %d, none %d\n", label,
              perDocument(median.wallMs), perDocument(rounds.front().wallMs), perDocument(median.cpuMs),
              perDocument(bestCpu), count(glimpses::ThumbnailSource::kCache),
              count(glimpses::ThumbnailSource::kDocument), count(glimpses::ThumbnailSource::kNone));
}

// The cache's own encoder against libpng's zlib at its settings, each
// written and read back (median of 3 rounds, per picture).
void CompareCompressions(const std::vector<glimpses::CImage>& pictures) {
  const glimpses::DocumentStamp stamp{"file:///bench/document.pdf", 1700000000, 123456};
  using Encoder = std::function<std::optional<glimpses::Bytes>(const glimpses::CImage&)>;
  auto zlib = [](glimpses::PngCompression compression) {
    return Encoder(
        [compression](const glimpses::CImage& picture) { return glimpses::EncodePng(picture, compression); });
  };
  const std::pair<const char*, Encoder> encoders[] = {
      {"the cache's",
       [&stamp](const glimpses::CImage& picture) { return glimpses::EncodeThumbnailPng(picture, stamp, "bench"); }},
      {"run-length", zlib(glimpses::PngCompression::kRunLength)},
      {"fastest", zlib(glimpses::PngCompression::kFast)},
      {"stored", zlib(glimpses::PngCompression::kNone)}};
  std::printf("PNG files of the %zu pictures, median of 3, per picture:\n", pictures.size());
  for (const auto& [name, encode] : encoders) {
    std::vector<double> writes, reads;
    std::size_t bytes = 0;
    for (int round = 0; round < 3; ++round) {
      std::vector<glimpses::Bytes> files;
      const double cpu = ThreadCpuMs();
      for (const glimpses::CImage& picture : pictures) files.push_back(*encode(picture));
      writes.push_back(ThreadCpuMs() - cpu);
      const double readCpu = ThreadCpuMs();
      for (const glimpses::Bytes& file : files) glimpses::ReadThumbnailPng(file.data(), file.size());
      reads.push_back(ThreadCpuMs() - readCpu);
      bytes = 0;
      for (const glimpses::Bytes& file : files) bytes += file.size();
    }
    std::sort(writes.begin(), writes.end());
    std::sort(reads.begin(), reads.end());
    std::printf("  %-11s write %6.3f ms   read %6.3f ms   %6.1f KB\n", name, writes[1] / pictures.size(),
                reads[1] / pictures.size(), bytes / 1024.0 / pictures.size());
  }
}

std::vector<std::string> DocumentsIn(const std::string& folder) {
  std::vector<std::string> documents;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) documents.push_back(entry.path().string());
  }
  std::sort(documents.begin(), documents.end());
  return documents;
}

int Usage() {
  std::fprintf(stderr, "usage: thumbcache_bench DOCUMENTS [--folder normal|large|x-large|xx-large] [--rounds N] "
                       "[--cache PARENT]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string documentsFolder, cacheParent = "/tmp";
  ThumbnailFolder folder = ThumbnailFolder::kLarge;
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--folder" && i + 1 < argc && glimpses::FolderNamed(argv[i + 1])) {
      folder = *glimpses::FolderNamed(argv[++i]);
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--cache" && i + 1 < argc) {
      cacheParent = argv[++i];
    } else if (documentsFolder.empty() && !arg.starts_with("-")) {
      documentsFolder = arg;
    } else {
      return Usage();
    }
  }
  if (documentsFolder.empty()) return Usage();
  const std::vector<std::string> documents = DocumentsIn(documentsFolder);
  if (documents.empty()) return Usage();
  for (const std::string& document : documents) glimpses::ReadWholeFile(document, SIZE_MAX);

  std::vector<Pass> cold, readOnly, warm;
  std::vector<glimpses::CImage> pictures;
  std::uintmax_t written = 0;
  for (int round = 0; round < rounds; ++round) {
    auto cache = glimpses::TempFolder::CreateIn(cacheParent, "thumbcache-bench-");
    if (!cache) return Usage();
    const glimpses::ThumbnailCacheOptions options{cache->Path("thumbnails"), true};
    readOnly.push_back(LoadAll(documents, folder, {options.root, false}, round == 0 ? &pictures : nullptr));
    cold.push_back(LoadAll(documents, folder, options));
    warm.push_back(LoadAll(documents, folder, options));
    written = BytesUnder(options.root);
  }
  std::printf("%zu documents, folder of %d px, %d rounds, per document:\n", documents.size(), glimpses::EdgeOf(folder),
              rounds);
  Report("cold", cold, documents.size());
  Report("read only", readOnly, documents.size());
  Report("warm", warm, documents.size());
  std::printf("cache written: %.1f MB, %.1f KB per document\n", written / 1e6,
              written / 1024.0 / static_cast<double>(documents.size()));
  CompareCompressions(pictures);
  return 0;
}

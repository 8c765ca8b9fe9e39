// Search figures on a large generated tree: index build time and memory,
// query latency with and without the freshness refresh (the one-shot path),
// answers sorted by size and by time,
// on the live index kept by change notifications, the time a new file takes
// to show on it, and the same queries through plocate. Prints figures;
// never fails on time.
//
//   search_bench [--tree DIR] [--runs N] [--no-plocate]
//
// The tree (1,000,000 entries in 100,100 folders) is generated once into DIR
// (default /tmp/glimpses-search-bench) and reused while its stamp file is
// there. On a slow disk, point --tree at a tmpfs such as /dev/shm.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "base/file_handle.h"
#include "bench/bench_tree.h"
#include "search/entry_facts.h"
#include "search/folder_watch.h"
#include "search/name_index.h"
#include "search/plocate_backend.h"
#include "search/query.h"

namespace {

using glimpses::bench::Clock;
using glimpses::bench::Ms;

// CPU time of the whole process (all threads), in ms: less disturbed than
// wall time by other work on the machine.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

struct Timing {
  double median = 0;
  double best = 0;
  std::size_t results = 0;
};

template <typename F>
Timing Measure(int runs, F&& run) {
  std::vector<double> times;
  std::size_t results = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    results = run();
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return Timing{times[times.size() / 2], times.front(), results};
}

// Sorting the answer of a one-word query by size and by time, both ways
// the facts could be had: read (stat) for the matches only, as the index
// does, or kept in the index, which would cost a stat of every entry at
// each crawl and 12 bytes an entry (a 64-bit size, 32-bit seconds).
void SortFigures(const glimpses::NameIndex& index, int runs) {
  using glimpses::SortKey;
  const glimpses::Query oneWord = glimpses::Query::Parse("design");
  index.Match(oneWord, {}, {SortKey::kModified, false});  // warm: the inodes in memory
  std::printf("\n%-34s %8s %18s\n", "sorted one-word answer (design)", "results", "ids in order (ms)");
  const std::pair<const char*, glimpses::SortOrder> orders[] = {
      {"by name (the index's own order)", {}},
      {"by size, stat of each match", {SortKey::kSize, false}},
      {"by time, stat of each match", {SortKey::kModified, false}},
      {"by folder", {SortKey::kFolder, false}},
      {"by time, reversed", {SortKey::kModified, true}}};
  for (const auto& [label, order] : orders) {
    const Timing timing = Measure(runs, [&] { return index.Match(oneWord, {}, order)->size(); });
    std::printf("%-34s %8zu %9.1f (best %5.1f)\n", label, timing.results, timing.median, timing.best);
  }

  // Kept in the index instead: the sort alone, on keys already in memory.
  const std::vector<glimpses::SearchResult> matches = *index.Search(oneWord);
  const Timing inMemory = Measure(runs, [&] {
    std::vector<std::uint32_t> order(matches.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return matches[a].modified < matches[b].modified; });
    return order.size();
  });
  std::printf("%-34s %8zu %9.1f (best %5.1f)\n", "by time, keys kept in the index", inMemory.results, inMemory.median,
              inMemory.best);
  const std::vector<glimpses::SearchResult> every = *index.Search(glimpses::Query::Parse(""));
  const auto start = Clock::now();
  for (const glimpses::SearchResult& entry : every) glimpses::ReadEntryFacts(entry.FullPath());
  std::printf(
      "kept in the index would cost: a stat of all %zu entries, %.0f ms warm, at every build;\n"
      "  %.1f bytes/entry instead of %.1f\n",
      every.size(), Ms(Clock::now() - start), double(index.MemoryBytes()) / index.EntryCount() + 12,
      double(index.MemoryBytes()) / index.EntryCount());
}

}  // namespace

int main(int argc, char** argv) {
  std::string treeRoot = "/tmp/glimpses-search-bench";
  int runs = 9;
  bool withPlocate = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--tree" && i + 1 < argc) {
      treeRoot = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--no-plocate") {
      withPlocate = false;
    } else {
      std::fprintf(stderr, "usage: search_bench [--tree DIR] [--runs N] [--no-plocate]\n");
      return 2;
    }
  }
  if (!glimpses::bench::EnsureTree(treeRoot)) return 2;
  glimpses::bench::PrintLoad();
  using glimpses::NameIndex;
  using glimpses::Query;
  const std::vector<std::string> roots = glimpses::NormalizeRoots({treeRoot});
  const long rssBefore = RssKb();
  NameIndex index(roots, false);
  auto start = Clock::now();
  index.Build();
  const double buildMs = Ms(Clock::now() - start);
  const long rssAfter = RssKb();
  std::printf("\nindex build           %8.0f ms   %zu entries, %zu folders\n", buildMs, index.EntryCount(),
              index.FolderCount());
  std::printf("index memory          %8.1f MB   (%.1f bytes/entry); process RSS delta %.1f MB\n",
              index.MemoryBytes() / 1e6, double(index.MemoryBytes()) / index.EntryCount(),
              (rssAfter - rssBefore) / 1024.0);

  char cacheDir[] = "/tmp/glimpses-search-bench-cache-XXXXXX";
  if (::mkdtemp(cacheDir) != nullptr) {
    const std::string cacheFile = std::string(cacheDir) + "/index.bin";
    start = Clock::now();
    const bool saved = index.Save(cacheFile);
    const double saveMs = Ms(Clock::now() - start);
    NameIndex loaded(roots, false);
    start = Clock::now();
    const bool ok = saved && loaded.Load(cacheFile);
    const double loadMs = Ms(Clock::now() - start);
    struct stat st {};
    ::stat(cacheFile.c_str(), &st);
    std::printf("cache file            save %.0f ms, load %.0f ms, %.1f MB%s\n", saveMs, loadMs, st.st_size / 1e6,
                ok ? "" : "  (FAILED)");
    ::unlink(cacheFile.c_str());
    ::rmdir(cacheDir);
  }

  start = Clock::now();
  const bool changed = index.Refresh();
  std::printf("first refresh         %8.1f ms   (changed: %s)\n", Ms(Clock::now() - start), changed ? "yes" : "no");
  {
    const double cpuBefore = CpuMs();
    start = Clock::now();
    for (int i = 0; i < runs; ++i) index.Refresh();
    std::printf("refresh, no change    %8.1f ms   wall per run; %.1f ms CPU per run (both threads)\n",
                Ms(Clock::now() - start) / runs, (CpuMs() - cpuBefore) / runs);
  }

  const char* const queries[][2] = {{"rare", "quasar nebula"}, {"common", "report pdf"}, {"one-word", "design"}};
  std::printf("\n%-9s %-15s %8s %18s %20s\n", "query", "text", "results", "query alone (ms)", "refresh+query (ms)");
  for (const auto& [label, text] : queries) {
    const Query query = Query::Parse(text);
    const Timing alone = Measure(runs, [&] { return index.Search(query)->size(); });
    const Timing refreshed = Measure(runs, [&] {
      index.Refresh();
      return index.Search(query)->size();
    });
    std::printf("%-9s %-15s %8zu %9.1f (best %5.1f) %9.1f (best %5.1f)\n", label, text, alone.results, alone.median,
                alone.best, refreshed.median, refreshed.best);
  }

  SortFigures(index, runs);

  // A change on disk: the refresh re-reads just that folder.
  const std::string newFile = treeRoot + "/" + glimpses::bench::TreeFolder(42, 7) + "/quasar new.pdf";
  glimpses::UniqueFd::Open(newFile, O_WRONLY | O_CREAT, 0644);
  start = Clock::now();
  index.Refresh();
  const std::size_t seen = index.Search(Query::Parse("quasar nebula|new"))->size();
  std::printf("after one new file    %8.1f ms   refresh+query, %zu results\n", Ms(Clock::now() - start), seen);
  ::unlink(newFile.c_str());
  index.Refresh();

  // The live index, as the window keeps it: watched by change notifications,
  // so an answer needs no walk; the answer is the ids in order, ready for
  // the list, which makes strings only for the rows it shows.
  {
    glimpses::FolderWatch watch;
    start = Clock::now();
    index.Watch(&watch);
    const double watchMs = Ms(Clock::now() - start);
    const auto coverage = index.WatchCoverage();
    std::printf(
        "\nlive: watches set     %8.0f ms   %zu folders without a watch; index memory with watch map %.1f MB "
        "(%.1f bytes/entry)\n",
        watchMs, coverage.unwatchedFolders, index.MemoryBytes() / 1e6,
        double(index.MemoryBytes()) / index.EntryCount());
    std::printf("%-9s %-15s %8s %24s %18s\n", "query", "text", "results", "live: catch-up+ids (ms)", "CPU per answer");
    for (const auto& [label, text] : queries) {
      const double cpuBefore = CpuMs();
      const Timing live = Measure(runs, [&] {
        const Query query = Query::Parse(text);
        index.CatchUp();
        return index.Match(query)->size();
      });
      std::printf("%-9s %-15s %8zu %9.1f (best %5.1f) %13.1f ms\n", label, text, live.results, live.median, live.best,
                  (CpuMs() - cpuBefore) / runs);
    }
    // From creating a file to its being in an answer, with no query between:
    // what the window's watcher thread does.
    const std::string liveFile = treeRoot + "/" + glimpses::bench::TreeFolder(17, 3) + "/quasar live.pdf";
    const Query liveQuery = Query::Parse("quasar live");
    std::vector<double> visible;
    for (int i = 0; i < runs; ++i) {
      const auto created = Clock::now();
      const int liveFd = ::open(liveFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (liveFd >= 0) ::close(liveFd);
      pollfd waiting{watch.fd(), POLLIN, 0};
      while (index.Match(liveQuery)->empty() && ::poll(&waiting, 1, 1000) > 0) index.ApplyChanges();
      visible.push_back(Ms(Clock::now() - created));
      ::unlink(liveFile.c_str());
      ::poll(&waiting, 1, 1000);
      index.ApplyChanges();
    }
    std::sort(visible.begin(), visible.end());
    std::printf("new file visible      %8.2f ms   median of %d (best %.2f), no query in between\n",
                visible[visible.size() / 2], runs, visible.front());
  }

  if (!withPlocate) return 0;
  if (!glimpses::ProgramAvailable("plocate") || !glimpses::ProgramAvailable("updatedb")) {
    std::printf("\nplocate: not installed, skipped\n");
    return 0;
  }
  const std::string database = "/tmp/glimpses-search-bench.plocate.db";
  const std::string update =
      "updatedb -U '" + treeRoot + "' -o '" + database + "' -l 0 --prunepaths '' --prunefs '' --prunenames ''";
  start = Clock::now();
  const int updateStatus = std::system(update.c_str());
  std::printf("\nupdatedb              %8.0f ms%s\n", Ms(Clock::now() - start), updateStatus == 0 ? "" : "  (FAILED)");
  glimpses::PlocateOptions options;
  options.roots = roots;
  options.database = database;
  std::printf("%-9s %-15s %8s %18s %20s\n", "query", "text", "results", "plocate -i (ms)", "plocate backend (ms)");
  for (const auto& [label, text] : queries) {
    const std::string raw = "plocate -i -d '" + database + "' -- " + text + " > /dev/null";
    const Timing plain = Measure(runs, [&] { return static_cast<std::size_t>(std::system(raw.c_str())); });
    const Query query = Query::Parse(text);
    const Timing backend = Measure(runs, [&] {
      const auto answer = glimpses::QueryPlocate(query, options);
      return answer ? answer->size() : 0;
    });
    std::printf("%-9s %-15s %8zu %9.1f (best %5.1f) %9.1f (best %5.1f)\n", label, text, backend.results, plain.median,
                plain.best, backend.median, backend.best);
  }
  ::unlink(database.c_str());
  return 0;
}

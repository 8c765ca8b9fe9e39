// The real window's grid over 10,000 results: hard links of the documents
// of DOCUMENTS (made by make-corpus.sh), as many rounds of them as make the
// results, so each result is a path of its own and its picture is made for
// it alone. Prints, for cells of 256 px on a window showing about 30:
//
//   - first screen, cold: from the answer to the cells on screen painted
//     with their pictures, the desktop's thumbnail cache empty
//     (XDG_CACHE_HOME is a fresh folder), the documents in the page cache;
//   - first screen, warm: the same in a new window over the thumbnail cache
//     the first one left;
//   - all pictures: until the window's picture pool has made every result's
//     (shown in the grid), and cache written: until it has also written
//     every one of them to the desktop's thumbnail cache, which it does
//     behind the pictures, with the number of cache files on disk;
//   - the longest stall of the window thread while the grid scrolls from top
//     to bottom at a line of cells a frame (60 lines a second);
//   - peak memory (VmHWM);
//   - all pictures, warm: every result's picture again, by a new pool over
//     the cache the window filled.
//
//   grid_bench DOCUMENTS [--results N]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; everything it makes
// lives in a private folder under /tmp removed at the end. Never fails on
// time.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/main_window.h"
#include "app/preferences.h"
#include "app/result_grid.h"
#include "base/document_kind.h"
#include "base/temp_folder.h"
#include "bench/bench_tree.h"
#include "search/search_service.h"

namespace {

namespace fs = std::filesystem;
using glimpses::bench::Clock;
using glimpses::bench::Ms;

constexpr int kCellEdge = 256;
// Six columns of five lines of 256 px cells.
constexpr QSize kWindowSize{1930, 1480};
constexpr char kQuery[] = "ext:pdf;ai;eps;indd;cdr";

// The documents of `folder` (not below it), read once so that they are in
// the page cache.
std::vector<fs::path> DocumentsIn(const fs::path& folder) {
  std::vector<fs::path> documents;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (!entry.is_regular_file() || glimpses::KindOfName(entry.path().filename().string(),
                                                         glimpses::NameUse::kListed) == glimpses::DocumentKind::kNone) {
      continue;
    }
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
    documents.push_back(entry.path());
  }
  std::sort(documents.begin(), documents.end());
  return documents;
}

// `count` paths under `tree`: round r holds links to the documents in
// tree/rNN/. False when a link cannot be made (another file system: give a
// DOCUMENTS folder on the same one as /tmp).
bool LinkResults(const std::vector<fs::path>& documents, const fs::path& tree, int count) {
  for (int made = 0, round = 0; made < count; ++round) {
    const fs::path folder = tree / ("r" + std::to_string(round));
    fs::create_directories(folder);
    for (std::size_t i = 0; i < documents.size() && made < count; ++i, ++made) {
      std::error_code error;
      fs::create_hard_link(documents[i], folder / documents[i].filename(), error);
      if (error) {
        std::fprintf(stderr, "grid_bench: cannot link %s: %s\n", documents[i].c_str(), error.message().c_str());
        return false;
      }
    }
  }
  return true;
}

// CPU time in ms of the whole process, or of the calling thread: on a busy
// machine much of the wall time is waiting for a core.
double CpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// How long the calling thread has waited for a core while it could run, in
// ms (Linux's schedstat); 0 when unknown.
double RunQueueMs() {
  std::ifstream schedstat("/proc/thread-self/schedstat");
  double runningNs = 0, waitingNs = 0;
  schedstat >> runningNs >> waitingNs;
  return waitingNs / 1e6;
}

std::string PeakMemory() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return line.substr(6 + line.substr(6).find_first_not_of(" \t"));
  }
  return "unknown";
}

bool HasPicturesOnScreen(glimpses::MainController& controller, const glimpses::ResultGrid& grid) {
  const auto [first, last] = grid.VisibleRows();
  if (first < 0) return false;
  for (int row = first; row <= last; ++row) {
    const std::optional<glimpses::SearchResult> result = controller.resultModel()->ResultAt(row);
    if (!result || controller.pictures()->Find(*result) == nullptr) return false;
  }
  return true;
}

// A window over the search, arranged to show the grid's cells of 256 px.
struct Window {
  explicit Window(const std::shared_ptr<glimpses::SearchService>& service, const std::string& settingsPath) {
    glimpses::Preferences preferences;
    preferences.window = {kWindowSize, false, 1.0, true, kCellEdge};
    glimpses::SavePreferences(glimpses::PreferencesPathBeside(settingsPath), preferences);
    glimpses::MainControllerSetup setup;
    setup.service = service;
    setup.settingsPath = settingsPath;
    controller = std::make_unique<glimpses::MainController>(std::move(setup));
    window = std::make_unique<glimpses::MainWindow>(*controller, QIcon(), QImage());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) std::printf("(the window was not exposed)\n");
    grid = window->findChild<glimpses::ResultGrid*>(QStringLiteral("resultGrid"));
  }

  // From the answer to the first screen of cells painted with their
  // pictures, in ms.
  double FirstScreen() {
    std::optional<Clock::time_point> answered;
    QObject::connect(controller.get(), &glimpses::MainController::searchFinished, [&] { answered = Clock::now(); });
    controller->SetKeywordText(QString::fromLatin1(kQuery));
    controller->SearchDocuments();
    while (!answered || !HasPicturesOnScreen(*controller, *grid)) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    grid->viewport()->repaint();
    return Ms(Clock::now() - *answered);
  }

  std::unique_ptr<glimpses::MainController> controller;
  std::unique_ptr<glimpses::MainWindow> window;
  glimpses::ResultGrid* grid = nullptr;
};

// The cache files are written without a word to the window thread: it
// looks every millisecond.
void WaitForCacheWrites(const glimpses::PicturePool& pool) {
  while (pool.PendingWrites() > 0) {
    QCoreApplication::processEvents();
    usleep(1000);
  }
}

// The cache files on disk, and their bytes.
std::pair<int, std::uintmax_t> CacheFiles(const fs::path& cache) {
  int files = 0;
  std::uintmax_t bytes = 0;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(cache, error)) {
    if (!entry.is_regular_file(error)) continue;
    ++files;
    bytes += entry.file_size(error);
  }
  return {files, bytes};
}

std::vector<glimpses::PicturePool::Request> EveryResult(Window& window) {
  glimpses::ResultListModel* model = window.controller->resultModel();
  std::vector<glimpses::PicturePool::Request> requests;
  for (int row = 0; row < model->rowCount(); ++row) {
    if (std::optional<glimpses::SearchResult> result = model->ResultAt(row)) requests.push_back({row, *result});
  }
  return requests;
}

// Every result's picture through `pool`; then, for a pool that writes the
// desktop's cache, until the last cache file is written.
void MakeAll(glimpses::PicturePool& pool, const std::vector<glimpses::PicturePool::Request>& requests,
             const char* label, const fs::path& cache) {
  const std::uint64_t madeBefore = pool.Made();
  const double cpuStart = CpuMs();
  const auto start = Clock::now();
  pool.Want(requests, kCellEdge);
  while (pool.Pending() > 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  std::printf("%-21s %8.0f ms  (%.0f ms of CPU; %llu made for %zu results, 256 px)\n", label, Ms(Clock::now() - start),
              CpuMs() - cpuStart, static_cast<unsigned long long>(pool.Made() - madeBefore), requests.size());
  if (pool.PendingWrites() == 0) return;
  WaitForCacheWrites(pool);
  const auto [files, bytes] = CacheFiles(cache);
  std::printf("cache written         %8.0f ms  (%.0f ms of CPU; %d files, %.0f MB, on disk)\n",
              Ms(Clock::now() - start), CpuMs() - cpuStart, files, bytes / 1e6);
}

// Scrolls the grid from top to bottom a line of cells every 16 ms, while a
// 1 ms heartbeat notes the longest time the window thread could not answer.
void ScrollThrough(Window& window) {
  QTest::keyClick(window.window.get(), Qt::Key_2, Qt::ControlModifier);
  QScrollBar* bar = window.grid->verticalScrollBar();
  bar->setValue(0);
  QCoreApplication::processEvents();
  const int step = window.grid->gridSize().height();

  // A gap is the wall time between two beats; the window thread's own CPU
  // time in it, and its time waiting for a core, tell its work from the
  // machine's.
  double longest = 0, busyInLongest = 0, waitingInLongest = 0, longestBusy = 0;
  int over33 = 0;
  Clock::time_point last = Clock::now();
  double lastCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID);
  double lastWaiting = RunQueueMs();
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  heartbeat.setInterval(1);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    const double cpu = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double waiting = RunQueueMs();
    const double gap = Ms(now - last);
    if (gap > longest) {
      longest = gap;
      busyInLongest = cpu - lastCpu;
      waitingInLongest = waiting - lastWaiting;
    }
    longestBusy = std::max(longestBusy, cpu - lastCpu);
    if (gap > 33) ++over33;
    last = now;
    lastCpu = cpu;
    lastWaiting = waiting;
  });
  QTimer scroll;
  scroll.setTimerType(Qt::PreciseTimer);
  scroll.setInterval(16);
  bool done = false;
  QObject::connect(&scroll, &QTimer::timeout, [&] {
    if (bar->value() >= bar->maximum()) done = true;
    bar->setValue(bar->value() + step);
  });
  const auto start = Clock::now();
  last = start;
  heartbeat.start();
  scroll.start();
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  std::printf("scrolled to the end   %8.0f ms  (%d px, a line of %d px every 16 ms)\n", Ms(Clock::now() - start),
              bar->maximum(), step);
  std::printf(
      "longest stall         %8.1f ms  (of it %.1f ms the window thread's own work, %.1f ms waiting for a core;"
      " %d over 33 ms)\n",
      longest, busyInLongest, waitingInLongest, over33);
  std::printf("longest busy          %8.1f ms  (the window thread's most CPU between two beats)\n", longestBusy);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string documentsFolder;
  int results = 10'000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--results" && i + 1 < argc) {
      results = std::max(1, std::atoi(argv[++i]));
    } else if (documentsFolder.empty() && arg[0] != '-') {
      documentsFolder = arg;
    } else {
      std::fprintf(stderr, "usage: grid_bench DOCUMENTS [--results N]\n");
      return 2;
    }
  }
  if (documentsFolder.empty()) {
    std::fprintf(stderr, "usage: grid_bench DOCUMENTS [--results N]\n");
    return 2;
  }
  const std::vector<fs::path> documents = DocumentsIn(documentsFolder);
  std::optional<glimpses::TempFolder> scratch = glimpses::TempFolder::CreateIn("/tmp", "glimpses-grid-bench-");
  if (documents.empty() || !scratch) {
    std::fprintf(stderr, "grid_bench: no documents in %s, or no folder in /tmp\n", documentsFolder.c_str());
    return 2;
  }
  if (!LinkResults(documents, scratch->Path("tree"), results)) return 2;
  // The thumbnail cache starts empty, and is this run's alone.
  fs::create_directories(scratch->Path("cache"));
  setenv("XDG_CACHE_HOME", scratch->Path("cache").c_str(), 1);

  QApplication app(argc, argv);
  glimpses::bench::PrintLoad();
  glimpses::SearchOptions options;
  options.roots = {scratch->Path("tree")};
  options.cacheDir = scratch->Path("index");
  const std::shared_ptr<glimpses::SearchService> service = glimpses::EnsureSearchServiceRunning(options);
  service->QueryRows(kQuery, {});  // waits for the index
  std::printf("%d results: links to %zu documents of %s\n", results, documents.size(), documentsFolder.c_str());

  const std::string settings = scratch->Path("Glimpses.ini");
  const fs::path cache = scratch->Path("cache/thumbnails");
  {
    Window cold(service, settings);
    const auto start = Clock::now();
    const double ms = cold.FirstScreen();
    const auto [first, last] = cold.grid->VisibleRows();
    std::printf("first screen, cold    %8.1f ms  (%d cells of %d px on screen)\n", ms, last - first + 1, kCellEdge);
    // The window's cache files are written behind its pictures; one closed
    // at once would leave them unwritten.
    WaitForCacheWrites(*cold.controller->pictures());
    std::printf("  its cache written   %8.1f ms  (%d files)\n", Ms(Clock::now() - start), CacheFiles(cache).first);
  }
  Window warm(service, settings);
  std::printf("first screen, warm    %8.1f ms\n", warm.FirstScreen());
  // The grid out of the way (the list shown), so that it asks for nothing
  // meanwhile.
  QTest::keyClick(warm.window.get(), Qt::Key_1, Qt::ControlModifier);
  const std::vector<glimpses::PicturePool::Request> requests = EveryResult(warm);
  MakeAll(*warm.controller->pictures(), requests, "all pictures", cache);
  ScrollThrough(warm);
  std::printf("peak memory           %s\n", PeakMemory().c_str());
  glimpses::PicturePool fresh;
  MakeAll(fresh, requests, "all pictures, warm", cache);
  return 0;
}

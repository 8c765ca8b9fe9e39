// Typing into the real window over the index of the generated tree
// (1,000,100 entries, see bench_tree.h): each query text is typed key by
// key, and for each key the time runs from the key press to the list
// showing the answer for the text typed so far (the answer in the list and
// the status line, the rows on screen painted). Prints median, p95 and
// max per query class; never fails on time.
//
//   typing_bench [--tree DIR] [--rounds N]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. The index is kept
// current by change notifications, as in the window; the cache file it
// writes lives in a private folder removed at the end.
#include <time.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "app/main_window.h"
#include "base/temp_folder.h"
#include "bench/bench_tree.h"
#include "search/document_filter.h"
#include "search/search_service.h"

namespace {

using glimpses::bench::Clock;
using glimpses::bench::Ms;

struct QueryClass {
  const char* label;
  const char* text;
};

// The classes of search_bench and one of each other kind of term.
constexpr QueryClass kClasses[] = {
    {"rare", "quasar nebula"}, {"common", "report pdf"},       {"one-word", "design"},         {"wildcard", "logo*.ai"},
    {"path", "42/poster pdf"}, {"ext:", "winter ext:pdf;eps"}, {"OR/NOT", "menu|card !draft"},
};

// The list shows the answer once its rows on screen are painted with their
// text; a run still being read arrives through the event loop.
void PaintAnswer(QTreeView* list) {
  QAbstractItemModel* model = list->model();
  list->viewport()->repaint();
  while (model->rowCount() > 0 && !model->data(model->index(0, 0)).isValid()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    list->viewport()->repaint();
  }
}

// CPU time of the whole process (all threads), in ms: on a busy machine
// the wall time a key takes is mostly waiting for a core.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct KeyTime {
  double wallMs;
  double cpuMs;
};

// Presses `key` and waits until the window shows the answer for the text.
KeyTime TypeKey(glimpses::MainController& controller, QLineEdit* edit, QTreeView* list, char key) {
  bool answered = false;
  const QMetaObject::Connection connection =
      QObject::connect(&controller, &glimpses::MainController::searchFinished, [&] { answered = true; });
  const double cpuStart = CpuMs();
  const auto start = Clock::now();
  QTest::keyClick(edit, key);
  while (!answered) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  PaintAnswer(list);
  const KeyTime time{Ms(Clock::now() - start), CpuMs() - cpuStart};
  QObject::disconnect(connection);
  return time;
}

// Median, p95 and max of `times`.
std::string Figures(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  auto at = [&](double fraction) {
    return times[std::min(times.size() - 1, static_cast<std::size_t>(fraction * times.size()))];
  };
  char text[64];
  std::snprintf(text, sizeof text, "%6.1f %6.1f %7.1f", at(0.5), at(0.95), times.back());
  return text;
}

// Waits for the index: built or loaded, then watched. The watcher takes the
// index as soon as it is ready, so the second answer waits for its first
// catch-up if the first did not.
void WaitForTheIndex(glimpses::SearchService& service) {
  const auto start = Clock::now();
  service.QueryRows("quasar nebula", {});
  QTest::qWait(200);
  service.QueryRows("quasar nebula", {});
  std::printf("index built and watched %6.0f ms, %zu folders without a watch\n", Ms(Clock::now() - start),
              service.Coverage().unwatchedFolders);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string treeRoot = "/tmp/glimpses-search-bench";
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--tree" && i + 1 < argc) {
      treeRoot = argv[++i];
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: typing_bench [--tree DIR] [--rounds N]\n");
      return 2;
    }
  }
  if (!glimpses::bench::EnsureTree(treeRoot)) return 2;
  std::optional<glimpses::TempFolder> scratch = glimpses::TempFolder::CreateIn("/tmp", "glimpses-typing-bench-");
  if (!scratch) {
    std::fprintf(stderr, "typing_bench: cannot make a folder in /tmp\n");
    return 2;
  }
  glimpses::bench::PrintLoad();

  glimpses::SearchOptions options;
  options.roots = {treeRoot};
  options.cacheDir = scratch->Path("index");
  glimpses::MainControllerSetup setup;
  setup.service = glimpses::EnsureSearchServiceRunning(options);
  setup.settingsPath = scratch->Path("Glimpses.ini");
  glimpses::MainController controller(std::move(setup));
  glimpses::MainWindow window(controller, QIcon(), QImage());
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) std::printf("(the window was not exposed: rows are not painted)\n");
  auto* edit = window.findChild<QLineEdit*>(QStringLiteral("keywordEdit"));
  auto* list = window.findChild<QTreeView*>(QStringLiteral("resultList"));
  WaitForTheIndex(*controller.service());

  std::printf("\n%-9s %-20s %7s %5s %21s %21s\n", "", "", "", "", "wall (ms)", "CPU (ms)");
  std::printf("%-9s %-20s %7s %5s %6s %6s %7s %6s %6s %7s\n", "class", "text", "listed", "keys", "median", "p95", "max",
              "median", "p95", "max");
  std::vector<double> allWall, allCpu;
  for (const auto& [label, text] : kClasses) {
    std::vector<double> wall, cpu;
    bool agrees = true;
    for (int round = 0; round < rounds; ++round) {
      edit->clear();  // set by code: no search
      for (const char* key = text; *key != '\0'; ++key) {
        const KeyTime time = TypeKey(controller, edit, list, *key);
        wall.push_back(time.wallMs);
        cpu.push_back(time.cpuMs);
      }
      // The list holds what a query of the whole text lists.
      const glimpses::RowsAnswer expected = controller.service()->QueryRows(text, glimpses::IsListedDocument);
      agrees = agrees && expected && static_cast<std::size_t>(list->model()->rowCount()) == expected->size();
    }
    allWall.insert(allWall.end(), wall.begin(), wall.end());
    allCpu.insert(allCpu.end(), cpu.begin(), cpu.end());
    std::printf("%-9s %-20s %7d %5zu %s %s%s\n", label, text, list->model()->rowCount(), wall.size(),
                Figures(wall).c_str(), Figures(cpu).c_str(), agrees ? "" : "  (the list differs from the answer!)");
  }
  std::printf("%-9s %-20s %7s %5zu %s %s\n", "all", "", "", allWall.size(), Figures(allWall).c_str(),
              Figures(allCpu).c_str());
  return 0;
}

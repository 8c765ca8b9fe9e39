// glimpses-cli export: the batch export of the window, with a progress bar
// on a terminal and a clean stop on an interrupt.
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress_bar.h"
#include "export/export.h"

namespace glimpses {

namespace {

constexpr OptionInfo kOptions[] = {
    {"out", 0, "DIR", "write the pictures into DIR (made when missing)"},
    {"jobs", 0, "N", "extract with N threads, 1 to 1024 (default: one per core)"},
};

struct ExportCommandLine {
  SearchOptions search;
  int jobs = 0;
  std::string outputFolder;
  std::vector<std::string> keywords;
};

bool ParseJobs(const std::string& text, int& jobs) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, jobs);
  return ec == std::errc() && ptr == end && jobs >= 1 && jobs <= 1024;
}

// Parses into `line`; returns -1 on success, otherwise the exit status.
int ParseCommandLine(int argc, char** argv, ExportCommandLine& line) {
  ParsedArguments parsed = ParseArguments(argc, argv, kExportCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  line.outputFolder = parsed.Value("out").value_or("");
  if (const auto jobs = parsed.Value("jobs"); jobs && !ParseJobs(*jobs, line.jobs)) {
    return UsageError(kExportCommand, "option --jobs needs a number from 1 to 1024");
  }
  line.search = std::move(parsed.search);
  line.keywords = std::move(parsed.operands);
  if (line.outputFolder.empty()) return UsageError(kExportCommand, "no output folder given (--out DIR)");
  if (line.keywords.empty()) return UsageError(kExportCommand, "no keywords given (use \"\" to export every entry)");
  if (const std::string error = QuerySyntaxError(JoinKeywords(line.keywords)); !error.empty()) {
    std::fprintf(stderr, "glimpses-cli export: %s\n", error.c_str());
    return 2;
  }
  return -1;
}

// Set by the SIGINT/SIGTERM handler; a signal handler can only store a flag.
volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// Turns an interrupt into a stop request, so that the export ends after the
// pictures under way and leaves neither half a picture nor a temporary file.
// The service is shut down too: a first index build still running would
// otherwise hold the query, and the interrupt, for minutes.
class InterruptWatch {
 public:
  InterruptWatch(std::stop_source source, SearchService& service) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
    watcher_ = std::jthread([source, &service](std::stop_token ownStop) mutable {
      while (!ownStop.stop_requested()) {
        if (interrupted && source.request_stop()) service.Shutdown();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
  }
  ~InterruptWatch() {
    watcher_.request_stop();
    watcher_.join();
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
  std::jthread watcher_;
};

}  // namespace

const Subcommand kExportCommand = {"export", "[OPTION]... --out DIR KEYWORDS...", kOptions, true};

int RunExportCommand(int argc, char** argv) {
  ExportCommandLine line;
  if (int status = ParseCommandLine(argc, argv, line); status >= 0) return status;

  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(line.search);
  // A metadata term answers from the catalogue: what it lacks is read first.
  std::string catalogueError;
  if (UsesMetadata(JoinKeywords(line.keywords)) &&
      !ReadIntoCatalogue(*service, std::nullopt, nullptr, &catalogueError)) {
    std::fprintf(stderr, "glimpses-cli export: %s\n", catalogueError.c_str());
    return 2;
  }

  std::stop_source stop;
  ProgressBar bar;
  ExportOptions options;
  options.jobs = line.jobs;
  options.stopToken = stop.get_token();
  if (isatty(STDERR_FILENO)) options.progress = [&bar](int done, int total) { bar.Show(done, total); };

  ExportResult result;
  {
    InterruptWatch watch(stop, *service);
    result = ExportThumbnails(*service, JoinKeywords(line.keywords), line.outputFolder, options);
  }
  bar.Finish();
  for (const std::string& failure : result.failures) std::fprintf(stderr, "glimpses-cli export: %s\n", failure.c_str());
  if (result.failed > static_cast<int>(result.failures.size())) {
    std::fprintf(stderr, "glimpses-cli export: %d more documents failed\n",
                 result.failed - static_cast<int>(result.failures.size()));
  }
  if (result.ok() || result.errorKind == ExportError::kOutputFull) {
    std::printf("%d documents, %d pictures written, %d without thumbnail, %d failed\n", result.documents,
                result.picturesWritten, result.withoutThumbnail, result.failed);
  }
  if (!result.ok()) {
    std::fprintf(stderr, "glimpses-cli export: %s\n", result.error.c_str());
    return 2;
  }
  if (result.cancelled) {
    std::fputs("glimpses-cli export: interrupted; the pictures written so far are whole\n", stderr);
    return 2;
  }
  if (result.failed > 0) return 2;
  return 0;
}

}  // namespace glimpses

// glimpses-cli export: the batch export of the window, with a progress bar
// on a terminal and a clean stop on an interrupt; or, with --contact-sheet,
// the matches' pictures on the pages of one PDF.
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

#include "base/file_util.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "contact_sheet/contact_sheet.h"
#include "cli/progress_bar.h"
#include "export/export.h"
#include "search/document_filter.h"

namespace glimpses {

namespace {

constexpr OptionInfo kOptions[] = {
    {"out", 0, "DIR", "write the pictures into DIR (made when missing)"},
    {"jobs", 0, "N", "extract with N threads, 1 to 1024 (default: one per core)"},
    {"contact-sheet", 0, "FILE", "instead, write the matches' pictures into one PDF"},
    {"page", 0, "SIZE", "the contact sheet's pages: a4 (default) or letter"},
    {"columns", 0, "N", "the contact sheet's columns, 1 to 12 (default 4)"},
};

struct ExportCommandLine {
  SearchOptions search;
  int jobs = 0;
  std::string outputFolder;
  std::string contactSheet;
  SheetPage page = SheetPage::kA4;
  int columns = kDefaultSheetColumns;
  std::vector<std::string> keywords;
};

bool ParseNumber(const std::string& text, int low, int high, int& number) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, number);
  return ec == std::errc() && ptr == end && number >= low && number <= high;
}

// The contact sheet's own options; -1 when they are sound, otherwise the
// exit status.
int ParseSheetOptions(const ParsedArguments& parsed, ExportCommandLine& line) {
  if (!parsed.Has("contact-sheet")) {
    if (parsed.Has("page") || parsed.Has("columns")) {
      return UsageError(kExportCommand, "--page and --columns need --contact-sheet FILE.pdf");
    }
    return -1;
  }
  line.contactSheet = *parsed.Value("contact-sheet");
  if (line.contactSheet.empty()) return UsageError(kExportCommand, "option --contact-sheet needs a file name");
  if (parsed.Has("out") || parsed.Has("jobs")) {
    return UsageError(kExportCommand, "--contact-sheet goes without --out and --jobs");
  }
  if (const auto page = parsed.Value("page"); page && *page != "a4" && *page != "letter") {
    return UsageError(kExportCommand, "option --page needs a4 or letter");
  }
  line.page = parsed.Value("page") == "letter" ? SheetPage::kLetter : SheetPage::kA4;
  if (const auto columns = parsed.Value("columns");
      columns && !ParseNumber(*columns, 1, kMaxSheetColumns, line.columns)) {
    return UsageError(kExportCommand, "option --columns needs a number from 1 to 12");
  }
  return -1;
}

// Parses into `line`; returns -1 on success, otherwise the exit status.
int ParseCommandLine(int argc, char** argv, ExportCommandLine& line) {
  ParsedArguments parsed = ParseArguments(argc, argv, kExportCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  line.outputFolder = parsed.Value("out").value_or("");
  if (const auto jobs = parsed.Value("jobs"); jobs && !ParseNumber(*jobs, 1, 1024, line.jobs)) {
    return UsageError(kExportCommand, "option --jobs needs a number from 1 to 1024");
  }
  if (int status = ParseSheetOptions(parsed, line); status >= 0) return status;
  line.search = std::move(parsed.search);
  line.keywords = std::move(parsed.operands);
  if (line.outputFolder.empty() && line.contactSheet.empty()) {
    return UsageError(kExportCommand, "no output folder given (--out DIR, or --contact-sheet FILE.pdf)");
  }
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

std::string Counted(int count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The documents of the answer as the search lists them, in its order.
std::vector<std::string> ListedDocuments(const std::vector<SearchResult>& answer) {
  std::vector<std::string> paths;
  for (const SearchResult& entry : FilterDocuments(answer)) {
    if (std::string path = entry.FullPath(); FileExists(path)) paths.push_back(std::move(path));
  }
  return paths;
}

int RunContactSheet(const ExportCommandLine& line) {
  const std::string keywords = JoinKeywords(line.keywords);
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(line.search);
  std::stop_source stop;
  ProgressBar bar;
  ContactSheetOptions options;
  options.page = line.page;
  options.columns = line.columns;
  options.stopToken = stop.get_token();
  if (isatty(STDERR_FILENO)) options.progress = [&bar](int done, int total) { bar.Show(done, total); };
  ContactSheetHeader header;
  header.keywords = keywords;
  ContactSheetResult result;
  {
    InterruptWatch watch(stop, *service);
    const SearchAnswer answer = service->Query(keywords);
    if (!answer) {
      std::fputs("glimpses-cli export: the search service could not answer the query\n", stderr);
      return 2;
    }
    result = WriteContactSheet(ListedDocuments(*answer), header, options, line.contactSheet);
  }
  bar.Finish();
  switch (result.error) {
    case ContactSheetError::kNone:
      std::printf("%s: %s on %s, %d with a picture, %d without\n", line.contactSheet.c_str(),
                  Counted(result.documents, "document").c_str(), Counted(result.pages, "page").c_str(),
                  result.withPicture, result.withoutPicture);
      return 0;
    case ContactSheetError::kNoEntries:
      std::fputs("glimpses-cli export: no document matches; no contact sheet written\n", stderr);
      return 1;
    case ContactSheetError::kCancelled:
      std::fputs("glimpses-cli export: interrupted; no contact sheet written\n", stderr);
      return 2;
    default:
      std::fprintf(stderr, "glimpses-cli export: %s\n", result.reason.c_str());
      return 2;
  }
}

}  // namespace

const Subcommand kExportCommand = {"export",
                                   "[OPTION]... --out DIR KEYWORDS...\n"
                                   "[OPTION]... --contact-sheet FILE.pdf [--page a4|letter] [--columns N] KEYWORDS...",
                                   kOptions, true};

int RunExportCommand(int argc, char** argv) {
  ExportCommandLine line;
  if (int status = ParseCommandLine(argc, argv, line); status >= 0) return status;
  if (!line.contactSheet.empty()) return RunContactSheet(line);

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

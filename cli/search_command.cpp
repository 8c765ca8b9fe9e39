// glimpses-cli search: the keyword search of the window, for scripts.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "document_filter.h"
#include "options.h"
#include "search_service.h"

namespace glimpses {
namespace {

constexpr char kSearchUsage[] =
    "usage: glimpses-cli search [--root DIR]... [--backend index|plocate|auto] [--all] [-0]\n"
    "                           [--hidden] [--cache-dir DIR] [--plocate-db DB] KEYWORDS...\n";

int UsageError(const char* message, const char* argument) {
  std::fprintf(stderr, "glimpses-cli search: %s%s\n", message, argument);
  std::fputs(kSearchUsage, stderr);
  return 2;
}

}  // namespace

int RunSearchCommand(int argc, char** argv) {
  SearchOptions options;
  bool all = false;
  bool nulSeparated = false;
  std::vector<std::string> keywords;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      keywords.push_back(arg);
      continue;
    }
    std::string error;
    const OptionParse shared = ParseSearchOption(argc, argv, i, options, error);
    if (shared == OptionParse::kBad) return UsageError(error.c_str(), "");
    if (shared == OptionParse::kTaken) continue;
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--all") {
      all = true;
    } else if (arg == "-0") {
      nulSeparated = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kSearchUsage, stdout);
      return 0;
    } else {
      // Exclusion is written "!word", so a keyword starting with '-' is more
      // likely a mistyped option; "--" lets one through.
      return UsageError("unknown option: ", arg.c_str());
    }
  }

  const std::string text = JoinKeywords(keywords);
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(options);
  const SearchAnswer answer = service->Query(text);
  if (!answer) {
    std::fputs("glimpses-cli search: the search service gave no answer\n", stderr);
    return 2;
  }
  const std::vector<SearchResult> listed = all ? *answer : FilterDocuments(*answer);
  const char separator = nulSeparated ? '\0' : '\n';
  for (const SearchResult& result : listed) {
    const std::string path = result.FullPath();
    std::fwrite(path.data(), 1, path.size(), stdout);
    std::fputc(separator, stdout);
  }
  if (std::fflush(stdout) != 0) {
    std::fputs("glimpses-cli search: cannot write the results\n", stderr);
    return 2;
  }
  std::fprintf(stderr, "%s\n", FormatStatusText(static_cast<int>(listed.size())).c_str());
  return listed.empty() ? 1 : 0;
}

}  // namespace glimpses

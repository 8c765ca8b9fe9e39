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

// The count the window's status line gives, in English; --all counts every
// kind of entry, not documents.
std::string CountText(std::size_t count, bool all) {
  if (all) return std::to_string(count) + (count == 1 ? " entry" : " entries");
  return std::to_string(count) + (count == 1 ? " document" : " documents") + " (AI CDR EPS INDD PDF)";
}

constexpr OptionInfo kOptions[] = {
    {"all", 0, nullptr, "list every matching entry, not only documents"},
    {"null", '0', nullptr, "end each path with a NUL byte instead of a line feed"},
};

}  // namespace

const Subcommand kSearchCommand = {"search", "[OPTION]... KEYWORDS...", kOptions, true};

int RunSearchCommand(int argc, char** argv) {
  const ParsedArguments parsed = ParseArguments(argc, argv, kSearchCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  const bool all = parsed.Has("all");
  const bool nulSeparated = parsed.Has("null");

  const std::string text = JoinKeywords(parsed.operands);
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(parsed.search);
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
  std::fprintf(stderr, "%s\n", CountText(listed.size(), all).c_str());
  return listed.empty() ? 1 : 0;
}

}  // namespace glimpses

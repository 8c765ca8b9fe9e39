// glimpses-cli search: the keyword search of the window, for scripts.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_line.h"
#include "cli/options.h"
#include "search/document_filter.h"
#include "search/search_service.h"

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
    {"sort", 0, "KEY", "name (default), folder, size or modified"},
    {"reverse", 0, nullptr, "the order reversed"},
    {"json", 0, nullptr, "one JSON object a line: path, name, folder, size, modified"},
};

std::optional<SortKey> SortKeyNamed(const std::string& name) {
  static constexpr std::pair<std::string_view, SortKey> kKeys[] = {{"name", SortKey::kName},
                                                                   {"folder", SortKey::kFolder},
                                                                   {"size", SortKey::kSize},
                                                                   {"modified", SortKey::kModified}};
  for (const auto& [key, value] : kKeys)
    if (name == key) return value;
  return std::nullopt;
}

// Every row of the answer; nullopt when the index renumbered its entries
// meanwhile.
std::optional<std::vector<SearchResult>> AllRows(const AnswerRows& rows) {
  std::vector<SearchResult> all;
  all.reserve(rows.size());
  for (std::size_t first = 0; first < rows.size(); first += AnswerRows::kRun) {
    RowsRead read = rows.Read(first, std::min(AnswerRows::kRun, rows.size() - first), RowsWait::kMayWait);
    if (read.status != RowsRead::kRead) return std::nullopt;
    std::move(read.rows.begin(), read.rows.end(), std::back_inserter(all));
  }
  return all;
}

void PrintResult(const SearchResult& result, bool json, char separator) {
  const std::string line = json ? JsonLine(result) : result.FullPath();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc(json ? '\n' : separator, stdout);
}

}  // namespace

const Subcommand kSearchCommand = {"search", "[OPTION]... KEYWORDS...", kOptions, true};

int RunSearchCommand(int argc, char** argv) {
  const ParsedArguments parsed = ParseArguments(argc, argv, kSearchCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  const bool all = parsed.Has("all");
  const bool nulSeparated = parsed.Has("null");
  SortOrder order;
  order.reverse = parsed.Has("reverse");
  if (const std::optional<std::string> key = parsed.Value("sort")) {
    const std::optional<SortKey> sortKey = SortKeyNamed(*key);
    if (!sortKey) return UsageError(kSearchCommand, "unknown sort key '" + *key + "' (name, folder, size or modified)");
    order.key = *sortKey;
  }

  const std::string text = JoinKeywords(parsed.operands);
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(parsed.search);
  const RowsAnswer rows = service->QueryRows(text, all ? NameFilter() : NameFilter(IsListedDocument), order);
  if (rows && !rows->error().empty()) {
    std::fprintf(stderr, "glimpses-cli search: %s\n", rows->error().c_str());
    return 2;
  }
  const std::optional<std::vector<SearchResult>> listed = rows ? AllRows(*rows) : std::nullopt;
  if (!listed) {
    std::fputs("glimpses-cli search: the search service gave no answer\n", stderr);
    return 2;
  }
  for (const SearchResult& result : *listed) PrintResult(result, parsed.Has("json"), nulSeparated ? '\0' : '\n');
  if (std::fflush(stdout) != 0) {
    std::fputs("glimpses-cli search: cannot write the results\n", stderr);
    return 2;
  }
  std::fprintf(stderr, "%s\n", CountText(listed->size(), all).c_str());
  return listed->empty() ? 1 : 0;
}

}  // namespace glimpses

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
#include "search/query.h"
#include "search/search_service.h"

namespace glimpses {
namespace {

// The count the window's status line gives, in English; --all counts every
// kind of entry, not documents. Documents the catalogue could not take in
// are named, never left out without a word.
std::string CountText(std::size_t count, bool all, std::size_t pending) {
  std::string text = all ? std::to_string(count) + (count == 1 ? " entry" : " entries")
                         : std::to_string(count) + (count == 1 ? " document" : " documents") + " (AI CDR EPS INDD PDF)";
  if (pending > 0) text += ", " + std::to_string(pending) + " more not catalogued that may match";
  return text;
}

constexpr OptionInfo kOptions[] = {
    {"all", 0, nullptr, "list every matching entry, not only documents"},
    {"null", '0', nullptr, "end each path with a NUL byte instead of a line feed"},
    {"sort", 0, "KEY", "name (default), folder, size or modified"},
    {"reverse", 0, nullptr, "the order reversed"},
    {"json", 0, nullptr, "one JSON object a line: path, name, folder, size, modified, version"},
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

// "文件版本" of each result: the program that made the document, as the
// catalogue has it; empty when unknown.
std::vector<std::string> Versions(SearchService& service, const std::vector<SearchResult>& results,
                                  std::string* error) {
  std::vector<std::string> paths;
  for (const SearchResult& result : results)
    if (IsListedDocument(result.fileName)) paths.push_back(result.FullPath());
  if (!ReadIntoCatalogue(service, paths, nullptr, error)) return std::vector<std::string>(results.size());
  std::vector<std::string> versions;
  for (const SearchResult& result : results) {
    const std::optional<DocumentMetadata> maker = service.CataloguedMaker(result.FullPath());
    versions.push_back(maker ? VersionLabel(*maker) : std::string());
  }
  return versions;
}

void PrintResult(const SearchResult& result, const std::string* version, char separator) {
  const std::string line = version != nullptr ? JsonLine(result, *version) : result.FullPath();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc(version != nullptr ? '\n' : separator, stdout);
}

}  // namespace

bool UsesMetadata(const std::string& text) { return Query::Parse(text).UsesMetadata(); }

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
  if (const std::string error = QuerySyntaxError(text); !error.empty()) {
    std::fprintf(stderr, "glimpses-cli search: %s\n", error.c_str());
    return 2;
  }
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(parsed.search);
  // A metadata term answers from the catalogue: what it lacks is read first.
  std::string catalogueError;
  if (UsesMetadata(text)) ReadIntoCatalogue(*service, std::nullopt, nullptr, &catalogueError);
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
  const bool json = parsed.Has("json");
  // plocate's answers have no catalogue: their versions stay unknown.
  const bool versioned = json && catalogueError.empty() && parsed.search.backend == Backend::kIndex;
  const std::vector<std::string> versions =
      versioned ? Versions(*service, *listed, &catalogueError) : std::vector<std::string>(listed->size());
  for (std::size_t i = 0; i < listed->size(); ++i)
    PrintResult((*listed)[i], json ? &versions[i] : nullptr, nulSeparated ? '\0' : '\n');
  if (std::fflush(stdout) != 0) {
    std::fputs("glimpses-cli search: cannot write the results\n", stderr);
    return 2;
  }
  std::fprintf(stderr, "%s\n", CountText(listed->size(), all, rows->pending()).c_str());
  if (!catalogueError.empty()) {
    std::fprintf(stderr, "glimpses-cli search: %s\n", catalogueError.c_str());
    return 2;
  }
  return listed->empty() ? 1 : 0;
}

}  // namespace glimpses

// The search language: any text parses or is refused with a reason, a
// refused text matches nothing, the facts (a stat in real use) and the
// catalogue (a lookup) are each read at most once per entry, the catalogue
// only for documents, and the literals a query hands the index for its
// quick pre-test hold for every entry the query matches or leaves pending
// (otherwise the index would drop answers). Input: the query, then after a
// NUL byte an entry's name, after another its folder, after another its
// size and its time as two decimal numbers, then what the catalogue holds:
// its pages and a number whose bits say whether it has a thumbnail and
// which text terms it holds, none for a document not catalogued; a name
// ending in '/' stands for a folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/case_fold.h"
#include "search/query.h"

namespace {

std::string_view NextField(std::string_view& rest) {
  std::size_t end = rest.find('\0');
  std::string_view field = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view text = NextField(rest);
  std::string error;
  // A fixed moment, so that a finding replays alike whatever the day.
  const std::optional<glimpses::Query> parsed = glimpses::Query::TryParse(text, &error, 1715940000);
  if (parsed.has_value() == !error.empty()) std::abort();
  std::string name(NextField(rest));
  const std::string folder(NextField(rest));
  const std::string facts(NextField(rest));
  const std::string catalogued(NextField(rest));
  const bool isFolder = !name.empty() && name.back() == '/';
  if (isFolder) name.pop_back();

  const std::string path = folder + "/" + name;
  const std::string foldedName = glimpses::FoldCase(name);
  const std::string foldedPath = glimpses::FoldCase(path);
  int factsRead = 0;
  glimpses::EntryView view{foldedName, isFolder, foldedPath, name, path, [&] {
                             ++factsRead;
                             char* end = nullptr;
                             const long long entrySize = std::strtoll(facts.c_str(), &end, 10);
                             return glimpses::EntryFacts{isFolder ? -1 : entrySize, std::strtoll(end, nullptr, 10)};
                           }};
  if (!parsed) {
    if (glimpses::Query::Parse(text).Matches(view)) std::abort();
    return 0;
  }
  glimpses::Query query = *parsed;
  int lookups = 0;
  query.SetMetadataLookup([&](std::string_view) -> std::optional<glimpses::DocumentFacts> {
    ++lookups;
    if (catalogued.empty()) return std::nullopt;
    char* end = nullptr;
    const long long pages = std::strtoll(catalogued.c_str(), &end, 10);
    const unsigned long long bits = std::strtoull(end, nullptr, 10);
    return glimpses::DocumentFacts{pages, (bits & 1) != 0, bits >> 1};
  });
  const glimpses::Truth truth = query.Evaluate(view);
  if (factsRead > 1 || (factsRead == 1 && !query.UsesFacts())) std::abort();
  if (lookups > 1 || (lookups == 1 && !query.UsesMetadata())) std::abort();
  if (truth == glimpses::Truth::kUnknown && (!query.UsesMetadata() || !catalogued.empty())) std::abort();
  if (truth == glimpses::Truth::kNo) return 0;
  const std::vector<std::string> nameLiterals = query.NameLiterals();
  if (!nameLiterals.empty() && std::none_of(nameLiterals.begin(), nameLiterals.end(), [&](const std::string& literal) {
        return foldedName.find(literal) != std::string::npos;
      }))
    std::abort();
  for (const std::string& literal : query.RequiredPathLiterals()) {
    if (foldedPath.find(literal) == std::string::npos) std::abort();
  }
  return 0;
}

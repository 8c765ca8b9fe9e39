// The search language: any text parses, and the literals a query hands the
// index for its quick pre-test hold for every entry the query matches
// (otherwise the index would drop answers). Input: the query, then after a
// NUL byte an entry's name and after another its folder; a name ending in
// '/' stands for a folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "case_fold.h"
#include "query.h"

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
  const glimpses::Query query = glimpses::Query::Parse(NextField(rest));
  std::string name(NextField(rest));
  const std::string folder(NextField(rest));
  const bool isFolder = !name.empty() && name.back() == '/';
  if (isFolder) name.pop_back();

  const std::string foldedName = glimpses::FoldCase(name);
  const std::string foldedPath = glimpses::FoldCase(folder + "/" + name);
  if (!query.Matches({foldedName, isFolder, foldedPath})) return 0;
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

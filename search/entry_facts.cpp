#include "entry_facts.h"

#include <sys/stat.h>

namespace glimpses {

EntryFacts ReadEntryFacts(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1,
          static_cast<std::int64_t>(info.st_mtim.tv_sec)};
}

void FillFacts(SearchResult& result) {
  const EntryFacts facts = ReadEntryFacts(result.FullPath());
  result.size = facts.size;
  result.modified = facts.modified;
}

}  // namespace glimpses

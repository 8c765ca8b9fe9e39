#include "search/entry_facts.h"

#include <sys/stat.h>

#include <thread>

namespace glimpses {

EntryFacts ReadEntryFacts(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1,
          static_cast<std::int64_t>(info.st_mtim.tv_sec)};
}

std::vector<EntryFacts> ReadEntryFacts(const std::vector<std::string>& paths) {
  // Below this many a second thread costs more than it saves.
  constexpr std::size_t kParallelPaths = 4096;
  std::vector<EntryFacts> facts(paths.size());
  auto read = [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) facts[i] = ReadEntryFacts(paths[i]);
  };
  const std::size_t middle = paths.size() < kParallelPaths ? paths.size() : paths.size() / 2;
  std::thread second;
  try {
    if (middle < paths.size()) second = std::thread(read, middle, paths.size());
  } catch (...) {
    // No thread to be had: read them all here.
  }
  read(0, second.joinable() ? middle : paths.size());
  if (second.joinable()) second.join();
  return facts;
}

void FillFacts(std::vector<SearchResult>& results) {
  std::vector<std::string> paths;
  paths.reserve(results.size());
  for (const SearchResult& result : results) paths.push_back(result.FullPath());
  const std::vector<EntryFacts> facts = ReadEntryFacts(paths);
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].size = facts[i].size;
    results[i].modified = facts[i].modified;
  }
}

void FillFacts(SearchResult& result) {
  const EntryFacts facts = ReadEntryFacts(result.FullPath());
  result.size = facts.size;
  result.modified = facts.modified;
}

}  // namespace glimpses

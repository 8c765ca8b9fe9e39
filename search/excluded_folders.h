// The folders the index leaves out: never read, never watched, never in an
// answer. A folder path leaves that folder and everything below it out; a
// pattern (holding '*' or '?') leaves out every folder whose full path it
// matches whole, e.g. "*/node_modules".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace glimpses {

class ExcludedFolders {
 public:
  ExcludedFolders() = default;
  // Paths are made absolute and lexically normal; empty items are dropped.
  explicit ExcludedFolders(const std::vector<std::string>& items);

  bool empty() const { return paths_.empty() && patterns_.empty(); }
  // True when the folder at absolute, normal `path` is left out, itself or
  // as part of an excluded folder.
  bool Excludes(std::string_view path) const;
  // True when an entry at `path` lies in an excluded folder (or is one,
  // when `isFolder`): for answers not made by a crawl.
  bool ExcludesEntry(std::string_view path, bool isFolder) const;
  // Every item as it is used, in one order: what the saved index was built
  // with.
  std::vector<std::string> Items() const;

 private:
  std::vector<std::string> paths_;
  std::vector<std::string> patterns_;
};

}  // namespace glimpses

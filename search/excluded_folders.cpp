#include "search/excluded_folders.h"

#include <algorithm>
#include <filesystem>

#include "search/query.h"

namespace glimpses {

ExcludedFolders::ExcludedFolders(const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    if (item.empty()) continue;
    if (item.find_first_of("*?") != std::string::npos) {
      patterns_.push_back(item);
      continue;
    }
    std::error_code error;
    std::string path = std::filesystem::absolute(item, error).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    paths_.push_back(std::move(path));
  }
  for (auto* list : {&paths_, &patterns_}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
}

bool ExcludedFolders::Excludes(std::string_view path) const {
  for (const std::string& excluded : paths_) {
    if (excluded == "/" || path == excluded) return true;
    if (path.size() > excluded.size() && path.starts_with(excluded) && path[excluded.size()] == '/') return true;
  }
  return std::any_of(patterns_.begin(), patterns_.end(),
                     [&](const std::string& pattern) { return WildcardMatch(pattern, path); });
}

bool ExcludedFolders::ExcludesEntry(std::string_view path, bool isFolder) const {
  if (isFolder && Excludes(path)) return true;
  for (std::size_t slash = path.find('/', 1); slash != std::string_view::npos; slash = path.find('/', slash + 1))
    if (Excludes(path.substr(0, slash))) return true;
  return false;
}

std::vector<std::string> ExcludedFolders::Items() const {
  std::vector<std::string> items = paths_;
  items.insert(items.end(), patterns_.begin(), patterns_.end());
  return items;
}

}  // namespace glimpses

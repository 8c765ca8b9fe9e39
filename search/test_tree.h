// Test helper: a private folder tree under /tmp, removed afterwards.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "search_service.h"

namespace glimpses {

// Readable failure messages for answers.
inline void PrintTo(const SearchResult& result, std::ostream* out) { *out << result.FullPath(); }

}  // namespace glimpses

namespace glimpses::testing {

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/glimpses-search-test-XXXXXX";
    if (char* made = ::mkdtemp(pattern)) root_ = made;
  }
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // A relative path ending in '/' is a folder; otherwise an empty file
  // (its folders are made as needed).
  void Make(const std::vector<std::string>& relativePaths) const {
    for (const std::string& relative : relativePaths) {
      const std::filesystem::path path = Path(relative);
      if (relative.back() == '/') {
        std::filesystem::create_directories(path);
      } else {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path.string()).put('x');
      }
    }
  }

  // Sets every folder's modification time an hour back, so the index trusts
  // the times it reads (a just-changed folder is always read again).
  void Age() const {
    std::vector<std::filesystem::path> folders{root_};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
      if (entry.is_directory() && !entry.is_symlink()) folders.push_back(entry.path());
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    for (const auto& folder : folders) ::utimensat(AT_FDCWD, folder.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

 private:
  std::string root_;
};

}  // namespace glimpses::testing

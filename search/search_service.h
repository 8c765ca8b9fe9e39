// The search service: answers a query of the search language with every
// matching entry (file or folder) under the search roots, from the embedded
// name index or from plocate.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimpses {

enum class Backend { kIndex, kPlocate };

struct SearchOptions {
  std::vector<std::string> roots;  // empty: $HOME
  Backend backend = Backend::kIndex;
  bool includeHidden = false;
  std::string cacheDir;    // empty: $XDG_CACHE_HOME/glimpses (or ~/.cache/glimpses)
  std::string plocateDb;   // empty: plocate's default database
};

struct SearchResult {
  std::string fileName;  // with extension, without folder (UTF-8)
  std::string folder;    // the folder that holds it, no trailing '/'
  std::string FullPath() const;
  bool operator==(const SearchResult&) const = default;
};

// The service's answer in its order (by name ignoring case, then by folder);
// nullopt is "no answer": the backend could not answer at all.
using SearchAnswer = std::optional<std::vector<SearchResult>>;

class SearchService {
 public:
  virtual ~SearchService() = default;
  // Safe to call from any thread. While the index is first being built the
  // call waits for it rather than failing.
  virtual SearchAnswer Query(std::string_view text) = 0;
  // True while the first build of the index is still running.
  virtual bool IsIndexing() const = 0;
  // The program is closing: a first build still running stops reading
  // folders, so a Query waiting for it returns soon (from what was read; the
  // rest is read by a later start) instead of holding up the exit.
  virtual void Shutdown() {}
};

// Starts the chosen backend: for the embedded index, loads the saved index
// (if any) and builds or refreshes it on a background thread. Never blocks on
// the build.
std::unique_ptr<SearchService> EnsureSearchServiceRunning(const SearchOptions& options);

}  // namespace glimpses

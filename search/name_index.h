// The embedded name index: every entry (file or folder) under a set of root
// folders, read by a crawl into an IndexTable, kept fresh by re-reading only
// the folders whose modification time changed, and saved to a cache file
// between runs (index_cache.h). Searching is index_search.h's.
//
// Hidden entries (names starting with '.') are left out unless asked for.
// Symbolic links are listed as entries but never followed, and folders on
// other file systems than their root's are listed but not entered.
// Not thread-safe: the search service serialises Refresh and Search.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index_table.h"
#include "query.h"
#include "search_service.h"

namespace glimpses {

// The roots made absolute and lexically normal, in their order, without
// duplicates and without roots that lie inside another root.
std::vector<std::string> NormalizeRoots(const std::vector<std::string>& roots);

class NameIndex {
 public:
  // An empty index of `normalizedRoots` (see NormalizeRoots); call Build or Load.
  NameIndex(std::vector<std::string> normalizedRoots, bool includeHidden);

  // Reads every root from scratch. Roots that are missing or unreadable are
  // left out; Refresh looks for them again.
  void Build();

  // Re-reads the folders whose modification time changed since they were
  // read (and those read too soon after a change to trust their time), drops
  // vanished roots and reads roots that appeared. True when entries changed.
  bool Refresh();

  // The entries matching `query`, in the answer order; nullopt when no root
  // is available. Uses a second thread on large indexes.
  std::optional<std::vector<SearchResult>> Search(const Query& query) const;

  // While `*cancel` is true, folders not yet entered are left unread (their
  // time unknown, so a later Refresh reads them): a long first build can be
  // abandoned when the program closes. Null: never cancelled.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

  // Writes the index to `path` through a temporary file and a rename.
  bool Save(const std::string& path) const;
  // Replaces this index with the one saved at `path`. False, leaving this
  // index unchanged, when the file is missing, damaged, or holds other roots.
  bool Load(const std::string& path);

  std::size_t EntryCount() const { return table_.EntryCount(); }
  std::size_t FolderCount() const { return table_.FolderCount(); }
  // Bytes held by the index's structures.
  std::size_t MemoryBytes() const { return table_.MemoryBytes(); }
  const std::vector<std::string>& roots() const { return rootPaths_; }

 private:
  struct Listed {
    std::string name;
    bool isFolder;
  };

  void Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth);
  bool ReadListing(int fd, std::vector<Listed>* listing) const;
  void EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev,
                      int depth);
  bool Reread(std::uint32_t folderIndex);
  bool IsFolderRecord(std::uint32_t entryId, std::size_t limit) const;
  void CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t limit, std::vector<std::uint32_t>* stale) const;
  std::vector<std::uint32_t> StaleFolders(std::size_t limit) const;
  bool RefreshRoot(std::size_t rootIndex);
  std::uint64_t RootDevOf(std::uint32_t entryId) const;

  std::vector<std::string> rootPaths_;
  bool includeHidden_;
  IndexTable table_;
  const std::atomic<bool>* cancel_ = nullptr;
};

}  // namespace glimpses

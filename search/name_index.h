// The embedded name index: every entry (file or folder) under a set of root
// folders, held compactly in memory (case-folded names in one arena, parent
// links instead of paths), kept fresh by re-reading only the folders whose
// modification time changed, and saved to a cache file between runs.
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

#include "query.h"
#include "search_service.h"

namespace glimpses {

// The roots made absolute and lexically normal, in their order, without
// duplicates and without roots that lie inside another root.
std::vector<std::string> NormalizeRoots(const std::vector<std::string>& roots);

// The cache file name for this root set ("index-<hash>.bin").
std::string IndexFileName(const std::vector<std::string>& normalizedRoots, bool includeHidden);

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

  std::size_t EntryCount() const { return entries_.size() - dead_ - RootEntryCount(); }
  std::size_t FolderCount() const;
  // Bytes held by the index's structures.
  std::size_t MemoryBytes() const;
  const std::vector<std::string>& roots() const { return rootPaths_; }

 private:
  struct Entry {
    std::uint32_t parent;  // entry id of the holding folder; kNoParent for a root
    std::uint32_t folded;  // offset of the folded name in folded_
    std::uint32_t name;    // offset of the name in names_, or kSameAsFolded
    std::uint32_t folder;  // index in folders_, or kFile / kDead / kLeafFolder
  };
  struct Folder {
    std::uint32_t entry;  // kDead when the record is free
    std::int64_t mtimeNs;
    std::vector<std::uint32_t> children;
  };
  struct Root {
    std::uint32_t entry;  // kNoEntry while the root is unavailable
    std::uint64_t dev;
  };
  struct Listed {
    std::string name;
    bool isFolder;
  };

  std::uint32_t AddEntry(std::uint32_t parent, std::string_view name, bool isFolder);
  void Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth);
  bool ReadListing(int fd, std::vector<Listed>* listing) const;
  void EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev,
                      int depth);
  bool Reread(std::uint32_t folderIndex);
  bool IsFolderRecord(std::uint32_t entryId, std::size_t limit) const;
  void CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t limit, std::vector<std::uint32_t>* stale) const;
  std::vector<std::uint32_t> StaleFolders(std::size_t limit) const;
  bool RefreshRoot(std::size_t rootIndex);
  void MarkDead(std::uint32_t entryId);
  void Compact();
  void ShrinkToFit();
  std::uint64_t RootDevOf(std::uint32_t entryId) const;
  std::size_t RootEntryCount() const;

  std::string_view FoldedName(std::uint32_t id) const;
  std::string_view Name(std::uint32_t id) const;
  std::string PathOf(std::uint32_t id) const;
  void SearchRange(const Query& query, std::uint32_t first, std::uint32_t last,
                   std::vector<std::uint32_t>* hits) const;

  std::vector<std::string> rootPaths_;
  bool includeHidden_;
  std::vector<Root> roots_;
  std::vector<Entry> entries_;
  std::string folded_;  // NUL-terminated folded names, in entry order
  std::string names_;   // NUL-terminated names whose folded form differs
  std::vector<Folder> folders_;
  std::size_t dead_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
};

}  // namespace glimpses

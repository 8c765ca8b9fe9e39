// The embedded name index: every entry (file or folder) under a set of root
// folders, read by a crawl into an IndexTable, kept fresh by re-reading only
// the folders whose modification time changed, and saved to a cache file
// between runs (index_cache.h). Searching is index_search.h's.
//
// Hidden entries (names starting with '.') are left out unless asked for.
// Symbolic links are listed as entries but never followed, and folders on
// other file systems than their root's are listed but not entered.
// A long-running process can keep it current from change notifications
// instead (Watch, ApplyChanges, CatchUp).
// Not thread-safe: the search service serialises every call but
// EntriesRead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_handle.h"
#include "search/excluded_folders.h"
#include "search/folder_watch.h"
#include "search/index_table.h"
#include "search/query.h"
#include "search/search_service.h"
#include "search/watch_registry.h"

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

  // The ids of the entries matching `query` whose names `keep` accepts (all
  // when empty), in `order`, and how many more it may match once their
  // documents are catalogued in `*pending`; nullopt when no root is
  // available.
  std::optional<std::vector<std::uint32_t>> Match(const Query& query, const NameFilter& keep = {}, SortOrder order = {},
                                                  std::size_t* pending = nullptr) const;
  // The full path of every entry whose name `keep` accepts, in id order.
  std::vector<std::string> PathsOf(const NameFilter& keep) const;
  // Ids stay valid until this changes (the index renumbers its entries).
  std::uint64_t generation() const { return table_.generation; }
  // Name and folder of entry `id` of a Match made at `generation`; nullopt
  // when the index was renumbered since. A removed entry still answers.
  std::optional<SearchResult> ResultAt(std::uint64_t generation, std::uint32_t id) const;

  // Keeps the index current from notifications of `watch` (not owned; it
  // outlives the index): every folder read so far and from now on gets a
  // watch, except on roots the remote check calls remote. Call Refresh after
  // it to catch up with what changed before the watches were set.
  void Watch(FolderWatch* watch);
  // Applies the notifications waiting. True when entries changed.
  bool ApplyChanges();
  // The paths that notifications named (created, moved in or out,
  // removed) since the last call, so that what depends on the files
  // themselves can look at them again; `*overflowed` when more were named
  // than were kept.
  std::vector<std::string> TakeNamedPaths(bool* overflowed);
  // Before an answer of a watched index: applies the notifications, then
  // checks by modification time what they do not cover: roots that vanish
  // or appear, remote roots and folders left without a watch (the per-user
  // limit reached), and after a queue overflow every folder once.
  bool CatchUp();
  // Which roots count as remote; IsRemoteFileSystem unless replaced.
  void SetRemoteCheck(std::function<bool(const std::string& root)> check) { isRemote_ = std::move(check); }
  // How many roots are remote and how many folders have no watch; both
  // zero when the notifications cover everything.
  using Coverage = glimpses::WatchCoverage;
  Coverage WatchCoverage() const;
  // Folder listings read so far (for tests); entries read so far (for
  // progress, from any thread).
  std::size_t FoldersRead() const { return foldersRead_; }
  std::size_t EntriesRead() const { return entriesRead_.load(std::memory_order_relaxed); }

  // While `*cancel` is true, folders not yet entered are left unread (their
  // time unknown, so a later Refresh reads them): a long first build can be
  // abandoned when the program closes. Null: never cancelled.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

  // Leaves these folders out from the next Build, Load or Refresh on (an
  // index saved with other ones does not load).
  void SetExcluded(ExcludedFolders excluded) { excluded_ = std::move(excluded); }

  // Writes the index to `path` through a temporary file and a rename.
  bool Save(const std::string& path) const;
  // Replaces this index with the one saved at `path`. False, leaving this
  // index unchanged, when the file is missing, damaged, or holds other roots.
  bool Load(const std::string& path);

  std::size_t EntryCount() const { return table_.EntryCount(); }
  std::size_t FolderCount() const { return table_.FolderCount(); }
  // Bytes held by the index's structures, the watches' bookkeeping included.
  std::size_t MemoryBytes() const { return table_.MemoryBytes() + watches_.MemoryBytes(); }
  const std::vector<std::string>& roots() const { return rootPaths_; }

 private:
  struct Listed {
    std::string name;
    bool isFolder;
  };

  bool RefreshRoot(std::size_t rootIndex);
  void Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth);
  bool ReadListing(int fd, std::vector<Listed>* listing);
  void AddListed(std::uint32_t parent, const Listed& item, int parentFd, std::uint64_t dev, int depth);
  void EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev, int depth);
  std::uint64_t RootDevOf(std::uint32_t entryId) const;
  int OpenEntry(std::uint32_t entryId, int flags) const;

  bool Reread(std::uint32_t folderIndex);
  std::vector<const Listed*> RemoveUnlisted(std::uint32_t folderIndex, const std::vector<Listed>& listing);
  bool IsFolderReadBefore(std::uint32_t entryId, std::size_t knownRecords) const;
  bool HasSubfolderReadBefore(std::uint32_t folderIndex, std::size_t knownRecords) const;
  UniqueFd OpenAndCheckTime(std::uint32_t folderIndex, std::vector<std::uint32_t>* stale) const;
  void CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t knownRecords,
                    std::vector<std::uint32_t>* stale) const;
  std::vector<std::uint32_t> StaleFolders(std::size_t knownRecords, const std::vector<bool>& rootsToCheck) const;
  std::vector<std::uint32_t> SubtreesToCheck(std::size_t knownRecords, const std::vector<bool>& rootsToCheck,
                                             std::vector<std::uint32_t>* stale) const;
  void CheckSubtrees(const std::vector<std::uint32_t>& subtrees, std::size_t knownRecords,
                     std::vector<std::uint32_t>* stale) const;
  bool RereadStale(std::vector<std::uint32_t> stale);

  std::vector<std::uint32_t> UnwatchedFolders() const;
  std::vector<std::uint32_t> StaleUnwatchedFolders() const;
  bool ApplyEvent(const FolderWatch::Event& event);
  bool DropRootThatWent(std::uint32_t folderIndex);
  bool ApplyNameEvent(std::uint32_t folderIndex, const FolderWatch::Event& event);
  bool AddChild(std::uint32_t folderIndex, const std::string& name);

  std::vector<std::string> rootPaths_;
  bool includeHidden_;
  ExcludedFolders excluded_;
  IndexTable table_;
  const std::atomic<bool>* cancel_ = nullptr;
  std::size_t foldersRead_ = 0;
  std::atomic<std::size_t> entriesRead_{0};

  WatchRegistry watches_;
  std::function<bool(const std::string&)> isRemote_ = IsRemoteFileSystem;
  bool overflowed_ = false;
  std::vector<std::string> namedPaths_;
  bool namedOverflow_ = false;
};

}  // namespace glimpses

// The name index's table: every entry (file or folder) in one vector, their
// case-folded names in one arena in entry order, parent links instead of
// paths. An entry's id is its position; a removed entry stays as a dead slot
// (its name and parent kept) until Compact renumbers the table. Compact puts
// the entries in the answer order, so the matches of a query, found in id
// order, come out sorted; only entries added since need ordering.
// The crawl fills it, the search reads it and the cache file saves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glimpses {

struct IndexTable {
  // Markers share a number only across fields, never within one; those of
  // Entry, Folder and Root are saved in the cache file, so theirs stay.
  // An entry id field that names no entry: a root's parent, a root not read.
  static constexpr std::uint32_t kNoEntry = UINT32_MAX;
  // A folder record index that names no record.
  static constexpr std::uint32_t kNoFolder = UINT32_MAX;
  // Entry::name of a name that is its own folded form (not stored twice).
  static constexpr std::uint32_t kSameAsFolded = UINT32_MAX;
  // Entry::folder of an entry without a folder record; every record index
  // lies below the lowest of them, kLeafFolder.
  static constexpr std::uint32_t kFile = UINT32_MAX;
  static constexpr std::uint32_t kDeadEntry = UINT32_MAX - 1;
  static constexpr std::uint32_t kLeafFolder = UINT32_MAX - 2;  // a folder we do not enter
  // Folder::entry of a record that MarkDead or MakeLeafFolder freed.
  static constexpr std::uint32_t kFreeRecord = UINT32_MAX - 1;
  // Folder::watch of a folder without a change notification watch.
  static constexpr std::int32_t kNoWatch = -1;
  // Folder::mtimeNs of a folder to read again whatever its time.
  static constexpr std::int64_t kUnknownMtime = INT64_MIN;
  // The most entries a table holds, so that no id reaches a marker.
  static constexpr std::uint32_t kMaxEntries = UINT32_MAX - 3;

  struct Entry {
    std::uint32_t parent;  // entry id of the holding folder; kNoEntry for a root
    std::uint32_t folded;  // offset of the folded name in `folded`
    std::uint32_t name;    // offset of the name in `names`, or kSameAsFolded
    std::uint32_t folder;  // index in `folders`, or kFile / kDeadEntry / kLeafFolder
  };
  struct Folder {
    std::uint32_t entry;   // kFreeRecord when the record is free
    std::int32_t watch;    // kNoWatch, or the watch that WatchRegistry set
    std::int64_t mtimeNs;  // when it was read, or kUnknownMtime
    // The entries inside, folders first (see PutFoldersFirst), so a walk
    // over the subfolders stops at the first file.
    std::vector<std::uint32_t> children;
  };
  struct Root {
    std::uint32_t entry;  // kNoEntry while the root is unavailable
    std::uint64_t dev;
  };

  // Appends an entry under `parent` and returns its id.
  std::uint32_t Add(std::uint32_t parent, std::string_view name, bool isFolder);
  // Makes `path`, on file system `dev`, the entry of root `rootIndex`; its id.
  std::uint32_t AddRoot(std::size_t rootIndex, std::string_view path, std::uint64_t dev);
  // Marks root `rootIndex` and everything below it dead; the root becomes
  // unavailable.
  void DropRoot(std::size_t rootIndex);
  // Frees the folder record of folder entry `id`: it stays listed but is
  // never entered (another file system is mounted there).
  void MakeLeafFolder(std::uint32_t id);
  // Removes the record's child named `name` and everything below it; false
  // when it has none.
  bool RemoveChild(std::uint32_t folderIndex, std::string_view name);
  // Removes those children of the record and everything below them.
  void RemoveChildren(std::uint32_t folderIndex, const std::vector<std::uint32_t>& gone);
  // Removes every child of the record; false when it had none.
  bool RemoveAllChildren(std::uint32_t folderIndex);
  // Drops the dead slots and renumbers every entry and folder record, roots
  // first and the rest in the answer order. Bumps `generation`.
  void Compact();
  // Compacts once dead slots or entries out of the answer order make up
  // enough of the table to slow every search down.
  void CompactIfWorthIt();
  // Empties the table, with `rootCount` roots not yet read.
  void Clear(std::size_t rootCount);
  // Puts the folders among the record's children before the files.
  void PutFoldersFirst(std::uint32_t folderIndex);
  // Makes every folder record's children list from the parent links.
  void LinkChildren();
  void ShrinkToFit();

  // Gives the record its watch (kNoWatch: none).
  void SetWatch(std::uint32_t folderIndex, std::int32_t watch) { folders[folderIndex].watch = watch; }
  // The watches of the records freed since the last call, for their owner
  // to remove.
  std::vector<std::int32_t> TakeDroppedWatches() { return std::exchange(droppedWatches_, {}); }

  // True when entry `id` is a folder that has a record (entered, or to be).
  bool HasFolderRecord(std::uint32_t id) const { return entries[id].folder < kLeafFolder; }
  bool IsFile(std::uint32_t id) const { return entries[id].folder == kFile; }
  bool IsDead(std::uint32_t id) const { return entries[id].folder == kDeadEntry; }
  bool IsRoot(std::uint32_t id) const { return entries[id].parent == kNoEntry; }
  bool IsFreeRecord(std::uint32_t folderIndex) const { return folders[folderIndex].entry == kFreeRecord; }
  // The index of the root whose entry is `id`; roots.size() when none is.
  std::size_t RootIndexOf(std::uint32_t id) const;
  std::string_view FoldedName(std::uint32_t id) const;
  std::string_view Name(std::uint32_t id) const;
  // The full path of an entry, from its root's path down.
  std::string PathOf(std::uint32_t id) const;
  // Puts live non-root entry ids in the answer order.
  void SortInAnswerOrder(std::vector<std::uint32_t>& ids) const;
  // True when entry `a` comes before entry `b` in the answer order.
  bool AnswerOrderLess(std::uint32_t a, std::uint32_t b) const;

  std::size_t RootEntryCount() const;
  std::size_t EntryCount() const { return entries.size() - dead - RootEntryCount(); }
  std::size_t FolderCount() const;
  // Bytes held by the table's structures.
  std::size_t MemoryBytes() const;

  std::vector<Root> roots;
  std::vector<Entry> entries;
  // Arenas of NUL-terminated names. Not strings: a string's storage always
  // doubles when it grows, and these are the bulk of the index.
  using Arena = std::vector<char>;
  Arena folded;  // folded names, in entry order
  Arena names;   // names whose folded form differs
  std::vector<Folder> folders;
  std::size_t dead = 0;
  // Entries below this id are in the answer order (roots and dead slots
  // aside); those added since are not.
  std::uint32_t orderedCount = 0;
  // Changes whenever ids are renumbered, so ids kept from before can tell.
  std::uint64_t generation = 0;

 private:
  // Marks the entry and everything below it dead, freeing folder records.
  void MarkDead(std::uint32_t id);

  std::vector<std::int32_t> droppedWatches_;
};

}  // namespace glimpses

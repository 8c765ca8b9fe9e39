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
#include <vector>

namespace glimpses {

struct IndexTable {
  static constexpr std::uint32_t kNoParent = UINT32_MAX;
  static constexpr std::uint32_t kNoEntry = UINT32_MAX;
  static constexpr std::uint32_t kSameAsFolded = UINT32_MAX;
  // Entry::folder values that are not folder records.
  static constexpr std::uint32_t kFile = UINT32_MAX;
  static constexpr std::uint32_t kDead = UINT32_MAX - 1;
  static constexpr std::uint32_t kLeafFolder = UINT32_MAX - 2;  // a folder we do not enter
  static constexpr std::uint32_t kFirstMark = kLeafFolder;
  static constexpr std::int64_t kUnknownMtime = INT64_MIN;

  struct Entry {
    std::uint32_t parent;  // entry id of the holding folder; kNoParent for a root
    std::uint32_t folded;  // offset of the folded name in `folded`
    std::uint32_t name;    // offset of the name in `names`, or kSameAsFolded
    std::uint32_t folder;  // index in `folders`, or kFile / kDead / kLeafFolder
  };
  struct Folder {
    std::uint32_t entry;  // kDead when the record is free
    // The entries inside, folders first (see PutFoldersFirst), so a walk
    // over the subfolders stops at the first file.
    std::int32_t watch;  // the change notification watch on it, -1 for none
    std::int64_t mtimeNs;
    std::vector<std::uint32_t> children;
  };
  struct Root {
    std::uint32_t entry;  // kNoEntry while the root is unavailable
    std::uint64_t dev;
  };

  // Appends an entry under `parent` (kNoParent for a root) and returns its id.
  std::uint32_t Add(std::uint32_t parent, std::string_view name, bool isFolder);
  // Marks the entry and everything below it dead.
  void MarkDead(std::uint32_t id);
  // Drops the dead slots and renumbers every entry and folder record, roots
  // first and the rest in the answer order. Bumps `generation`.
  void Compact();
  // Empties the table, with `rootCount` roots not yet read.
  void Clear(std::size_t rootCount);
  // Puts the folders among the record's children before the files.
  void PutFoldersFirst(std::uint32_t folderIndex);
  // Makes every folder record's children list from the parent links.
  void LinkChildren();
  void ShrinkToFit();

  bool IsFolderRecord(std::uint32_t id) const { return entries[id].folder < kFirstMark; }
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
  // Watches of folder records that MarkDead freed, for their owner to drop.
  std::vector<std::int32_t> droppedWatches;
};

}  // namespace glimpses

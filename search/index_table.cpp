#include "search/index_table.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "base/path.h"
#include "search/answer_order.h"
#include "search/query.h"

namespace glimpses {

namespace {

// A first build doubles its storage as it grows; a built index grows by a
// few entries at a time, by a sixteenth when full, since doubling would
// double its memory for a handful of new files.
template <typename Container>
void MakeRoom(Container& container, std::size_t extra, bool built) {
  if (container.size() + extra > container.capacity())
    container.reserve(container.size() + extra + container.size() / (built ? 16 : 1) + 64);
}

// Appends `text` and its terminating NUL.
void Append(IndexTable::Arena& arena, std::string_view text) {
  arena.insert(arena.end(), text.begin(), text.end());
  arena.push_back('\0');
}

}  // namespace

std::uint32_t IndexTable::Add(std::uint32_t parent, std::string_view name, bool isFolder) {
  const auto id = static_cast<std::uint32_t>(entries.size());
  const bool built = orderedCount > 0;
  MakeRoom(entries, 1, built);
  MakeRoom(folded, name.size() + 1, built);
  Entry entry{parent, static_cast<std::uint32_t>(folded.size()), kSameAsFolded, kFile};
  const std::string foldedName = FoldCase(name);
  Append(folded, foldedName);
  if (foldedName != name) {
    entry.name = static_cast<std::uint32_t>(names.size());
    MakeRoom(names, name.size() + 1, built);
    Append(names, name);
  }
  if (isFolder) {
    entry.folder = static_cast<std::uint32_t>(folders.size());
    MakeRoom(folders, 1, built);
    folders.push_back(Folder{id, kNoWatch, kUnknownMtime, {}});
  }
  entries.push_back(entry);
  if (parent != kNoEntry) folders[entries[parent].folder].children.push_back(id);
  return id;
}

std::uint32_t IndexTable::AddRoot(std::size_t rootIndex, std::string_view path, std::uint64_t dev) {
  const std::uint32_t id = Add(kNoEntry, path, /*isFolder=*/true);
  roots[rootIndex] = Root{id, dev};
  return id;
}

void IndexTable::DropRoot(std::size_t rootIndex) {
  MarkDead(roots[rootIndex].entry);
  roots[rootIndex].entry = kNoEntry;
}

void IndexTable::MakeLeafFolder(std::uint32_t id) {
  folders[entries[id].folder].entry = kFreeRecord;
  entries[id].folder = kLeafFolder;
}

bool IndexTable::RemoveChild(std::uint32_t folderIndex, std::string_view name) {
  const auto& children = folders[folderIndex].children;
  const auto it =
      std::find_if(children.begin(), children.end(), [&](std::uint32_t child) { return Name(child) == name; });
  if (it == children.end()) return false;
  RemoveChildren(folderIndex, {*it});
  return true;
}

void IndexTable::RemoveChildren(std::uint32_t folderIndex, const std::vector<std::uint32_t>& gone) {
  for (const std::uint32_t child : gone) MarkDead(child);
  std::erase_if(folders[folderIndex].children, [&](std::uint32_t child) { return IsDead(child); });
}

bool IndexTable::RemoveAllChildren(std::uint32_t folderIndex) {
  const std::vector<std::uint32_t> children = folders[folderIndex].children;
  RemoveChildren(folderIndex, children);
  return !children.empty();
}

void IndexTable::MarkDead(std::uint32_t id) {
  std::vector<std::uint32_t> stack{id};
  while (!stack.empty()) {
    const std::uint32_t at = stack.back();
    stack.pop_back();
    if (IsDead(at)) continue;
    if (HasFolderRecord(at)) {
      Folder& folder = folders[entries[at].folder];
      stack.insert(stack.end(), folder.children.begin(), folder.children.end());
      folder.entry = kFreeRecord;
      if (folder.watch != kNoWatch) droppedWatches_.push_back(folder.watch);
      folder.watch = kNoWatch;
      std::vector<std::uint32_t>().swap(folder.children);
    }
    entries[at].folder = kDeadEntry;
    ++dead;
  }
}

void IndexTable::Compact() {
  std::vector<std::uint32_t> order;
  std::vector<std::uint32_t> rest;
  order.reserve(entries.size() - dead);
  for (const Root& root : roots)
    if (root.entry != kNoEntry) order.push_back(root.entry);
  for (std::uint32_t id = 0; id < entries.size(); ++id)
    if (!IsDead(id) && !IsRoot(id)) rest.push_back(id);
  SortInAnswerOrder(rest);
  order.insert(order.end(), rest.begin(), rest.end());
  std::vector<std::uint32_t>().swap(rest);

  std::vector<std::uint32_t> newId(entries.size(), kNoEntry);
  for (std::uint32_t at = 0; at < order.size(); ++at) newId[order[at]] = at;
  IndexTable out;
  out.entries.reserve(order.size());
  for (std::uint32_t id : order) {
    const Entry& old = entries[id];
    Entry entry{old.parent == kNoEntry ? kNoEntry : newId[old.parent], static_cast<std::uint32_t>(out.folded.size()),
                kSameAsFolded, old.folder};
    Append(out.folded, FoldedName(id));
    if (old.name != kSameAsFolded) {
      entry.name = static_cast<std::uint32_t>(out.names.size());
      Append(out.names, Name(id));
    }
    if (HasFolderRecord(id)) {
      const Folder& folder = folders[old.folder];
      entry.folder = static_cast<std::uint32_t>(out.folders.size());
      out.folders.push_back(Folder{newId[id], folder.watch, folder.mtimeNs, {}});
    }
    out.entries.push_back(entry);
  }
  out.LinkChildren();
  out.roots = std::move(roots);
  for (Root& root : out.roots)
    if (root.entry != kNoEntry) root.entry = newId[root.entry];
  out.orderedCount = static_cast<std::uint32_t>(out.entries.size());
  out.generation = generation + 1;
  out.droppedWatches_ = std::move(droppedWatches_);
  *this = std::move(out);
  ShrinkToFit();
}

void IndexTable::CompactIfWorthIt() {
  const std::size_t unordered = entries.size() - orderedCount;
  if ((dead > 256 && dead > entries.size() / 4) || (unordered > 4096 && unordered > entries.size() / 16)) Compact();
}

void IndexTable::PutFoldersFirst(std::uint32_t folderIndex) {
  auto& children = folders[folderIndex].children;
  std::stable_partition(children.begin(), children.end(), [&](std::uint32_t child) { return !IsFile(child); });
}

void IndexTable::LinkChildren() {
  // The parent's folder record of every entry, read once; the lists are
  // sized exactly, then filled with the folders and then the files, so the
  // folders come first without sorting each list.
  std::vector<std::uint32_t> parentFolder(entries.size(), kNoFolder);
  std::vector<std::uint32_t> count(folders.size(), 0);
  for (std::uint32_t id = 0; id < entries.size(); ++id) {
    if (IsRoot(id) || IsDead(id)) continue;
    parentFolder[id] = entries[entries[id].parent].folder;
    ++count[parentFolder[id]];
  }
  for (std::uint32_t index = 0; index < folders.size(); ++index) {
    folders[index].children.clear();
    folders[index].children.reserve(count[index]);
  }
  for (const bool filePass : {false, true})
    for (std::uint32_t id = 0; id < entries.size(); ++id)
      if (parentFolder[id] != kNoFolder && IsFile(id) == filePass) folders[parentFolder[id]].children.push_back(id);
}

void IndexTable::Clear(std::size_t rootCount) {
  const std::uint64_t nextGeneration = generation + 1;
  *this = IndexTable();
  generation = nextGeneration;
  roots.assign(rootCount, Root{kNoEntry, 0});
}

void IndexTable::ShrinkToFit() {
  entries.shrink_to_fit();
  folded.shrink_to_fit();
  names.shrink_to_fit();
  folders.shrink_to_fit();
  for (Folder& folder : folders) folder.children.shrink_to_fit();
}

std::string_view IndexTable::FoldedName(std::uint32_t id) const {
  const std::size_t begin = entries[id].folded;
  const std::size_t end = id + 1 < entries.size() ? entries[id + 1].folded : folded.size();
  return std::string_view(folded.data() + begin, end - begin - 1);
}

std::string_view IndexTable::Name(std::uint32_t id) const {
  const std::uint32_t offset = entries[id].name;
  if (offset == kSameAsFolded) return FoldedName(id);
  return std::string_view(names.data() + offset);
}

std::string IndexTable::PathOf(std::uint32_t id) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = id; at != kNoEntry; at = entries[at].parent) chain.push_back(at);
  std::string path(Name(chain.back()));
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path = JoinPath(path, Name(*it));
  return path;
}

bool IndexTable::AnswerOrderLess(std::uint32_t a, std::uint32_t b) const {
  const std::string_view foldedA = FoldedName(a);
  const std::string_view foldedB = FoldedName(b);
  if (foldedA != foldedB) return foldedA < foldedB;
  return CompareAnswerOrder({foldedA, PathOf(entries[a].parent), Name(a)},
                            {foldedB, PathOf(entries[b].parent), Name(b)}) < 0;
}

void IndexTable::SortInAnswerOrder(std::vector<std::uint32_t>& ids) const {
  // Order by folded name first, making folder paths only where two names are
  // alike. The first eight bytes of each name, read big-endian, settle most
  // comparisons without touching the arena.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
  keyed.reserve(ids.size());
  for (std::uint32_t id : ids) {
    const std::string_view name = FoldedName(id);
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) key = (key << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    keyed.emplace_back(key, id);
  }
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return FoldedName(a.second) < FoldedName(b.second);
  });
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = keyed[i].second;
  std::unordered_map<std::uint32_t, std::string> folderOf;
  auto folderPath = [&](std::uint32_t id) -> const std::string& {
    const std::uint32_t parent = entries[id].parent;
    auto it = folderOf.find(parent);
    if (it == folderOf.end()) it = folderOf.emplace(parent, PathOf(parent)).first;
    return it->second;
  };
  for (auto run = ids.begin(); run != ids.end();) {
    const auto runEnd =
        std::find_if(run, ids.end(), [&](std::uint32_t id) { return FoldedName(id) != FoldedName(*run); });
    if (runEnd - run > 1) {
      std::sort(run, runEnd, [&](std::uint32_t a, std::uint32_t b) {
        return CompareAnswerOrder({FoldedName(a), folderPath(a), Name(a)}, {FoldedName(b), folderPath(b), Name(b)}) < 0;
      });
    }
    run = runEnd;
  }
}

std::size_t IndexTable::RootIndexOf(std::uint32_t id) const {
  return static_cast<std::size_t>(
      std::find_if(roots.begin(), roots.end(), [&](const Root& root) { return root.entry == id; }) - roots.begin());
}

std::size_t IndexTable::RootEntryCount() const {
  return static_cast<std::size_t>(
      std::count_if(roots.begin(), roots.end(), [](const Root& root) { return root.entry != kNoEntry; }));
}

std::size_t IndexTable::FolderCount() const {
  return static_cast<std::size_t>(std::count_if(folders.begin(), folders.end(),
                                                [](const Folder& folder) { return folder.entry != kFreeRecord; })) -
         RootEntryCount();
}

std::size_t IndexTable::MemoryBytes() const {
  std::size_t bytes =
      entries.capacity() * sizeof(Entry) + folded.capacity() + names.capacity() + folders.capacity() * sizeof(Folder);
  for (const Folder& folder : folders) bytes += folder.children.capacity() * sizeof(std::uint32_t);
  return bytes;
}

}  // namespace glimpses

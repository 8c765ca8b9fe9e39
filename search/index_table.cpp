#include "index_table.h"

#include <algorithm>
#include <utility>

#include "query.h"

namespace glimpses {

std::string JoinPath(std::string folder, std::string_view name) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  folder.append(name);
  return folder;
}

std::uint32_t IndexTable::Add(std::uint32_t parent, std::string_view name, bool isFolder) {
  const auto id = static_cast<std::uint32_t>(entries.size());
  Entry entry{parent, static_cast<std::uint32_t>(folded.size()), kSameAsFolded, kFile};
  const std::string foldedName = FoldCase(name);
  folded.append(foldedName);
  folded.push_back('\0');
  if (foldedName != name) {
    entry.name = static_cast<std::uint32_t>(names.size());
    names.append(name);
    names.push_back('\0');
  }
  if (isFolder) {
    entry.folder = static_cast<std::uint32_t>(folders.size());
    folders.push_back(Folder{id, kUnknownMtime, {}});
  }
  entries.push_back(entry);
  if (parent != kNoParent) folders[entries[parent].folder].children.push_back(id);
  return id;
}

void IndexTable::MarkDead(std::uint32_t id) {
  std::vector<std::uint32_t> stack{id};
  while (!stack.empty()) {
    const std::uint32_t at = stack.back();
    stack.pop_back();
    Entry& entry = entries[at];
    if (entry.folder == kDead) continue;
    if (entry.folder < kFirstMark) {
      Folder& folder = folders[entry.folder];
      stack.insert(stack.end(), folder.children.begin(), folder.children.end());
      folder.entry = kDead;
      std::vector<std::uint32_t>().swap(folder.children);
    }
    entry.folder = kDead;
    ++dead;
  }
}

void IndexTable::Compact() {
  std::vector<std::uint32_t> newId(entries.size(), kNoEntry);
  IndexTable out;
  out.entries.reserve(entries.size() - dead);
  for (std::uint32_t id = 0; id < entries.size(); ++id) {
    const Entry& old = entries[id];
    if (old.folder == kDead) continue;
    newId[id] = static_cast<std::uint32_t>(out.entries.size());
    Entry entry{old.parent == kNoParent ? kNoParent : newId[old.parent],
                static_cast<std::uint32_t>(out.folded.size()), kSameAsFolded, old.folder};
    out.folded.append(FoldedName(id));
    out.folded.push_back('\0');
    if (old.name != kSameAsFolded) {
      entry.name = static_cast<std::uint32_t>(out.names.size());
      out.names.append(Name(id));
      out.names.push_back('\0');
    }
    if (old.folder < kFirstMark) {
      entry.folder = static_cast<std::uint32_t>(out.folders.size());
      out.folders.push_back(Folder{newId[id], folders[old.folder].mtimeNs, {}});
    }
    out.entries.push_back(entry);
  }
  for (std::uint32_t id = 0; id < out.entries.size(); ++id)
    if (out.entries[id].parent != kNoParent)
      out.folders[out.entries[out.entries[id].parent].folder].children.push_back(id);
  out.roots = std::move(roots);
  for (Root& root : out.roots)
    if (root.entry != kNoEntry) root.entry = newId[root.entry];
  *this = std::move(out);
  ShrinkToFit();
}

void IndexTable::Clear(std::size_t rootCount) {
  *this = IndexTable();
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
  return std::string_view(folded).substr(begin, end - begin - 1);
}

std::string_view IndexTable::Name(std::uint32_t id) const {
  const std::uint32_t offset = entries[id].name;
  if (offset == kSameAsFolded) return FoldedName(id);
  return std::string_view(names.c_str() + offset);
}

std::string IndexTable::PathOf(std::uint32_t id) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = id; at != kNoParent; at = entries[at].parent) chain.push_back(at);
  std::string path(Name(chain.back()));
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path = JoinPath(std::move(path), Name(*it));
  return path;
}

std::size_t IndexTable::RootEntryCount() const {
  return static_cast<std::size_t>(
      std::count_if(roots.begin(), roots.end(), [](const Root& root) { return root.entry != kNoEntry; }));
}

std::size_t IndexTable::FolderCount() const {
  return static_cast<std::size_t>(std::count_if(folders.begin(), folders.end(), [](const Folder& folder) {
           return folder.entry != kDead;
         })) -
         RootEntryCount();
}

std::size_t IndexTable::MemoryBytes() const {
  std::size_t bytes = entries.capacity() * sizeof(Entry) + folded.capacity() + names.capacity() +
                      folders.capacity() * sizeof(Folder);
  for (const Folder& folder : folders) bytes += folder.children.capacity() * sizeof(std::uint32_t);
  return bytes;
}

}  // namespace glimpses

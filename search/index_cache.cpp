#include "search/index_cache.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "base/file_util.h"

namespace glimpses {
namespace {

using Entry = IndexTable::Entry;
using Folder = IndexTable::Folder;
using Root = IndexTable::Root;

// Version 2 keeps the entries in the answer order, parents anywhere;
// version 3 names the excluded folders it was built without.
constexpr char kMagic[8] = {'G', 'L', 'I', 'M', 'I', 'D', 'X', '3'};

std::uint64_t Fnv1a(std::string_view data, std::uint64_t hash = 1469598103934665603ull) {
  for (unsigned char c : data) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// Native byte order, since the file only ever goes back into the program
// that wrote it (the magic names the layout).
class Writer {
 public:
  explicit Writer(TempFile* file) : file_(file) {}
  void Put(const void* data, std::size_t size) {
    if (ok_ && size > 0) ok_ = file_->Write(data, size);
  }
  template <typename T>
  void Value(T value) {
    Put(&value, sizeof value);
  }
  void Text(std::string_view text) {
    Value<std::uint64_t>(text.size());
    Put(text.data(), text.size());
  }
  bool ok() const { return ok_; }

 private:
  TempFile* file_;
  bool ok_ = true;
};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}
  bool Get(void* out, std::size_t size) {
    if (size > left_) return false;
    if (size > 0) std::memcpy(out, data_, size);
    data_ += size;
    left_ -= size;
    return true;
  }
  template <typename T>
  bool Value(T* value) {
    return Get(value, sizeof *value);
  }
  bool Text(std::string* text) {
    std::uint64_t size = 0;
    if (!Value(&size) || size > left_) return false;
    text->assign(reinterpret_cast<const char*>(data_), size);
    data_ += size;
    left_ -= size;
    return true;
  }
  template <typename T>
  bool Array(std::vector<T>* out) {
    std::uint64_t count = 0;
    if (!Value(&count) || count > left_ / sizeof(T)) return false;
    out->resize(count);
    return Get(out->data(), count * sizeof(T));
  }
  bool done() const { return left_ == 0; }

 private:
  const std::uint8_t* data_;
  std::size_t left_;
};

// Every offset inside its arena, folder records pointing both ways, every
// parent a live folder and every chain of parents ending at a root; then
// the children lists are made.
bool CheckTable(IndexTable* t) {
  const std::size_t count = t->entries.size();
  if (count > IndexTable::kMaxEntries || t->orderedCount > count) return false;
  if (!t->folded.empty() && t->folded.back() != '\0') return false;
  if (!t->names.empty() && t->names.back() != '\0') return false;
  if (t->entries.empty() != t->folded.empty()) return false;
  if (!t->entries.empty() && t->entries.front().folded != 0) return false;
  for (std::uint32_t id = 0; id < count; ++id) {
    const Entry& entry = t->entries[id];
    if (entry.folded >= t->folded.size()) return false;
    if (id > 0 && entry.folded <= t->entries[id - 1].folded) return false;
    if (entry.name != IndexTable::kSameAsFolded && entry.name >= t->names.size()) return false;
    if (t->HasFolderRecord(id) && (entry.folder >= t->folders.size() || t->folders[entry.folder].entry != id))
      return false;
  }
  for (std::uint32_t index = 0; index < t->folders.size(); ++index) {
    const std::uint32_t entry = t->folders[index].entry;
    if (entry != IndexTable::kFreeRecord && (entry >= count || t->entries[entry].folder != index)) return false;
  }
  for (const Root& root : t->roots) {
    if (root.entry == IndexTable::kNoEntry) continue;
    if (root.entry >= count || !t->IsRoot(root.entry) || !t->HasFolderRecord(root.entry)) return false;
  }
  std::vector<std::uint32_t> rootEntries;
  for (const Root& root : t->roots)
    if (root.entry != IndexTable::kNoEntry) rootEntries.push_back(root.entry);
  std::sort(rootEntries.begin(), rootEntries.end());
  if (std::adjacent_find(rootEntries.begin(), rootEntries.end()) != rootEntries.end()) return false;
  // 0: not seen, 1: on the chain being followed, 2: leads to a root.
  std::vector<std::uint8_t> state(count, 0);
  std::vector<std::uint32_t> chain;
  for (std::uint32_t id = 0; id < count; ++id) {
    if (t->IsDead(id)) {
      // Nothing reads a dead slot's parent; none is kept, so no unchecked
      // chain can be followed from it.
      t->entries[id].parent = IndexTable::kNoEntry;
      ++t->dead;
      continue;
    }
    for (std::uint32_t at = id; state[at] != 2;) {
      if (state[at] == 1) return false;  // a loop
      state[at] = 1;
      chain.push_back(at);
      const std::uint32_t parent = t->entries[at].parent;
      if (parent == IndexTable::kNoEntry) {
        if (t->RootIndexOf(at) == t->roots.size()) return false;
        break;
      }
      if (parent >= count || !t->HasFolderRecord(parent)) return false;
      at = parent;
    }
    for (std::uint32_t at : chain) state[at] = 2;
    chain.clear();
  }
  t->LinkChildren();
  return true;
}

}  // namespace

std::string IndexFileName(const std::vector<std::string>& normalizedRoots, bool includeHidden,
                          const std::vector<std::string>& excludes) {
  std::uint64_t hash = Fnv1a(std::string_view(kMagic, sizeof kMagic));
  for (const std::string& root : normalizedRoots) hash = Fnv1a(std::string_view(root.c_str(), root.size() + 1), hash);
  hash = Fnv1a(includeHidden ? "h" : "-", hash);
  for (const std::string& item : excludes) hash = Fnv1a(std::string_view(item.c_str(), item.size() + 1), hash);
  char name[40];
  std::snprintf(name, sizeof name, "index-%016llx.bin", static_cast<unsigned long long>(hash));
  return name;
}

bool SaveIndexTable(const IndexTable& table, const std::vector<std::string>& rootPaths, bool includeHidden,
                    const std::string& path, const std::vector<std::string>& excludes) {
  std::optional<TempFile> file = TempFile::CreateBeside(path);
  if (!file) return false;
  Writer out(&*file);
  out.Put(kMagic, sizeof kMagic);
  out.Value<std::uint32_t>(includeHidden ? 1 : 0);
  out.Value<std::uint64_t>(excludes.size());
  for (const std::string& item : excludes) out.Text(item);
  out.Value<std::uint64_t>(rootPaths.size());
  for (std::size_t i = 0; i < rootPaths.size(); ++i) {
    out.Text(rootPaths[i]);
    out.Value(table.roots[i].entry);
    out.Value(table.roots[i].dev);
  }
  out.Value(table.orderedCount);
  out.Value<std::uint64_t>(table.entries.size());
  out.Put(table.entries.data(), table.entries.size() * sizeof(Entry));
  out.Text(std::string_view(table.folded.data(), table.folded.size()));
  out.Text(std::string_view(table.names.data(), table.names.size()));
  out.Value<std::uint64_t>(table.folders.size());
  for (const Folder& folder : table.folders) {
    out.Value(folder.entry);
    out.Value(folder.mtimeNs);
  }
  return out.ok() && file->CommitTo(path);
}

bool DecodeIndexTable(const std::uint8_t* data, std::size_t size, const std::vector<std::string>& rootPaths,
                      bool includeHidden, IndexTable* table, const std::vector<std::string>& excludes) {
  Reader in(data, size);
  char magic[sizeof kMagic];
  std::uint32_t hidden = 0;
  std::uint64_t rootCount = 0;
  if (!in.Get(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
  if (!in.Value(&hidden) || (hidden != 0) != includeHidden) return false;
  std::uint64_t excludeCount = 0;
  if (!in.Value(&excludeCount) || excludeCount != excludes.size()) return false;
  for (const std::string& expected : excludes) {
    std::string item;
    if (!in.Text(&item) || item != expected) return false;
  }
  if (!in.Value(&rootCount) || rootCount != rootPaths.size()) return false;
  IndexTable t;
  t.roots.resize(rootCount);
  for (std::size_t i = 0; i < rootCount; ++i) {
    std::string rootPath;
    if (!in.Text(&rootPath) || rootPath != rootPaths[i]) return false;
    if (!in.Value(&t.roots[i].entry) || !in.Value(&t.roots[i].dev)) return false;
  }
  std::uint64_t folderCount = 0;
  if (!in.Value(&t.orderedCount) || !in.Array(&t.entries) || !in.Array(&t.folded) || !in.Array(&t.names) ||
      !in.Value(&folderCount))
    return false;
  if (folderCount > t.entries.size()) return false;
  t.folders.resize(folderCount);
  for (Folder& folder : t.folders) {
    folder.watch = IndexTable::kNoWatch;
    if (!in.Value(&folder.entry) || !in.Value(&folder.mtimeNs)) return false;
  }
  if (!in.done() || !CheckTable(&t)) return false;
  t.generation = table->generation + 1;
  *table = std::move(t);
  return true;
}

bool LoadIndexTable(const std::string& path, const std::vector<std::string>& rootPaths, bool includeHidden,
                    IndexTable* table, const std::vector<std::string>& excludes) {
  const std::optional<Bytes> bytes = ReadWholeFile(path, std::size_t{1} << 34);
  return bytes && DecodeIndexTable(bytes->data(), bytes->size(), rootPaths, includeHidden, table, excludes);
}

}  // namespace glimpses

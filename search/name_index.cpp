#include "name_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

#include "file_util.h"

namespace glimpses {
namespace {

constexpr std::uint32_t kNoParent = UINT32_MAX;
constexpr std::uint32_t kNoEntry = UINT32_MAX;
constexpr std::uint32_t kSameAsFolded = UINT32_MAX;
// Entry::folder values that are not folder records.
constexpr std::uint32_t kFile = UINT32_MAX;
constexpr std::uint32_t kDead = UINT32_MAX - 1;
constexpr std::uint32_t kLeafFolder = UINT32_MAX - 2;  // a folder we do not enter
constexpr std::uint32_t kFirstMark = kLeafFolder;

// A folder changed this recently may change again within the same tick of
// the file system's clock without its time moving, so its time is not
// trusted: the next refresh reads it again.
constexpr std::int64_t kRacyNs = 2'000'000'000;
constexpr std::int64_t kUnknownMtime = INT64_MIN;

// Deep trees would otherwise hold one descriptor per level.
constexpr int kMaxHeldDepth = 64;

// Below this many entries a second search thread costs more than it saves.
constexpr std::size_t kParallelSearchEntries = 200'000;

constexpr char kMagic[8] = {'G', 'L', 'I', 'M', 'I', 'D', 'X', '1'};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  Fd(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::int64_t MtimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

std::int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t TrustedMtime(const struct stat& st) {
  const std::int64_t mtime = MtimeNs(st);
  // Only times near now are racy; a folder dated far in the future (an
  // unpacked archive, a skewed clock) would otherwise be read on every query.
  const std::int64_t age = NowNs() - mtime;
  return age < kRacyNs && age > -kRacyNs ? kUnknownMtime : mtime;
}

bool IsHidden(std::string_view name) { return !name.empty() && name.front() == '.'; }

std::string JoinPath(std::string folder, std::string_view name) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  folder.append(name);
  return folder;
}

std::uint64_t Fnv1a(std::string_view data, std::uint64_t hash = 1469598103934665603ull) {
  for (unsigned char c : data) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// Little helpers for the cache file: native byte order, since the file only
// ever goes back into the program that wrote it (the magic names the layout).
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

}  // namespace

std::vector<std::string> NormalizeRoots(const std::vector<std::string>& roots) {
  std::vector<std::string> normal;
  for (const std::string& root : roots) {
    if (root.empty()) continue;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(root, error);
    if (error) continue;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    normal.push_back(std::move(text));
  }
  auto inside = [](const std::string& inner, const std::string& outer) {
    if (inner == outer) return true;
    if (outer == "/") return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == '/';
  };
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < normal.size(); ++i) {
    bool covered = false;
    for (std::size_t j = 0; j < normal.size() && !covered; ++j) {
      if (i == j) continue;
      // Of two equal roots the first stays.
      covered = normal[i] == normal[j] ? j < i : inside(normal[i], normal[j]);
    }
    if (!covered) kept.push_back(normal[i]);
  }
  return kept;
}

std::string IndexFileName(const std::vector<std::string>& normalizedRoots, bool includeHidden) {
  std::uint64_t hash = Fnv1a(std::string_view(kMagic, sizeof kMagic));
  for (const std::string& root : normalizedRoots) hash = Fnv1a(std::string_view(root.c_str(), root.size() + 1), hash);
  hash = Fnv1a(includeHidden ? "h" : "-", hash);
  char name[40];
  std::snprintf(name, sizeof name, "index-%016llx.bin", static_cast<unsigned long long>(hash));
  return name;
}

NameIndex::NameIndex(std::vector<std::string> normalizedRoots, bool includeHidden)
    : rootPaths_(std::move(normalizedRoots)), includeHidden_(includeHidden) {
  roots_.assign(rootPaths_.size(), Root{kNoEntry, 0});
}

// ---- building ---------------------------------------------------------------

std::uint32_t NameIndex::AddEntry(std::uint32_t parent, std::string_view name, bool isFolder) {
  const auto id = static_cast<std::uint32_t>(entries_.size());
  Entry entry{parent, static_cast<std::uint32_t>(folded_.size()), kSameAsFolded, kFile};
  const std::string folded = FoldCase(name);
  folded_.append(folded);
  folded_.push_back('\0');
  if (folded != name) {
    entry.name = static_cast<std::uint32_t>(names_.size());
    names_.append(name);
    names_.push_back('\0');
  }
  if (isFolder) {
    entry.folder = static_cast<std::uint32_t>(folders_.size());
    folders_.push_back(Folder{id, kUnknownMtime, {}});
  }
  entries_.push_back(entry);
  if (parent != kNoParent) folders_[entries_[parent].folder].children.push_back(id);
  return id;
}

bool NameIndex::ReadListing(int fd, std::vector<Listed>* listing) const {
  const int own = ::dup(fd);
  if (own < 0) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(own), ::closedir);
  if (!dir) {
    ::close(own);
    return false;
  }
  while (const dirent* d = ::readdir(dir.get())) {
    const std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    if (!includeHidden_ && IsHidden(name)) continue;
    bool isFolder = d->d_type == DT_DIR;
    if (d->d_type == DT_UNKNOWN) {
      struct stat st{};
      isFolder = ::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    listing->push_back(Listed{std::string(name), isFolder});
  }
  return true;
}

void NameIndex::EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev,
                               int depth) {
  const std::uint32_t folderIndex = entries_[entryId].folder;
  Fd fd(depth < kMaxHeldDepth ? ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                              : ::open(PathOf(entryId).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st{};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return;  // unreadable: its time stays unknown, retried
  if (st.st_dev != dev) {
    // Another file system is mounted here: list the folder, never enter it.
    folders_[folderIndex].entry = kDead;
    entries_[entryId].folder = kLeafFolder;
    return;
  }
  Crawl(folderIndex, fd.get(), dev, depth + 1);
}

void NameIndex::Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth) {
  if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) return;
  struct stat st{};
  std::vector<Listed> listing;
  if (::fstat(fd, &st) != 0 || !ReadListing(fd, &listing)) return;
  folders_[folderIndex].mtimeNs = TrustedMtime(st);
  const std::uint32_t self = folders_[folderIndex].entry;
  for (const Listed& item : listing) {
    const std::uint32_t child = AddEntry(self, item.name, item.isFolder);
    if (item.isFolder) EnterSubfolder(child, fd, item.name, dev, depth);
  }
}

bool NameIndex::RefreshRoot(std::size_t rootIndex) {
  Root& root = roots_[rootIndex];
  const std::string& path = rootPaths_[rootIndex];
  Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st{};
  const bool present = fd.get() >= 0 && ::fstat(fd.get(), &st) == 0;
  bool changed = false;
  if (root.entry != kNoEntry && (!present || st.st_dev != root.dev)) {
    MarkDead(root.entry);
    roots_[rootIndex].entry = kNoEntry;
    changed = true;
  }
  if (present && roots_[rootIndex].entry == kNoEntry) {
    const std::uint32_t entry = AddEntry(kNoParent, path, /*isFolder=*/true);
    roots_[rootIndex] = Root{entry, static_cast<std::uint64_t>(st.st_dev)};
    Crawl(entries_[entry].folder, fd.get(), st.st_dev, 0);
    changed = true;
  }
  return changed;
}

void NameIndex::Build() {
  entries_.clear();
  folded_.clear();
  names_.clear();
  folders_.clear();
  dead_ = 0;
  roots_.assign(rootPaths_.size(), Root{kNoEntry, 0});
  for (std::size_t i = 0; i < roots_.size(); ++i) RefreshRoot(i);
  ShrinkToFit();
}

void NameIndex::ShrinkToFit() {
  entries_.shrink_to_fit();
  folded_.shrink_to_fit();
  names_.shrink_to_fit();
  folders_.shrink_to_fit();
  for (Folder& folder : folders_) folder.children.shrink_to_fit();
}

// ---- refreshing -------------------------------------------------------------

void NameIndex::MarkDead(std::uint32_t entryId) {
  std::vector<std::uint32_t> stack{entryId};
  while (!stack.empty()) {
    const std::uint32_t id = stack.back();
    stack.pop_back();
    Entry& entry = entries_[id];
    if (entry.folder == kDead) continue;
    if (entry.folder < kFirstMark) {
      Folder& folder = folders_[entry.folder];
      stack.insert(stack.end(), folder.children.begin(), folder.children.end());
      folder.entry = kDead;
      std::vector<std::uint32_t>().swap(folder.children);
    }
    entry.folder = kDead;
    ++dead_;
  }
}

std::uint64_t NameIndex::RootDevOf(std::uint32_t entryId) const {
  while (entries_[entryId].parent != kNoParent) entryId = entries_[entryId].parent;
  for (const Root& root : roots_)
    if (root.entry == entryId) return root.dev;
  return 0;
}

bool NameIndex::Reread(std::uint32_t folderIndex) {
  const std::uint32_t self = folders_[folderIndex].entry;
  const bool isRoot = entries_[self].parent == kNoParent;
  const std::uint64_t dev = RootDevOf(self);
  Fd fd(::open(PathOf(self).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW)));
  struct stat st{};
  std::vector<Listed> listing;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_dev != dev || !ReadListing(fd.get(), &listing)) {
    // Gone, replaced or unreadable: its entries go; its parent's re-read (or
    // the next refresh) settles the folder itself.
    bool changed = false;
    for (std::uint32_t child : std::vector<std::uint32_t>(std::move(folders_[folderIndex].children))) {
      MarkDead(child);
      changed = true;
    }
    folders_[folderIndex].children.clear();
    folders_[folderIndex].mtimeNs = kUnknownMtime;
    return changed;
  }
  const std::int64_t mtime = TrustedMtime(st);

  std::unordered_map<std::string_view, std::uint32_t> old;
  for (std::uint32_t child : folders_[folderIndex].children) old.emplace(Name(child), child);
  std::vector<std::uint32_t> kept;
  std::vector<const Listed*> added;
  for (const Listed& item : listing) {
    auto it = old.find(item.name);
    if (it != old.end() && (entries_[it->second].folder != kFile) == item.isFolder) {
      kept.push_back(it->second);
      old.erase(it);
    } else {
      added.push_back(&item);
    }
  }
  const bool changed = !old.empty() || !added.empty();
  for (const auto& [name, child] : old) MarkDead(child);
  folders_[folderIndex].children = std::move(kept);
  folders_[folderIndex].mtimeNs = mtime;
  for (const Listed* item : added) {
    const std::uint32_t child = AddEntry(self, item->name, item->isFolder);
    if (item->isFolder) EnterSubfolder(child, fd.get(), item->name, dev, 0);
  }
  return changed;
}

bool NameIndex::IsFolderRecord(std::uint32_t entryId, std::size_t limit) const {
  const std::uint32_t folder = entries_[entryId].folder;
  return folder < kFirstMark && folder < limit;
}

void NameIndex::CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t limit,
                             std::vector<std::uint32_t>* stale) const {
  for (std::uint32_t child : folders_[folderIndex].children) {
    if (!IsFolderRecord(child, limit)) continue;
    const std::uint32_t sub = entries_[child].folder;
    // Names in the arenas are NUL-terminated, so data() is a C string.
    const char* name = Name(child).data();
    struct stat st{};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        MtimeNs(st) != folders_[sub].mtimeNs) {
      stale->push_back(sub);
    }
    const auto& grandChildren = folders_[sub].children;
    if (std::none_of(grandChildren.begin(), grandChildren.end(),
                     [&](std::uint32_t g) { return IsFolderRecord(g, limit); }))
      continue;
    Fd subFd(::openat(fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (subFd.get() >= 0) CheckSubtree(sub, subFd.get(), limit, stale);
  }
}

// Which folders changed since they were read. Checking each folder costs one
// system call; to keep that a one-component fstatat rather than a full path
// lookup the tree is walked with a descriptor per level, and the walk is
// split over two threads by subtrees a few levels down.
std::vector<std::uint32_t> NameIndex::StaleFolders(std::size_t limit) const {
  std::vector<std::uint32_t> stale;
  auto checkOwnTime = [&](std::uint32_t folderIndex, int fd, std::vector<std::uint32_t>* out) {
    struct stat st{};
    if (::fstat(fd, &st) != 0 || MtimeNs(st) != folders_[folderIndex].mtimeNs) out->push_back(folderIndex);
  };
  auto openFolder = [&](std::uint32_t folderIndex) {
    const std::uint32_t entry = folders_[folderIndex].entry;
    const int noFollow = entries_[entry].parent == kNoParent ? 0 : O_NOFOLLOW;
    return Fd(::open(PathOf(entry).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | noFollow));
  };

  std::vector<std::uint32_t> level;
  for (const Root& root : roots_)
    if (root.entry != kNoEntry && IsFolderRecord(root.entry, limit)) level.push_back(entries_[root.entry].folder);
  for (int depth = 0; depth < 3 && !level.empty() && level.size() < 64; ++depth) {
    std::vector<std::uint32_t> next;
    for (std::uint32_t folderIndex : level) {
      const Fd fd = openFolder(folderIndex);
      if (fd.get() < 0) {
        stale.push_back(folderIndex);
        continue;
      }
      checkOwnTime(folderIndex, fd.get(), &stale);
      for (std::uint32_t child : folders_[folderIndex].children)
        if (IsFolderRecord(child, limit)) next.push_back(entries_[child].folder);
    }
    level = std::move(next);
  }

  std::atomic<std::size_t> nextItem{0};
  auto work = [&](std::vector<std::uint32_t>* out) {
    for (std::size_t item = nextItem++; item < level.size(); item = nextItem++) {
      const Fd fd = openFolder(level[item]);
      if (fd.get() < 0) {
        out->push_back(level[item]);
        continue;
      }
      checkOwnTime(level[item], fd.get(), out);
      CheckSubtree(level[item], fd.get(), limit, out);
    }
  };
  std::vector<std::uint32_t> helperStale;
  std::thread helper;
  if (level.size() > 1) {
    try {
      helper = std::thread(work, &helperStale);
    } catch (...) {
      // No second thread: this one does all the work.
    }
  }
  work(&stale);
  if (helper.joinable()) helper.join();
  stale.insert(stale.end(), helperStale.begin(), helperStale.end());
  return stale;
}

bool NameIndex::Refresh() {
  bool changed = false;
  const std::size_t knownFolders = folders_.size();
  for (std::size_t i = 0; i < roots_.size(); ++i) changed |= RefreshRoot(i);
  std::vector<std::uint32_t> stale = StaleFolders(knownFolders);
  // Parents were created before their children, so ascending order re-reads
  // a parent first and skips children it dropped.
  std::sort(stale.begin(), stale.end());
  for (std::uint32_t folderIndex : stale) {
    if (folders_[folderIndex].entry == kDead) continue;
    changed |= Reread(folderIndex);
  }
  if (dead_ > 256 && dead_ > entries_.size() / 4) Compact();
  return changed;
}

void NameIndex::Compact() {
  std::vector<std::uint32_t> newId(entries_.size(), kNoEntry);
  std::vector<Entry> entries;
  std::string folded;
  std::string names;
  std::vector<Folder> folders;
  entries.reserve(entries_.size() - dead_);
  for (std::uint32_t id = 0; id < entries_.size(); ++id) {
    const Entry& old = entries_[id];
    if (old.folder == kDead) continue;
    newId[id] = static_cast<std::uint32_t>(entries.size());
    Entry entry{old.parent == kNoParent ? kNoParent : newId[old.parent], static_cast<std::uint32_t>(folded.size()),
                kSameAsFolded, old.folder};
    folded.append(FoldedName(id));
    folded.push_back('\0');
    if (old.name != kSameAsFolded) {
      entry.name = static_cast<std::uint32_t>(names.size());
      names.append(Name(id));
      names.push_back('\0');
    }
    if (old.folder < kFirstMark) {
      entry.folder = static_cast<std::uint32_t>(folders.size());
      folders.push_back(Folder{newId[id], folders_[old.folder].mtimeNs, {}});
    }
    entries.push_back(entry);
  }
  for (Folder& folder : folders) folder.children.clear();
  for (std::uint32_t id = 0; id < entries.size(); ++id)
    if (entries[id].parent != kNoParent) folders[entries[entries[id].parent].folder].children.push_back(id);
  for (Root& root : roots_)
    if (root.entry != kNoEntry) root.entry = newId[root.entry];
  entries_ = std::move(entries);
  folded_ = std::move(folded);
  names_ = std::move(names);
  folders_ = std::move(folders);
  dead_ = 0;
  ShrinkToFit();
}

// ---- reading ----------------------------------------------------------------

std::string_view NameIndex::FoldedName(std::uint32_t id) const {
  const std::size_t begin = entries_[id].folded;
  const std::size_t end = id + 1 < entries_.size() ? entries_[id + 1].folded : folded_.size();
  return std::string_view(folded_).substr(begin, end - begin - 1);
}

std::string_view NameIndex::Name(std::uint32_t id) const {
  const std::uint32_t offset = entries_[id].name;
  if (offset == kSameAsFolded) return FoldedName(id);
  return std::string_view(names_.c_str() + offset);
}

std::string NameIndex::PathOf(std::uint32_t id) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = id; at != kNoParent; at = entries_[at].parent) chain.push_back(at);
  std::string path(Name(chain.back()));
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path = JoinPath(std::move(path), Name(*it));
  return path;
}

std::size_t NameIndex::RootEntryCount() const {
  return static_cast<std::size_t>(
      std::count_if(roots_.begin(), roots_.end(), [](const Root& root) { return root.entry != kNoEntry; }));
}

std::size_t NameIndex::FolderCount() const {
  return static_cast<std::size_t>(std::count_if(folders_.begin(), folders_.end(), [](const Folder& folder) {
    return folder.entry != kDead;
  })) - RootEntryCount();
}

std::size_t NameIndex::MemoryBytes() const {
  std::size_t bytes = entries_.capacity() * sizeof(Entry) + folded_.capacity() + names_.capacity() +
                      folders_.capacity() * sizeof(Folder);
  for (const Folder& folder : folders_) bytes += folder.children.capacity() * sizeof(std::uint32_t);
  return bytes;
}

void NameIndex::SearchRange(const Query& query, std::uint32_t first, std::uint32_t last,
                            std::vector<std::uint32_t>* hits) const {
  // Folded folder paths, built once per folder, for path terms.
  std::unordered_map<std::uint32_t, std::string> folderPaths;
  std::function<const std::string&(std::uint32_t)> folderPath = [&](std::uint32_t id) -> const std::string& {
    auto it = folderPaths.find(id);
    if (it != folderPaths.end()) return it->second;
    const std::uint32_t parent = entries_[id].parent;
    std::string path = parent == kNoParent ? std::string(FoldedName(id)) : JoinPath(folderPath(parent), FoldedName(id));
    return folderPaths.emplace(id, std::move(path)).first->second;
  };
  std::string pathBuffer;
  auto test = [&](std::uint32_t id) {
    const Entry& entry = entries_[id];
    if (entry.folder == kDead || entry.parent == kNoParent) return;
    EntryView view{FoldedName(id), entry.folder != kFile, {}};
    if (query.UsesPath()) {
      pathBuffer = JoinPath(folderPath(entry.parent), view.foldedName);
      view.foldedPath = pathBuffer;
    }
    if (query.Matches(view)) hits->push_back(id);
  };

  const std::string literal = query.RequiredNameLiteral();
  if (literal.empty()) {
    for (std::uint32_t id = first; id < last; ++id) test(id);
    return;
  }
  // Search the arena for the literal in one pass; only the names holding it
  // are tested against the whole query.
  const char* arena = folded_.data();
  std::size_t at = entries_[first].folded;
  const std::size_t end = last < entries_.size() ? entries_[last].folded : folded_.size();
  // Hits come in arena order, so the entry holding one is found by walking
  // forward from the last: at most one pass over the range in all.
  std::uint32_t id = first;
  while (at < end) {
    const void* found = memmem(arena + at, end - at, literal.data(), literal.size());
    if (found == nullptr) break;
    const std::size_t offset = static_cast<const char*>(found) - arena;
    while (id + 1 < last && entries_[id + 1].folded <= offset) ++id;
    test(id);
    at = id + 1 < entries_.size() ? entries_[id + 1].folded : folded_.size();
  }
}

std::optional<std::vector<SearchResult>> NameIndex::Search(const Query& query) const {
  if (RootEntryCount() == 0) return std::nullopt;
  const auto count = static_cast<std::uint32_t>(entries_.size());
  std::vector<std::uint32_t> hits;
  if (count >= kParallelSearchEntries) {
    const std::uint32_t middle = count / 2;
    std::vector<std::uint32_t> secondHits;
    std::thread second;
    try {
      second = std::thread([&] { SearchRange(query, middle, count, &secondHits); });
    } catch (...) {
      // No thread to be had: search the second half here instead.
    }
    SearchRange(query, 0, middle, &hits);
    if (second.joinable()) {
      second.join();
    } else {
      SearchRange(query, middle, count, &secondHits);
    }
    hits.insert(hits.end(), secondHits.begin(), secondHits.end());
  } else {
    SearchRange(query, 0, count, &hits);
  }

  // Order the ids first and make strings only for the answer: names ignoring
  // case, and folders only where two names are alike.
  // The first eight bytes of each name, read big-endian, settle most
  // comparisons without touching the arena.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
  keyed.reserve(hits.size());
  for (std::uint32_t id : hits) {
    const std::string_view name = FoldedName(id);
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i)
      key = (key << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    keyed.emplace_back(key, id);
  }
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return FoldedName(a.second) < FoldedName(b.second);
  });
  for (std::size_t i = 0; i < hits.size(); ++i) hits[i] = keyed[i].second;
  std::unordered_map<std::uint32_t, std::string> folderOf;
  folderOf.reserve(std::min(hits.size(), folders_.size()));
  auto folderPath = [&](std::uint32_t id) -> const std::string& {
    const std::uint32_t parent = entries_[id].parent;
    auto it = folderOf.find(parent);
    if (it == folderOf.end()) it = folderOf.emplace(parent, PathOf(parent)).first;
    return it->second;
  };
  for (auto run = hits.begin(); run != hits.end();) {
    const auto runEnd = std::find_if(run, hits.end(), [&](std::uint32_t id) { return FoldedName(id) != FoldedName(*run); });
    if (runEnd - run > 1) {
      std::sort(run, runEnd, [&](std::uint32_t a, std::uint32_t b) {
        if (const int c = folderPath(a).compare(folderPath(b)); c != 0) return c < 0;
        return Name(a) < Name(b);
      });
    }
    run = runEnd;
  }
  std::vector<SearchResult> results;
  results.reserve(hits.size());
  for (std::uint32_t id : hits) results.push_back(SearchResult{std::string(Name(id)), folderPath(id)});
  return results;
}

// ---- the cache file -----------------------------------------------------------

bool NameIndex::Save(const std::string& path) const {
  std::optional<TempFile> file = TempFile::CreateBeside(path);
  if (!file) return false;
  Writer out(&*file);
  out.Put(kMagic, sizeof kMagic);
  out.Value<std::uint32_t>(includeHidden_ ? 1 : 0);
  out.Value<std::uint64_t>(rootPaths_.size());
  for (std::size_t i = 0; i < rootPaths_.size(); ++i) {
    out.Text(rootPaths_[i]);
    out.Value(roots_[i].entry);
    out.Value(roots_[i].dev);
  }
  out.Value<std::uint64_t>(entries_.size());
  out.Put(entries_.data(), entries_.size() * sizeof(Entry));
  out.Text(folded_);
  out.Text(names_);
  out.Value<std::uint64_t>(folders_.size());
  for (const Folder& folder : folders_) {
    out.Value(folder.entry);
    out.Value(folder.mtimeNs);
  }
  return out.ok() && file->CommitTo(path);
}

bool NameIndex::Load(const std::string& path) {
  const std::optional<Bytes> bytes = ReadWholeFile(path, std::size_t{1} << 34);
  if (!bytes) return false;
  Reader in(bytes->data(), bytes->size());
  char magic[sizeof kMagic];
  std::uint32_t hidden = 0;
  std::uint64_t rootCount = 0;
  if (!in.Get(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
  if (!in.Value(&hidden) || (hidden != 0) != includeHidden_) return false;
  if (!in.Value(&rootCount) || rootCount != rootPaths_.size()) return false;
  std::vector<Root> roots(rootCount);
  for (std::size_t i = 0; i < rootCount; ++i) {
    std::string rootPath;
    if (!in.Text(&rootPath) || rootPath != rootPaths_[i]) return false;
    if (!in.Value(&roots[i].entry) || !in.Value(&roots[i].dev)) return false;
  }
  std::vector<Entry> entries;
  std::string folded;
  std::string names;
  std::uint64_t folderCount = 0;
  if (!in.Array(&entries) || !in.Text(&folded) || !in.Text(&names) || !in.Value(&folderCount)) return false;
  if (folderCount > entries.size()) return false;
  std::vector<Folder> folders(folderCount);
  for (Folder& folder : folders)
    if (!in.Value(&folder.entry) || !in.Value(&folder.mtimeNs)) return false;
  if (!in.done()) return false;

  // The file is checked whole before it is used: every offset inside its
  // arena, parents before their children, folder records pointing both ways.
  if (entries.size() >= kFirstMark) return false;
  if (!folded.empty() && folded.back() != '\0') return false;
  if (!names.empty() && names.back() != '\0') return false;
  if (entries.empty() != folded.empty()) return false;
  std::size_t dead = 0;
  for (std::uint32_t id = 0; id < entries.size(); ++id) {
    const Entry& entry = entries[id];
    if (entry.folded >= folded.size()) return false;
    if (id > 0 && entry.folded <= entries[id - 1].folded) return false;
    if (entry.name != kSameAsFolded && entry.name >= names.size()) return false;
    if (entry.folder == kDead) {
      ++dead;
      continue;
    }
    if (entry.folder < kFirstMark && (entry.folder >= folders.size() || folders[entry.folder].entry != id))
      return false;
    if (entry.parent == kNoParent) {
      if (std::none_of(roots.begin(), roots.end(), [&](const Root& root) { return root.entry == id; })) return false;
      continue;
    }
    if (entry.parent >= id || entries[entry.parent].folder >= kFirstMark) return false;
    folders[entries[entry.parent].folder].children.push_back(id);
  }
  if (!entries.empty() && entries.front().folded != 0) return false;
  for (std::uint32_t index = 0; index < folders.size(); ++index) {
    const std::uint32_t entry = folders[index].entry;
    if (entry != kDead && (entry >= entries.size() || entries[entry].folder != index)) return false;
  }
  for (const Root& root : roots) {
    if (root.entry == kNoEntry) continue;
    if (root.entry >= entries.size() || entries[root.entry].parent != kNoParent ||
        entries[root.entry].folder >= kFirstMark)
      return false;
  }
  roots_ = std::move(roots);
  entries_ = std::move(entries);
  folded_ = std::move(folded);
  names_ = std::move(names);
  folders_ = std::move(folders);
  dead_ = dead;
  return true;
}

}  // namespace glimpses

#include "name_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
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

#include "file_handle.h"
#include "index_cache.h"
#include "index_search.h"

namespace glimpses {
namespace {

using Root = IndexTable::Root;
using Folder = IndexTable::Folder;

// A folder changed this recently may change again within the same tick of
// the file system's clock without its time moving, so its time is not
// trusted: the next refresh reads it again.
constexpr std::int64_t kRacyNs = 2'000'000'000;

// Deep trees would otherwise hold one descriptor per level.
constexpr int kMaxHeldDepth = 64;

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
  return age < kRacyNs && age > -kRacyNs ? IndexTable::kUnknownMtime : mtime;
}

bool IsHidden(std::string_view name) { return !name.empty() && name.front() == '.'; }

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
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
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

NameIndex::NameIndex(std::vector<std::string> normalizedRoots, bool includeHidden)
    : rootPaths_(std::move(normalizedRoots)), includeHidden_(includeHidden) {
  table_.Clear(rootPaths_.size());
}

bool NameIndex::ReadListing(int fd, std::vector<Listed>* listing) {
  ++foldersRead_;
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
      struct stat st {};
      isFolder = ::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    listing->push_back(Listed{std::string(name), isFolder});
  }
  entriesRead_.fetch_add(listing->size(), std::memory_order_relaxed);
  return true;
}

void NameIndex::EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev,
                               int depth) {
  const std::uint32_t folderIndex = table_.entries[entryId].folder;
  UniqueFd fd(depth < kMaxHeldDepth ? ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                    : OpenEntry(entryId, O_RDONLY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return;  // unreadable: its time stays unknown, retried
  if (st.st_dev != dev) {
    // Another file system is mounted here: list the folder, never enter it.
    table_.folders[folderIndex].entry = IndexTable::kDead;
    table_.entries[entryId].folder = IndexTable::kLeafFolder;
    return;
  }
  Crawl(folderIndex, fd.get(), dev, depth + 1);
}

void NameIndex::Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth) {
  if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) return;
  struct stat st {};
  std::vector<Listed> listing;
  // Watched before it is read, so no change falls between the two.
  if (IsWatchedDev(dev)) WatchFolder(folderIndex, fd);
  if (::fstat(fd, &st) != 0 || !ReadListing(fd, &listing)) return;
  table_.folders[folderIndex].mtimeNs = TrustedMtime(st);
  const std::uint32_t self = table_.folders[folderIndex].entry;
  std::stable_partition(listing.begin(), listing.end(), [](const Listed& item) { return item.isFolder; });
  for (const Listed& item : listing) {
    const std::uint32_t child = table_.Add(self, item.name, item.isFolder);
    if (item.isFolder) EnterSubfolder(child, fd, item.name, dev, depth);
  }
}

bool NameIndex::RefreshRoot(std::size_t rootIndex) {
  Root& root = table_.roots[rootIndex];
  const std::string& path = rootPaths_[rootIndex];
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  const bool present = fd.get() >= 0 && ::fstat(fd.get(), &st) == 0;
  bool changed = false;
  if (root.entry != IndexTable::kNoEntry && (!present || st.st_dev != root.dev)) {
    table_.MarkDead(root.entry);
    table_.roots[rootIndex].entry = IndexTable::kNoEntry;
    changed = true;
  }
  if (present && table_.roots[rootIndex].entry == IndexTable::kNoEntry) {
    const std::uint32_t entry = table_.Add(IndexTable::kNoParent, path, /*isFolder=*/true);
    table_.roots[rootIndex] = Root{entry, static_cast<std::uint64_t>(st.st_dev)};
    if (watch_ != nullptr && IsWatchedDev(st.st_dev) && isRemote_(path)) remoteDevs_.push_back(st.st_dev);
    Crawl(table_.entries[entry].folder, fd.get(), st.st_dev, 0);
    changed = true;
  }
  return changed;
}

void NameIndex::Build() {
  table_.Clear(rootPaths_.size());
  for (std::size_t i = 0; i < table_.roots.size(); ++i) RefreshRoot(i);
  table_.Compact();
}

// ---- refreshing -------------------------------------------------------------

std::uint64_t NameIndex::RootDevOf(std::uint32_t entryId) const {
  while (table_.entries[entryId].parent != IndexTable::kNoParent) entryId = table_.entries[entryId].parent;
  for (const Root& root : table_.roots)
    if (root.entry == entryId) return root.dev;
  return 0;
}

bool NameIndex::Reread(std::uint32_t folderIndex) {
  const std::uint32_t self = table_.folders[folderIndex].entry;
  const std::uint64_t dev = RootDevOf(self);
  UniqueFd fd(OpenEntry(self, O_RDONLY));
  struct stat st {};
  std::vector<Listed> listing;
  if (fd.get() >= 0 && table_.folders[folderIndex].watch < 0 && IsWatchedDev(dev)) WatchFolder(folderIndex, fd.get());
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_dev != dev || !ReadListing(fd.get(), &listing)) {
    // Gone, replaced or unreadable: its entries go; its parent's re-read (or
    // the next refresh) settles the folder itself.
    bool changed = false;
    for (std::uint32_t child : std::vector<std::uint32_t>(std::move(table_.folders[folderIndex].children))) {
      table_.MarkDead(child);
      changed = true;
    }
    table_.folders[folderIndex].children.clear();
    table_.folders[folderIndex].mtimeNs = IndexTable::kUnknownMtime;
    return changed;
  }
  const std::int64_t mtime = TrustedMtime(st);

  std::unordered_map<std::string_view, std::uint32_t> old;
  for (std::uint32_t child : table_.folders[folderIndex].children) old.emplace(table_.Name(child), child);
  std::vector<std::uint32_t> kept;
  std::vector<const Listed*> added;
  for (const Listed& item : listing) {
    auto it = old.find(item.name);
    if (it != old.end() && (table_.entries[it->second].folder != IndexTable::kFile) == item.isFolder) {
      kept.push_back(it->second);
      old.erase(it);
    } else {
      added.push_back(&item);
    }
  }
  const bool changed = !old.empty() || !added.empty();
  for (const auto& [name, child] : old) table_.MarkDead(child);
  table_.folders[folderIndex].children = std::move(kept);
  table_.folders[folderIndex].mtimeNs = mtime;
  for (const Listed* item : added) {
    const std::uint32_t child = table_.Add(self, item->name, item->isFolder);
    if (item->isFolder) EnterSubfolder(child, fd.get(), item->name, dev, 0);
  }
  table_.PutFoldersFirst(folderIndex);
  return changed;
}

bool NameIndex::IsFolderRecord(std::uint32_t entryId, std::size_t limit) const {
  const std::uint32_t folder = table_.entries[entryId].folder;
  return folder < IndexTable::kFirstMark && folder < limit;
}

void NameIndex::CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t limit,
                             std::vector<std::uint32_t>* stale) const {
  // Folders come first among the children: the files after them are not
  // looked at.
  for (std::uint32_t child : table_.folders[folderIndex].children) {
    if (table_.entries[child].folder == IndexTable::kFile) break;
    if (!IsFolderRecord(child, limit)) continue;
    const std::uint32_t sub = table_.entries[child].folder;
    // Names in the arenas are NUL-terminated, so data() is a C string.
    const char* name = table_.Name(child).data();
    struct stat st {};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        MtimeNs(st) != table_.folders[sub].mtimeNs) {
      stale->push_back(sub);
    }
    const auto& grandChildren = table_.folders[sub].children;
    if (std::none_of(grandChildren.begin(),
                     std::find_if(grandChildren.begin(), grandChildren.end(),
                                  [&](std::uint32_t g) { return table_.entries[g].folder == IndexTable::kFile; }),
                     [&](std::uint32_t g) { return IsFolderRecord(g, limit); }))
      continue;
    UniqueFd subFd(::openat(fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (subFd.get() >= 0) CheckSubtree(sub, subFd.get(), limit, stale);
  }
}

// Which folders changed since they were read. Checking each folder costs one
// system call; to keep that a one-component fstatat rather than a full path
// lookup the tree is walked with a descriptor per level, and the walk is
// split over two threads by subtrees a few levels down.
std::vector<std::uint32_t> NameIndex::StaleFolders(std::size_t limit, const std::vector<bool>& rootsToCheck) const {
  std::vector<std::uint32_t> stale;
  auto checkOwnTime = [&](std::uint32_t folderIndex, int fd, std::vector<std::uint32_t>* out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || MtimeNs(st) != table_.folders[folderIndex].mtimeNs) out->push_back(folderIndex);
  };
  auto openFolder = [&](std::uint32_t folderIndex) {
    const std::uint32_t entry = table_.folders[folderIndex].entry;
    return UniqueFd(OpenEntry(entry, O_PATH));
  };

  std::vector<std::uint32_t> level;
  for (std::size_t i = 0; i < table_.roots.size(); ++i) {
    const std::uint32_t entry = table_.roots[i].entry;
    if (rootsToCheck[i] && entry != IndexTable::kNoEntry && IsFolderRecord(entry, limit))
      level.push_back(table_.entries[entry].folder);
  }
  for (int depth = 0; depth < 3 && !level.empty() && level.size() < 64; ++depth) {
    std::vector<std::uint32_t> next;
    for (std::uint32_t folderIndex : level) {
      const UniqueFd fd = openFolder(folderIndex);
      if (fd.get() < 0) {
        stale.push_back(folderIndex);
        continue;
      }
      checkOwnTime(folderIndex, fd.get(), &stale);
      for (std::uint32_t child : table_.folders[folderIndex].children)
        if (IsFolderRecord(child, limit)) next.push_back(table_.entries[child].folder);
    }
    level = std::move(next);
  }

  std::atomic<std::size_t> nextItem{0};
  auto work = [&](std::vector<std::uint32_t>* out) {
    for (std::size_t item = nextItem++; item < level.size(); item = nextItem++) {
      const UniqueFd fd = openFolder(level[item]);
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

bool NameIndex::RereadStale(std::vector<std::uint32_t> stale) {
  // Parents first, so a folder its parent dropped is not read.
  auto depth = [&](std::uint32_t folderIndex) {
    int d = 0;
    for (std::uint32_t at = table_.folders[folderIndex].entry; table_.entries[at].parent != IndexTable::kNoParent;
         at = table_.entries[at].parent)
      ++d;
    return d;
  };
  std::vector<std::pair<int, std::uint32_t>> byDepth;
  for (std::uint32_t folderIndex : stale) byDepth.emplace_back(depth(folderIndex), folderIndex);
  std::sort(byDepth.begin(), byDepth.end());
  bool changed = false;
  for (const auto& [d, folderIndex] : byDepth) {
    if (table_.folders[folderIndex].entry == IndexTable::kDead) continue;
    changed |= Reread(folderIndex);
  }
  const std::size_t unordered = table_.entries.size() - table_.orderedCount;
  if ((table_.dead > 256 && table_.dead > table_.entries.size() / 4) ||
      (unordered > 4096 && unordered > table_.entries.size() / 16))
    table_.Compact();
  SettleWatches();
  return changed;
}

bool NameIndex::Refresh() {
  bool changed = false;
  const std::size_t knownFolders = table_.folders.size();
  for (std::size_t i = 0; i < table_.roots.size(); ++i) changed |= RefreshRoot(i);
  changed |= RereadStale(StaleFolders(knownFolders, std::vector<bool>(table_.roots.size(), true)));
  return changed;
}

// ---- keeping current from notifications ---------------------------------------

// Opens an indexed folder by its path; a path too long for one system call
// is opened one component at a time from its root.
int NameIndex::OpenEntry(std::uint32_t entryId, int flags) const {
  flags |= O_DIRECTORY | O_CLOEXEC;
  const bool isRoot = table_.entries[entryId].parent == IndexTable::kNoParent;
  const std::string path = table_.PathOf(entryId);
  if (path.size() < PATH_MAX) return ::open(path.c_str(), flags | (isRoot ? 0 : O_NOFOLLOW));
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = entryId; at != IndexTable::kNoParent; at = table_.entries[at].parent) chain.push_back(at);
  UniqueFd fd(::open(std::string(table_.Name(chain.back())).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (auto it = chain.rbegin() + 1; it != chain.rend() && fd.get() >= 0; ++it) {
    const bool last = it + 1 == chain.rend();
    fd = UniqueFd(::openat(fd.get(), std::string(table_.Name(*it)).c_str(),
                           (last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC) | O_NOFOLLOW));
  }
  return fd.release();
}

bool NameIndex::IsWatchedDev(std::uint64_t dev) const {
  return watch_ != nullptr && std::find(remoteDevs_.begin(), remoteDevs_.end(), dev) == remoteDevs_.end();
}

void NameIndex::WatchFolder(std::uint32_t folderIndex, int fd) {
  const int watch = watch_->Add(fd);
  if (watch < 0) return;  // checked by its time instead
  table_.folders[folderIndex].watch = watch;
  if (static_cast<std::size_t>(watch) >= folderOfWatch_.size()) folderOfWatch_.resize(watch + 1, IndexTable::kNoEntry);
  folderOfWatch_[watch] = folderIndex;
}

void NameIndex::Watch(FolderWatch* watch) {
  watch_ = watch;
  remoteDevs_.clear();
  for (std::size_t i = 0; i < table_.roots.size(); ++i)
    if (table_.roots[i].entry != IndexTable::kNoEntry && isRemote_(rootPaths_[i]))
      remoteDevs_.push_back(table_.roots[i].dev);
  for (std::uint32_t index = 0; index < table_.folders.size(); ++index) {
    const IndexTable::Folder& folder = table_.folders[index];
    if (folder.entry == IndexTable::kDead || folder.watch >= 0 || !IsWatchedDev(RootDevOf(folder.entry))) continue;
    const UniqueFd fd(OpenEntry(folder.entry, O_PATH));
    if (fd.get() >= 0) WatchFolder(index, fd.get());
  }
  watchMapGeneration_ = table_.generation;
}

// Watches of folders that went are dropped; after a renumbering the map
// from watch to folder is made again.
void NameIndex::SettleWatches() {
  if (watch_ == nullptr) return;
  if (watchMapGeneration_ != table_.generation) {
    std::fill(folderOfWatch_.begin(), folderOfWatch_.end(), IndexTable::kNoEntry);
    for (std::uint32_t index = 0; index < table_.folders.size(); ++index)
      if (const int watch = table_.folders[index].watch; watch >= 0) folderOfWatch_[watch] = index;
    watchMapGeneration_ = table_.generation;
  }
  for (const int watch : table_.droppedWatches) {
    watch_->Remove(watch);
    folderOfWatch_[watch] = IndexTable::kNoEntry;
  }
  table_.droppedWatches.clear();
}

bool NameIndex::RemoveChild(std::uint32_t folderIndex, std::string_view name) {
  auto& children = table_.folders[folderIndex].children;
  const auto it =
      std::find_if(children.begin(), children.end(), [&](std::uint32_t child) { return table_.Name(child) == name; });
  if (it == children.end()) return false;
  const std::uint32_t child = *it;
  children.erase(it);
  table_.MarkDead(child);
  SettleWatches();
  return true;
}

bool NameIndex::AddChild(std::uint32_t folderIndex, const std::string& name) {
  const std::uint32_t self = table_.folders[folderIndex].entry;
  const UniqueFd parent(OpenEntry(self, O_PATH));
  struct stat st {};
  if (parent.get() < 0 || ::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool isFolder = S_ISDIR(st.st_mode);
  const std::uint32_t child = table_.Add(self, name, isFolder);
  if (isFolder) EnterSubfolder(child, parent.get(), name, RootDevOf(self), 0);
  table_.PutFoldersFirst(folderIndex);
  return true;
}

bool NameIndex::ApplyEvent(const FolderWatch::Event& event) {
  if (event.mask & IN_Q_OVERFLOW) {
    overflowed_ = true;
    return false;
  }
  if (event.watch < 0 || static_cast<std::size_t>(event.watch) >= folderOfWatch_.size()) return false;
  const std::uint32_t folderIndex = folderOfWatch_[event.watch];
  if (folderIndex == IndexTable::kNoEntry || table_.folders[folderIndex].watch != event.watch) return false;
  IndexTable::Folder& folder = table_.folders[folderIndex];
  if (event.mask & IN_IGNORED) {
    // The kernel dropped the watch (an unmount, say): its time is checked
    // from now on.
    folder.watch = -1;
    folder.mtimeNs = IndexTable::kUnknownMtime;
    folderOfWatch_[event.watch] = IndexTable::kNoEntry;
    return false;
  }
  if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
    // Another folder's event tells of a subfolder; a root that went is
    // dropped here, and the next CatchUp reads whatever is at its path.
    for (Root& root : table_.roots) {
      if (root.entry != folder.entry) continue;
      table_.MarkDead(root.entry);
      root.entry = IndexTable::kNoEntry;
      SettleWatches();
      return true;
    }
    return false;
  }
  if (event.name.empty() || (!includeHidden_ && IsHidden(event.name))) return false;
  // Its time on record no longer matches; should the watch go, the folder
  // is read again.
  folder.mtimeNs = IndexTable::kUnknownMtime;
  bool changed = RemoveChild(folderIndex, event.name);
  if (event.mask & (IN_CREATE | IN_MOVED_TO)) changed |= AddChild(folderIndex, event.name);
  return changed;
}

bool NameIndex::ApplyChanges() {
  if (watch_ == nullptr) return false;
  bool changed = false;
  for (const FolderWatch::Event& event : watch_->Read()) changed |= ApplyEvent(event);
  return changed;
}

std::vector<std::uint32_t> NameIndex::StaleUnwatchedFolders() const {
  std::vector<std::uint32_t> stale;
  for (std::uint32_t index = 0; index < table_.folders.size(); ++index) {
    const IndexTable::Folder& folder = table_.folders[index];
    if (folder.entry == IndexTable::kDead || folder.watch >= 0 || !IsWatchedDev(RootDevOf(folder.entry))) continue;
    const UniqueFd fd(OpenEntry(folder.entry, O_PATH));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || MtimeNs(st) != folder.mtimeNs) stale.push_back(index);
  }
  return stale;
}

bool NameIndex::CatchUp() {
  bool changed = ApplyChanges();
  if (overflowed_) {
    overflowed_ = false;
    return Refresh() || changed;
  }
  const std::size_t knownFolders = table_.folders.size();
  std::vector<bool> remote(table_.roots.size(), false);
  for (std::size_t i = 0; i < table_.roots.size(); ++i) {
    changed |= RefreshRoot(i);
    remote[i] = table_.roots[i].entry != IndexTable::kNoEntry && !IsWatchedDev(table_.roots[i].dev);
  }
  std::vector<std::uint32_t> stale = StaleFolders(knownFolders, remote);
  const std::vector<std::uint32_t> unwatched = StaleUnwatchedFolders();
  stale.insert(stale.end(), unwatched.begin(), unwatched.end());
  changed |= RereadStale(std::move(stale));
  return changed;
}

NameIndex::Coverage NameIndex::WatchCoverage() const {
  Coverage coverage;
  if (watch_ == nullptr) return coverage;
  for (const Root& root : table_.roots)
    if (root.entry != IndexTable::kNoEntry && !IsWatchedDev(root.dev)) ++coverage.remoteRoots;
  for (const IndexTable::Folder& folder : table_.folders)
    if (folder.entry != IndexTable::kDead && folder.watch < 0 && IsWatchedDev(RootDevOf(folder.entry)))
      ++coverage.unwatchedFolders;
  return coverage;
}

// ---- searching and saving -----------------------------------------------------

std::optional<std::vector<std::uint32_t>> NameIndex::Match(const Query& query, const NameFilter& keep) const {
  if (table_.RootEntryCount() == 0) return std::nullopt;
  std::vector<std::uint32_t> ids = MatchEntries(table_, query, keep);
  OrderMatches(table_, ids);
  return ids;
}

std::optional<SearchResult> NameIndex::ResultAt(std::uint64_t generation, std::uint32_t id) const {
  if (generation != table_.generation || id >= table_.entries.size() ||
      table_.entries[id].parent == IndexTable::kNoParent)
    return std::nullopt;
  return SearchResult{std::string(table_.Name(id)), table_.PathOf(table_.entries[id].parent)};
}

std::optional<std::vector<SearchResult>> NameIndex::Search(const Query& query) const {
  std::optional<std::vector<std::uint32_t>> ids = Match(query);
  if (!ids) return std::nullopt;
  return ResultsOf(table_, *ids);
}

bool NameIndex::Save(const std::string& path) const { return SaveIndexTable(table_, rootPaths_, includeHidden_, path); }

bool NameIndex::Load(const std::string& path) { return LoadIndexTable(path, rootPaths_, includeHidden_, &table_); }

}  // namespace glimpses

#include "search/name_index.h"

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

#include "base/file_handle.h"
#include "base/path.h"
#include "search/entry_facts.h"
#include "search/index_cache.h"
#include "search/index_search.h"

namespace glimpses {
namespace {

using Root = IndexTable::Root;

// A folder changed this recently may change again within the same tick of
// the file system's clock without its time moving, so its time is not
// trusted: the next refresh reads it again.
constexpr std::int64_t kRacyNs = 2'000'000'000;

// The paths kept for TakeNamedPaths between two calls; a burst beyond this
// (a large folder unpacked) is told as an overflow instead.
constexpr std::size_t kMaxNamedPaths = 100'000;

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

void NameIndex::AddListed(std::uint32_t parent, const Listed& item, int parentFd, std::uint64_t dev, int depth) {
  if (item.isFolder && !excluded_.empty() && excluded_.Excludes(JoinPath(table_.PathOf(parent), item.name))) return;
  const std::uint32_t child = table_.Add(parent, item.name, item.isFolder);
  if (item.isFolder) EnterSubfolder(child, parentFd, item.name, dev, depth);
}

void NameIndex::EnterSubfolder(std::uint32_t entryId, int parentFd, const std::string& name, std::uint64_t dev,
                               int depth) {
  UniqueFd fd(depth < kMaxHeldDepth ? ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                    : OpenEntry(entryId, O_RDONLY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return;  // unreadable: its time stays unknown, retried
  if (st.st_dev != dev) {
    // Another file system is mounted here: list the folder, never enter it.
    table_.MakeLeafFolder(entryId);
    return;
  }
  Crawl(table_.entries[entryId].folder, fd.get(), dev, depth + 1);
}

void NameIndex::Crawl(std::uint32_t folderIndex, int fd, std::uint64_t dev, int depth) {
  if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) return;
  struct stat st {};
  std::vector<Listed> listing;
  // Watched before it is read, so no change falls between the two.
  watches_.Watch(table_, folderIndex, fd, dev);
  if (::fstat(fd, &st) != 0 || !ReadListing(fd, &listing)) return;
  table_.folders[folderIndex].mtimeNs = TrustedMtime(st);
  const std::uint32_t self = table_.folders[folderIndex].entry;
  std::stable_partition(listing.begin(), listing.end(), [](const Listed& item) { return item.isFolder; });
  for (const Listed& item : listing) AddListed(self, item, fd, dev, depth);
}

bool NameIndex::RefreshRoot(std::size_t rootIndex) {
  const std::string& path = rootPaths_[rootIndex];
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  const bool present = fd.get() >= 0 && ::fstat(fd.get(), &st) == 0;
  const Root& root = table_.roots[rootIndex];
  bool changed = false;
  if (root.entry != IndexTable::kNoEntry && (!present || st.st_dev != root.dev)) {
    table_.DropRoot(rootIndex);
    changed = true;
  }
  if (present && root.entry == IndexTable::kNoEntry) {
    const std::uint32_t entry = table_.AddRoot(rootIndex, path, st.st_dev);
    if (watches_.Covers(st.st_dev) && isRemote_(path)) watches_.AddRemoteDevice(st.st_dev);
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
  while (!table_.IsRoot(entryId)) entryId = table_.entries[entryId].parent;
  const std::size_t rootIndex = table_.RootIndexOf(entryId);
  return rootIndex < table_.roots.size() ? table_.roots[rootIndex].dev : 0;
}

bool NameIndex::Reread(std::uint32_t folderIndex) {
  const std::uint32_t self = table_.folders[folderIndex].entry;
  const std::uint64_t dev = RootDevOf(self);
  UniqueFd fd(OpenEntry(self, O_RDONLY));
  struct stat st {};
  std::vector<Listed> listing;
  if (fd.get() >= 0) watches_.Watch(table_, folderIndex, fd.get(), dev);
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_dev != dev || !ReadListing(fd.get(), &listing)) {
    // Gone, replaced or unreadable: its entries go; its parent's re-read (or
    // the next refresh) settles the folder itself.
    table_.folders[folderIndex].mtimeNs = IndexTable::kUnknownMtime;
    return table_.RemoveAllChildren(folderIndex);
  }
  const std::size_t childrenBefore = table_.folders[folderIndex].children.size();
  const std::vector<const Listed*> added = RemoveUnlisted(folderIndex, listing);
  const bool changed = !added.empty() || table_.folders[folderIndex].children.size() != childrenBefore;
  table_.folders[folderIndex].mtimeNs = TrustedMtime(st);
  for (const Listed* item : added) AddListed(self, *item, fd.get(), dev, 0);
  table_.PutFoldersFirst(folderIndex);
  return changed;
}

// Removes the record's children that `listing` no longer holds, or holds as
// the other kind (a file replaced by a folder); the listed items it lacks.
std::vector<const NameIndex::Listed*> NameIndex::RemoveUnlisted(std::uint32_t folderIndex,
                                                                const std::vector<Listed>& listing) {
  std::unordered_map<std::string_view, std::uint32_t> unlisted;
  for (std::uint32_t child : table_.folders[folderIndex].children) unlisted.emplace(table_.Name(child), child);
  std::vector<const Listed*> added;
  for (const Listed& item : listing) {
    const auto it = unlisted.find(item.name);
    if (it != unlisted.end() && !table_.IsFile(it->second) == item.isFolder) {
      unlisted.erase(it);
    } else {
      added.push_back(&item);
    }
  }
  std::vector<std::uint32_t> gone;
  for (const auto& [name, child] : unlisted) gone.push_back(child);
  table_.RemoveChildren(folderIndex, gone);
  return added;
}

// Folders read during the check under way (records from `knownRecords` on)
// are current; only those read before need a look.
bool NameIndex::IsFolderReadBefore(std::uint32_t entryId, std::size_t knownRecords) const {
  return table_.HasFolderRecord(entryId) && table_.entries[entryId].folder < knownRecords;
}

bool NameIndex::HasSubfolderReadBefore(std::uint32_t folderIndex, std::size_t knownRecords) const {
  for (const std::uint32_t child : table_.folders[folderIndex].children) {
    if (table_.IsFile(child)) return false;  // the folders come first
    if (IsFolderReadBefore(child, knownRecords)) return true;
  }
  return false;
}

// Opens the record's folder, noting it as stale when it cannot be opened or
// its time moved since it was read.
UniqueFd NameIndex::OpenAndCheckTime(std::uint32_t folderIndex, std::vector<std::uint32_t>* stale) const {
  UniqueFd fd(OpenEntry(table_.folders[folderIndex].entry, O_PATH));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || MtimeNs(st) != table_.folders[folderIndex].mtimeNs)
    stale->push_back(folderIndex);
  return fd;
}

void NameIndex::CheckSubtree(std::uint32_t folderIndex, int fd, std::size_t knownRecords,
                             std::vector<std::uint32_t>* stale) const {
  // Folders come first among the children: the files after them are not
  // looked at.
  for (std::uint32_t child : table_.folders[folderIndex].children) {
    if (table_.IsFile(child)) break;
    if (!IsFolderReadBefore(child, knownRecords)) continue;
    const std::uint32_t sub = table_.entries[child].folder;
    // Names in the arenas are NUL-terminated, so data() is a C string.
    const char* name = table_.Name(child).data();
    struct stat st {};
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        MtimeNs(st) != table_.folders[sub].mtimeNs) {
      stale->push_back(sub);
    }
    if (!HasSubfolderReadBefore(sub, knownRecords)) continue;
    UniqueFd subFd(::openat(fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (subFd.get() >= 0) CheckSubtree(sub, subFd.get(), knownRecords, stale);
  }
}

// Which folders changed since they were read. Checking each folder costs one
// system call; to keep that a one-component fstatat rather than a full path
// lookup the tree is walked with a descriptor per level, and the walk is
// split over two threads by subtrees a few levels down.
std::vector<std::uint32_t> NameIndex::StaleFolders(std::size_t knownRecords,
                                                   const std::vector<bool>& rootsToCheck) const {
  std::vector<std::uint32_t> stale;
  const std::vector<std::uint32_t> subtrees = SubtreesToCheck(knownRecords, rootsToCheck, &stale);
  CheckSubtrees(subtrees, knownRecords, &stale);
  return stale;
}

// The folders a few levels down, enough to share between two threads; the
// folders above them are checked on the way.
std::vector<std::uint32_t> NameIndex::SubtreesToCheck(std::size_t knownRecords, const std::vector<bool>& rootsToCheck,
                                                      std::vector<std::uint32_t>* stale) const {
  std::vector<std::uint32_t> level;
  for (std::size_t i = 0; i < table_.roots.size(); ++i) {
    const std::uint32_t entry = table_.roots[i].entry;
    if (rootsToCheck[i] && entry != IndexTable::kNoEntry && IsFolderReadBefore(entry, knownRecords))
      level.push_back(table_.entries[entry].folder);
  }
  for (int depth = 0; depth < 3 && !level.empty() && level.size() < 64; ++depth) {
    std::vector<std::uint32_t> next;
    for (std::uint32_t folderIndex : level) {
      if (OpenAndCheckTime(folderIndex, stale).get() < 0) continue;
      for (std::uint32_t child : table_.folders[folderIndex].children)
        if (IsFolderReadBefore(child, knownRecords)) next.push_back(table_.entries[child].folder);
    }
    level = std::move(next);
  }
  return level;
}

void NameIndex::CheckSubtrees(const std::vector<std::uint32_t>& subtrees, std::size_t knownRecords,
                              std::vector<std::uint32_t>* stale) const {
  std::atomic<std::size_t> nextItem{0};
  auto work = [&](std::vector<std::uint32_t>* out) {
    for (std::size_t item = nextItem++; item < subtrees.size(); item = nextItem++) {
      const UniqueFd fd = OpenAndCheckTime(subtrees[item], out);
      if (fd.get() >= 0) CheckSubtree(subtrees[item], fd.get(), knownRecords, out);
    }
  };
  std::vector<std::uint32_t> helperStale;
  std::thread helper;
  if (subtrees.size() > 1) {
    try {
      helper = std::thread(work, &helperStale);
    } catch (...) {
      // No second thread: this one does all the work.
    }
  }
  work(stale);
  if (helper.joinable()) helper.join();
  stale->insert(stale->end(), helperStale.begin(), helperStale.end());
}

bool NameIndex::RereadStale(std::vector<std::uint32_t> stale) {
  // Parents first, so a folder its parent dropped is not read.
  auto depth = [&](std::uint32_t folderIndex) {
    int d = 0;
    for (std::uint32_t at = table_.folders[folderIndex].entry; !table_.IsRoot(at); at = table_.entries[at].parent) ++d;
    return d;
  };
  std::vector<std::pair<int, std::uint32_t>> byDepth;
  for (std::uint32_t folderIndex : stale) byDepth.emplace_back(depth(folderIndex), folderIndex);
  std::sort(byDepth.begin(), byDepth.end());
  bool changed = false;
  for (const auto& [d, folderIndex] : byDepth)
    if (!table_.IsFreeRecord(folderIndex)) changed |= Reread(folderIndex);
  table_.CompactIfWorthIt();
  watches_.Settle(table_);
  return changed;
}

bool NameIndex::Refresh() {
  bool changed = false;
  const std::size_t knownRecords = table_.folders.size();
  for (std::size_t i = 0; i < table_.roots.size(); ++i) changed |= RefreshRoot(i);
  changed |= RereadStale(StaleFolders(knownRecords, std::vector<bool>(table_.roots.size(), true)));
  return changed;
}

// ---- keeping current from notifications ---------------------------------------

// Opens an indexed folder by its path; a path too long for one system call
// is opened one component at a time from its root.
int NameIndex::OpenEntry(std::uint32_t entryId, int flags) const {
  flags |= O_DIRECTORY | O_CLOEXEC;
  const std::string path = table_.PathOf(entryId);
  if (path.size() < PATH_MAX) return ::open(path.c_str(), flags | (table_.IsRoot(entryId) ? 0 : O_NOFOLLOW));
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = entryId; at != IndexTable::kNoEntry; at = table_.entries[at].parent) chain.push_back(at);
  UniqueFd fd(::open(std::string(table_.Name(chain.back())).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (auto it = chain.rbegin() + 1; it != chain.rend() && fd.get() >= 0; ++it) {
    const bool last = it + 1 == chain.rend();
    fd = UniqueFd(::openat(fd.get(), std::string(table_.Name(*it)).c_str(),
                           (last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC) | O_NOFOLLOW));
  }
  return fd.release();
}

void NameIndex::Watch(FolderWatch* watch) {
  watches_ = WatchRegistry(watch);
  for (std::size_t i = 0; i < table_.roots.size(); ++i)
    if (table_.roots[i].entry != IndexTable::kNoEntry && isRemote_(rootPaths_[i]))
      watches_.AddRemoteDevice(table_.roots[i].dev);
  for (const std::uint32_t folderIndex : UnwatchedFolders()) {
    const std::uint32_t entry = table_.folders[folderIndex].entry;
    const UniqueFd fd(OpenEntry(entry, O_PATH));
    if (fd.get() >= 0) watches_.Watch(table_, folderIndex, fd.get(), RootDevOf(entry));
  }
}

// The live records that could have a watch and have none (the per-user
// limit reached, or the folder could not be opened).
std::vector<std::uint32_t> NameIndex::UnwatchedFolders() const {
  std::vector<std::uint32_t> unwatched;
  for (std::uint32_t index = 0; index < table_.folders.size(); ++index) {
    const IndexTable::Folder& folder = table_.folders[index];
    if (!table_.IsFreeRecord(index) && folder.watch == IndexTable::kNoWatch && watches_.Covers(RootDevOf(folder.entry)))
      unwatched.push_back(index);
  }
  return unwatched;
}

bool NameIndex::AddChild(std::uint32_t folderIndex, const std::string& name) {
  const std::uint32_t self = table_.folders[folderIndex].entry;
  const UniqueFd parent(OpenEntry(self, O_PATH));
  struct stat st {};
  if (parent.get() < 0 || ::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  AddListed(self, Listed{name, S_ISDIR(st.st_mode)}, parent.get(), RootDevOf(self), 0);
  table_.PutFoldersFirst(folderIndex);
  return true;
}

bool NameIndex::ApplyEvent(const FolderWatch::Event& event) {
  if (event.mask & IN_Q_OVERFLOW) {
    overflowed_ = true;
    return false;
  }
  const std::uint32_t folderIndex = watches_.FolderOf(table_, event.watch);
  if (folderIndex == IndexTable::kNoFolder) return false;
  if (event.mask & IN_IGNORED) {
    // The kernel dropped the watch (an unmount, say): its time is checked
    // from now on.
    watches_.Forget(table_, folderIndex);
    table_.folders[folderIndex].mtimeNs = IndexTable::kUnknownMtime;
    return false;
  }
  if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) return DropRootThatWent(folderIndex);
  return ApplyNameEvent(folderIndex, event);
}

// Another folder's event tells of a subfolder that went; a root that went is
// dropped here, and the next CatchUp reads whatever is at its path.
bool NameIndex::DropRootThatWent(std::uint32_t folderIndex) {
  const std::size_t rootIndex = table_.RootIndexOf(table_.folders[folderIndex].entry);
  if (rootIndex == table_.roots.size()) return false;
  table_.DropRoot(rootIndex);
  watches_.Settle(table_);
  return true;
}

bool NameIndex::ApplyNameEvent(std::uint32_t folderIndex, const FolderWatch::Event& event) {
  if (event.name.empty() || (!includeHidden_ && IsHidden(event.name))) return false;
  // Its time on record no longer matches; should the watch go, the folder
  // is read again.
  table_.folders[folderIndex].mtimeNs = IndexTable::kUnknownMtime;
  if (namedPaths_.size() < kMaxNamedPaths) {
    namedPaths_.push_back(JoinPath(table_.PathOf(table_.folders[folderIndex].entry), event.name));
  } else {
    namedOverflow_ = true;
  }
  bool changed = table_.RemoveChild(folderIndex, event.name);
  watches_.Settle(table_);
  if (event.mask & (IN_CREATE | IN_MOVED_TO)) changed |= AddChild(folderIndex, event.name);
  return changed;
}

bool NameIndex::ApplyChanges() {
  bool changed = false;
  for (const FolderWatch::Event& event : watches_.Read()) changed |= ApplyEvent(event);
  return changed;
}

std::vector<std::string> NameIndex::TakeNamedPaths(bool* overflowed) {
  *overflowed = std::exchange(namedOverflow_, false);
  return std::exchange(namedPaths_, {});
}

std::vector<std::uint32_t> NameIndex::StaleUnwatchedFolders() const {
  std::vector<std::uint32_t> stale;
  for (const std::uint32_t folderIndex : UnwatchedFolders()) OpenAndCheckTime(folderIndex, &stale);
  return stale;
}

bool NameIndex::CatchUp() {
  bool changed = ApplyChanges();
  if (overflowed_) {
    overflowed_ = false;
    return Refresh() || changed;
  }
  const std::size_t knownRecords = table_.folders.size();
  std::vector<bool> remote(table_.roots.size(), false);
  for (std::size_t i = 0; i < table_.roots.size(); ++i) {
    changed |= RefreshRoot(i);
    remote[i] = table_.roots[i].entry != IndexTable::kNoEntry && !watches_.Covers(table_.roots[i].dev);
  }
  std::vector<std::uint32_t> stale = StaleFolders(knownRecords, remote);
  const std::vector<std::uint32_t> unwatched = StaleUnwatchedFolders();
  stale.insert(stale.end(), unwatched.begin(), unwatched.end());
  changed |= RereadStale(std::move(stale));
  return changed;
}

NameIndex::Coverage NameIndex::WatchCoverage() const {
  Coverage coverage;
  if (!watches_.active()) return coverage;
  for (const Root& root : table_.roots)
    if (root.entry != IndexTable::kNoEntry && !watches_.Covers(root.dev)) ++coverage.remoteRoots;
  coverage.unwatchedFolders = UnwatchedFolders().size();
  return coverage;
}

// ---- searching and saving -----------------------------------------------------

std::optional<std::vector<std::uint32_t>> NameIndex::Match(const Query& query, const NameFilter& keep, SortOrder order,
                                                           std::size_t* pending) const {
  if (table_.RootEntryCount() == 0) return std::nullopt;
  std::vector<std::uint32_t> ids = MatchEntries(table_, query, keep, pending);
  OrderMatches(table_, ids);
  SortMatches(table_, ids, order);
  return ids;
}

std::vector<std::string> NameIndex::PathsOf(const NameFilter& keep) const {
  return glimpses::PathsOf(table_, MatchEntries(table_, Query::Parse(""), keep));
}

std::optional<SearchResult> NameIndex::ResultAt(std::uint64_t generation, std::uint32_t id) const {
  if (generation != table_.generation || id >= table_.entries.size() || table_.IsRoot(id)) return std::nullopt;
  SearchResult result{std::string(table_.Name(id)), table_.PathOf(table_.entries[id].parent)};
  FillFacts(result);
  return result;
}

std::optional<std::vector<SearchResult>> NameIndex::Search(const Query& query) const {
  std::optional<std::vector<std::uint32_t>> ids = Match(query);
  if (!ids) return std::nullopt;
  return ResultsOf(table_, *ids);
}

bool NameIndex::Save(const std::string& path) const {
  return SaveIndexTable(table_, rootPaths_, includeHidden_, path, excluded_.Items());
}

bool NameIndex::Load(const std::string& path) {
  return LoadIndexTable(path, rootPaths_, includeHidden_, &table_, excluded_.Items());
}

}  // namespace glimpses

#include "search/watch_registry.h"

#include <algorithm>

namespace glimpses {

bool WatchRegistry::Covers(std::uint64_t dev) const {
  return active() && std::find(remoteDevs_.begin(), remoteDevs_.end(), dev) == remoteDevs_.end();
}

void WatchRegistry::Watch(IndexTable& table, std::uint32_t folderIndex, int fd, std::uint64_t dev) {
  if (table.folders[folderIndex].watch != IndexTable::kNoWatch || !Covers(dev)) return;
  const int watch = watch_->Add(fd);
  if (watch < 0) return;  // checked by its time instead
  table.SetWatch(folderIndex, watch);
  Map(watch, folderIndex);
}

std::uint32_t WatchRegistry::FolderOf(IndexTable& table, int watch) {
  FollowRenumbering(table);
  if (watch < 0 || static_cast<std::size_t>(watch) >= folderOfWatch_.size()) return IndexTable::kNoFolder;
  const std::uint32_t folderIndex = folderOfWatch_[watch];
  if (folderIndex == IndexTable::kNoFolder || table.folders[folderIndex].watch != watch) return IndexTable::kNoFolder;
  return folderIndex;
}

void WatchRegistry::Forget(IndexTable& table, std::uint32_t folderIndex) {
  folderOfWatch_[table.folders[folderIndex].watch] = IndexTable::kNoFolder;
  table.SetWatch(folderIndex, IndexTable::kNoWatch);
}

void WatchRegistry::Settle(IndexTable& table) {
  if (!active()) return;
  FollowRenumbering(table);
  for (const int watch : table.TakeDroppedWatches()) {
    watch_->Remove(watch);
    folderOfWatch_[watch] = IndexTable::kNoFolder;
  }
}

// Records keep their watch number through a renumbering; the way back is
// made again from them.
void WatchRegistry::FollowRenumbering(const IndexTable& table) {
  if (generation_ == table.generation) return;
  std::fill(folderOfWatch_.begin(), folderOfWatch_.end(), IndexTable::kNoFolder);
  for (std::uint32_t index = 0; index < table.folders.size(); ++index)
    if (const int watch = table.folders[index].watch; watch != IndexTable::kNoWatch) Map(watch, index);
  generation_ = table.generation;
}

void WatchRegistry::Map(int watch, std::uint32_t folderIndex) {
  if (static_cast<std::size_t>(watch) >= folderOfWatch_.size()) folderOfWatch_.resize(watch + 1, IndexTable::kNoFolder);
  folderOfWatch_[watch] = folderIndex;
}

}  // namespace glimpses

// The live index's change notification watches: which folder records get
// one, the way back from a watch number to its record (remade whenever the
// table renumbers its records), and the removal of the watches of records
// the table freed. Folders on remote file systems get none: changes made by
// other machines raise no notification here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/folder_watch.h"
#include "search/index_table.h"

namespace glimpses {

class WatchRegistry {
 public:
  // Watches nothing: Covers is false for every file system.
  WatchRegistry() = default;
  // Sets its watches through `watch` (not owned; it outlives the registry).
  explicit WatchRegistry(FolderWatch* watch) : watch_(watch) {}

  bool active() const { return watch_ != nullptr; }
  // Folders on `dev` get no watch from now on: their times are checked.
  void AddRemoteDevice(std::uint64_t dev) { remoteDevs_.push_back(dev); }
  // True when folders on `dev` get watches.
  bool Covers(std::uint64_t dev) const;

  // Watches the folder of record `folderIndex`, open at `fd` on file system
  // `dev`, unless it has a watch or `dev` is not covered. Without a watch to
  // be had (the per-user limit) the record stays without one.
  void Watch(IndexTable& table, std::uint32_t folderIndex, int fd, std::uint64_t dev);
  // The live record that `watch` stands for; kNoFolder when none does.
  std::uint32_t FolderOf(IndexTable& table, int watch);
  // The kernel dropped the record's watch (an unmount, say).
  void Forget(IndexTable& table, std::uint32_t folderIndex);
  // Removes the watches of the records the table freed.
  void Settle(IndexTable& table);
  // The notifications waiting; none when inactive.
  std::vector<FolderWatch::Event> Read() { return active() ? watch_->Read() : std::vector<FolderWatch::Event>(); }

  std::size_t MemoryBytes() const { return folderOfWatch_.capacity() * sizeof(std::uint32_t); }

 private:
  void FollowRenumbering(const IndexTable& table);
  void Map(int watch, std::uint32_t folderIndex);

  FolderWatch* watch_ = nullptr;
  std::vector<std::uint64_t> remoteDevs_;
  std::vector<std::uint32_t> folderOfWatch_;  // by watch number
  std::uint64_t generation_ = 0;              // the table's, when folderOfWatch_ was made
};

}  // namespace glimpses

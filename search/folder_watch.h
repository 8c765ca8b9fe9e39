// Change notifications for folders (inotify): which names appeared in or left
// a watched folder, so the live index needs no walk over the folders to stay
// current. Also tells which file systems never raise them for changes made
// by other machines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/file_handle.h"

namespace glimpses {

// True when `path` lies on a network file system (NFS, SMB/CIFS, FUSE such
// as SSHFS, Ceph, AFS, 9P and the like), whose changes made elsewhere never
// raise a notification here.
bool IsRemoteFileSystem(const std::string& path);

class FolderWatch {
 public:
  struct Event {
    int watch;           // -1 for a queue overflow
    std::uint32_t mask;  // IN_* bits
    std::string name;    // the entry inside the watched folder; may be empty
  };

  // An inotify instance; fd() < 0 when none could be had.
  FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  bool ok() const { return static_cast<bool>(fd_); }
  // Readable when events are waiting (for poll).
  int fd() const { return fd_.get(); }

  // Watches the folder open at `folderFd` for names coming and going. The
  // watch number, or -1 when none can be had (the per-user limit reached).
  int Add(int folderFd);
  void Remove(int watch);
  // Makes Add fail once this many watches are held, as the kernel does at
  // its per-user limit (for tests).
  void SetLimit(std::size_t limit) { limit_ = limit; }

  // The events waiting now; empty when there are none.
  std::vector<Event> Read();

 private:
  UniqueFd fd_;
  std::size_t held_ = 0;
  std::size_t limit_ = SIZE_MAX;
};

}  // namespace glimpses

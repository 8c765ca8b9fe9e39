#include "search/folder_watch.h"

#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace glimpses {
namespace {

constexpr std::uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

bool IsRemoteFileSystem(const std::string& path) {
  struct statfs st {};
  if (::statfs(path.c_str(), &st) != 0) return false;
  switch (static_cast<unsigned long>(st.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE (SSHFS, rclone, ...)
    case 0x00C36400:  // Ceph
    case 0x5346414F:  // AFS
    case 0x6B414653:  // kAFS
    case 0x01021997:  // 9P
    case 0x73757245:  // Coda
    case 0x564C:      // NCP
    case 0x47504653:  // GPFS
    case 0x0BD00BD0:  // Lustre
      return true;
    default:
      return false;
  }
}

FolderWatch::FolderWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

int FolderWatch::Add(int folderFd) {
  if (!fd_ || held_ >= limit_) return -1;
  // inotify takes a path; the descriptor's own link names the folder we hold
  // even if it was renamed since it was opened.
  const std::string path = "/proc/self/fd/" + std::to_string(folderFd);
  const int watch = ::inotify_add_watch(fd_.get(), path.c_str(), kWatchMask);
  if (watch >= 0) ++held_;
  return watch;
}

void FolderWatch::Remove(int watch) {
  // The count drops when the kernel confirms with IN_IGNORED.
  if (fd_) ::inotify_rm_watch(fd_.get(), watch);
}

std::vector<FolderWatch::Event> FolderWatch::Read() {
  std::vector<Event> events;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
    if (got <= 0) break;  // EAGAIN: nothing more waiting
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event header;
      std::memcpy(&header, buffer + at, sizeof header);
      const char* name = buffer + at + sizeof header;
      const std::size_t nameLength = header.len == 0 ? 0 : ::strnlen(name, header.len);
      events.push_back(Event{header.wd, header.mask, std::string(name, nameLength)});
      if (header.mask & IN_IGNORED && held_ > 0) --held_;
      at += static_cast<ssize_t>(sizeof header + header.len);
    }
  }
  return events;
}

}  // namespace glimpses

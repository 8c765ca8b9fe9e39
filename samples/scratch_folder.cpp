#include "samples/scratch_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <system_error>

#include "base/file_util.h"
#include "base/path.h"

namespace glimpses {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& parent)
    : folder_([&parent] {
        auto folder = TempFolder::CreateIn(parent, "glimpses-test-");
        return folder ? std::move(folder) : TempFolder::CreateIn("/tmp", "glimpses-test-");
      }()) {}

std::string ScratchFolder::Path(std::string_view relative) const { return JoinPath(root(), relative); }

std::string ScratchFolder::Write(std::string_view relative, std::string_view bytes) const {
  std::string path = Path(relative);
  return WriteFileAtomically(path, bytes.data(), bytes.size()) ? path : std::string();
}

std::string ScratchFolder::Write(std::string_view relative, const Bytes& bytes) const {
  return Write(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void ScratchFolder::Make(const std::vector<std::string>& relativePaths) const {
  std::error_code ignored;
  for (const std::string& relative : relativePaths) {
    const fs::path path = Path(relative);
    if (relative.ends_with('/')) {
      fs::create_directories(path, ignored);
    } else {
      fs::create_directories(path.parent_path(), ignored);
      Write(relative, "x");
    }
  }
}

void ScratchFolder::Age() const {
  std::vector<fs::path> folders{root()};
  for (const auto& entry : fs::recursive_directory_iterator(root()))
    if (entry.is_directory() && !entry.is_symlink()) folders.push_back(entry.path());
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 3600;
  times[1] = times[0];
  for (const auto& folder : folders) utimensat(AT_FDCWD, folder.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::set<std::string> ScratchFolder::Names() const {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(root(), ignored)) names.insert(entry.path().filename().string());
  return names;
}

}  // namespace glimpses

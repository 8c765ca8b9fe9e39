#include "app_paths.h"

#include <filesystem>
#include <system_error>

#include "file_util.h"
#include "path.h"

#ifndef GLIMPSES_DATA_DIR
#define GLIMPSES_DATA_DIR "/usr/local/share/glimpses"
#endif

namespace glimpses {

std::string ExecutableDir() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    std::string candidate = JoinPath(folder, name);
    if (FileExists(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> DataFolders() { return {"", ExecutableDir(), GLIMPSES_DATA_DIR}; }

}  // namespace glimpses

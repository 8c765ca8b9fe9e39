#include "app/app_paths.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "app/settings.h"
#include "base/file_util.h"
#include "base/path.h"

#ifndef GLIMPSES_DATA_FROM_BIN
#define GLIMPSES_DATA_FROM_BIN "../share/glimpses"
#endif

namespace glimpses {
namespace {

bool IsWritableFolder(const std::string& folder) {
  std::error_code error;
  return !folder.empty() && std::filesystem::is_directory(folder, error) && access(folder.c_str(), W_OK) == 0;
}

}  // namespace

std::string ExecutableDir() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

std::string InstalledDataDir(const std::string& executableDir) {
  if (executableDir.empty()) return {};
  const std::filesystem::path data = std::filesystem::path(executableDir) / GLIMPSES_DATA_FROM_BIN;
  std::error_code error;
  return std::filesystem::is_directory(data, error) ? data.lexically_normal().string() : std::string();
}

std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    std::string candidate = JoinPath(folder, name);
    if (FileExists(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> DataFolders(const std::string& executableDir) {
  std::vector<std::string> folders = {"", executableDir};
  if (std::string installed = InstalledDataDir(executableDir); !installed.empty()) folders.push_back(installed);
  return folders;
}

std::string ChooseSettingsPath(const std::string& executableDir, const std::string& configDir) {
  const std::string beside = JoinPath(executableDir, kSettingsFileName);
  if (!executableDir.empty() && FileExists(beside)) return beside;
  if (InstalledDataDir(executableDir).empty() && IsWritableFolder(executableDir)) return beside;
  return JoinPath(configDir, kSettingsFileName);
}

}  // namespace glimpses

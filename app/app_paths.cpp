#include "app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "file_util.h"

#ifndef GLIMPSES_DATA_DIR
#define GLIMPSES_DATA_DIR "/usr/local/share/glimpses"
#endif

namespace glimpses {

namespace {

std::string XdgDir(const char* variable, const char* fallbackUnderHome) {
  const char* value = std::getenv(variable);
  // The XDG rules say a relative value is invalid and must be ignored.
  if (value != nullptr && value[0] == '/') return std::string(value) + "/glimpses";
  return HomeDir() + "/" + fallbackUnderHome + "/glimpses";
}

}  // namespace

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
    return found->pw_dir;
  }
  return "/";
}

std::string ExecutableDir() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

std::string ConfigDir() { return XdgDir("XDG_CONFIG_HOME", ".config"); }

std::string CacheDir() { return XdgDir("XDG_CACHE_HOME", ".cache"); }

std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    std::string candidate = folder.empty() ? name : folder + "/" + name;
    if (FileExists(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> DataFolders() { return {"", ExecutableDir(), GLIMPSES_DATA_DIR}; }

}  // namespace glimpses

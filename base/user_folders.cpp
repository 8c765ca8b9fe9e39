#include "base/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "base/path.h"

namespace glimpses {

namespace {

std::string XdgDir(const char* variable, const char* fallbackUnderHome) {
  const char* value = std::getenv(variable);
  // The XDG rules say a relative value is invalid and must be ignored.
  if (value != nullptr && value[0] == '/') return JoinPath(value, "glimpses");
  return JoinPath(JoinPath(HomeDir(), fallbackUnderHome), "glimpses");
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

std::string ConfigDir() { return XdgDir("XDG_CONFIG_HOME", ".config"); }

std::string CacheDir() { return XdgDir("XDG_CACHE_HOME", ".cache"); }

}  // namespace glimpses

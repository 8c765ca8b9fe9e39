#include "base/temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "base/path.h"

namespace glimpses {

namespace fs = std::filesystem;

std::optional<TempFolder> TempFolder::CreateIn(std::string_view parent, std::string_view prefix) {
  std::string pattern = JoinPath(parent.empty() ? std::string_view(".") : parent, std::string(prefix) + "XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return TempFolder(std::move(pattern));
}

TempFolder::TempFolder(TempFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempFolder::Path(std::string_view relative) const { return JoinPath(path_, relative); }

}  // namespace glimpses

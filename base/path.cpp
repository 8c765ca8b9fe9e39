#include "base/path.h"

namespace glimpses {

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder);
  if (!folder.empty() && folder.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

}  // namespace glimpses

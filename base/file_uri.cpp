#include "base/file_uri.h"

#include <filesystem>
#include <string_view>

namespace glimpses {

namespace {

bool KeptAsIs(unsigned char c) {
  static constexpr std::string_view kMarks = "!$&'()*+,-./:=@_~";
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         kMarks.find(static_cast<char>(c)) != std::string_view::npos;
}

// What GIO makes of a path before it names the file: absolute, lexically
// normal, no trailing '/'.
std::string CanonicalPath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = path.starts_with('/') ? std::filesystem::path(path)
                                                          : std::filesystem::absolute(path, error);
  if (error) return {};
  std::string canonical = absolute.lexically_normal().string();
  while (canonical.size() > 1 && canonical.back() == '/') canonical.pop_back();
  return canonical;
}

}  // namespace

std::string FileUri(const std::string& path) {
  const std::string canonical = CanonicalPath(path);
  if (canonical.empty()) return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  uri.reserve(uri.size() + canonical.size() * 3);
  for (unsigned char c : canonical) {
    if (KeptAsIs(c)) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[c >> 4]);
      uri.push_back(kHex[c & 15]);
    }
  }
  return uri;
}

}  // namespace glimpses

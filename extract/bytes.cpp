#include "bytes.h"

#include <cstring>

namespace glimpses {

std::optional<std::size_t> FindBytes(const std::uint8_t* data, std::string_view token, std::size_t length) {
  if (token.size() > length) return std::nullopt;
  if (token.empty()) return 0;
  // glibc's memmem is a two-way search: linear time and fast on large buffers.
  const void* hit = memmem(data, length, token.data(), token.size());
  if (!hit) return std::nullopt;
  return static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
}

}  // namespace glimpses

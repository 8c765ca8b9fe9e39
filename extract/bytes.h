// Byte-level helpers the extractors use in place of parsing: a raw search
// and the forgiving base64 decoder of XMP thumbnail values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_util.h"

namespace glimpses {

// Offset of the first occurrence of `token` among the first `length` bytes
// of `data`, comparing every byte (NUL included) as an ordinary byte;
// nullopt when absent or when the token is longer than `length`.
std::optional<std::size_t> FindBytes(const std::uint8_t* data, std::string_view token, std::size_t length);

// Decodes base64 `text` (RFC 4648 alphabet; every other byte, '=' included,
// is skipped) into `output`. The text ends after `textLength` bytes or at a
// NUL where a group would begin. Groups of 4/3/2/1 characters give 3/2/1/0
// bytes. Returns the bytes written, or 0 when they would exceed `capacity`.
std::size_t DecodeBase64(const char* text, std::size_t textLength, std::uint8_t* output, std::size_t capacity);

// The base64 text of `bytes` (RFC 4648 alphabet, '=' padding, no line breaks).
std::string EncodeBase64(std::string_view bytes);

// Little-endian numbers, as BMP and RIFF files store them.
inline std::uint16_t ReadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
// Big-endian numbers, as image resources store them.
inline std::uint16_t ReadBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t ReadBe32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void AppendLe16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendLe32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace glimpses

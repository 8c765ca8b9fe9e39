// Byte-level helpers the extractors use in place of parsing: a raw search
// and the forgiving base64 decoder of XMP thumbnail values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

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

}  // namespace glimpses

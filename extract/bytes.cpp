#include "extract/bytes.h"

#include <algorithm>
#include <array>
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

namespace {

constexpr std::uint8_t kSkip = 0xFF;
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::uint8_t, 256> MakeBase64Table() {
  std::array<std::uint8_t, 256> table{};
  for (auto& value : table) value = kSkip;
  for (int i = 0; i < 26; ++i) {
    table['A' + i] = static_cast<std::uint8_t>(i);
    table['a' + i] = static_cast<std::uint8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::uint8_t>(52 + i);
  table['+'] = 62;
  table['/'] = 63;
  return table;
}

constexpr std::array<std::uint8_t, 256> kBase64Values = MakeBase64Table();

}  // namespace

std::size_t DecodeBase64(const char* text, std::size_t textLength, std::uint8_t* output, std::size_t capacity) {
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < textLength) {
    // A NUL ends the text only where a group would begin; inside a group it
    // is skipped like any other byte outside the alphabet.
    if (text[i] == '\0') break;
    std::uint32_t bits = 0;
    int count = 0;
    for (; i < textLength && count < 4; ++i) {
      std::uint8_t value = kBase64Values[static_cast<unsigned char>(text[i])];
      if (value == kSkip) continue;
      bits = (bits << 6) | value;
      ++count;
    }
    if (count == 0) break;
    int bytes = count * 6 / 8;
    if (bytes > 0 && written + static_cast<std::size_t>(bytes) > capacity) return 0;
    bits <<= 6 * (4 - count);  // left-align the group in 24 bits
    for (int k = 0; k < bytes; ++k) output[written++] = static_cast<std::uint8_t>(bits >> (16 - 8 * k));
  }
  return written;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i)
      group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    for (std::size_t i = 0; i < 4; ++i) out += i <= count ? kBase64Digits[(group >> (18 - 6 * i)) & 63] : '=';
  }
  return out;
}

}  // namespace glimpses

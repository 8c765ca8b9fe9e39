#include "base/utf8.h"

#include <cstdint>

namespace glimpses {

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t* codePoint) {
  const auto lead = static_cast<std::uint8_t>(text[pos]);
  const std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
  *codePoint = kReplacementCharacter;
  if (length == 0 || pos + length > text.size()) return 1;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<std::uint8_t>(text[pos + k]);
    if ((next & 0xC0) != 0x80) return 1;
    c = (c << 6) | (next & 0x3F);
  }
  static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 1;
  *codePoint = c;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::u16string AnsiToWide(std::string_view narrow) {
  std::u16string wide;
  wide.reserve(narrow.size());
  for (std::size_t i = 0; i < narrow.size();) {
    char32_t c = 0;
    i += DecodeUtf8(narrow, i, &c);
    if (c < 0x10000) {
      wide += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (c >> 10));
      wide += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return wide;
}

}  // namespace glimpses

// UTF-8, the encoding of file names here: one character decoded or encoded
// at a time, and the UTF-16 form the settings file is made from.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glimpses {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the character that starts at byte `pos` (< text.size()) into
// `codePoint` and returns its length in bytes. A byte that starts no
// well-formed sequence (a stray continuation byte, a truncated, overlong or
// surrogate sequence, or one above U+10FFFF) counts as a character of its
// own: length 1, kReplacementCharacter.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t* codePoint);

// Appends the UTF-8 form of `codePoint` (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);

// The UTF-16 text of UTF-8 `narrow`; every well-formed character survives
// and each malformed byte becomes U+FFFD.
std::u16string AnsiToWide(std::string_view narrow);

}  // namespace glimpses

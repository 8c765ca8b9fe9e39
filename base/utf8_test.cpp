#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace glimpses {
namespace {

// UTF-8 bytes from a u8 literal, whose type is char8_t in C++20.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(Utf8Test, DecodesEachLengthAndRefusesMalformedSequences) {
  const struct {
    std::string bytes;
    std::size_t length;
    char32_t codePoint;
  } cases[] = {
      {"a", 1, U'a'},
      {std::string(1, '\0'), 1, 0},
      {"\xC3\xA9", 2, 0xE9},
      {"\xE8\xAE\xBE", 3, 0x8BBE},
      {"\xF0\x9D\x84\x9E", 4, 0x1D11E},
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xEF\xBF\xBD", 3, kReplacementCharacter},
      // Malformed: one byte, read as U+FFFD.
      {"\x80", 1, kReplacementCharacter},              // a continuation byte alone
      {"\xFF", 1, kReplacementCharacter},              // starts nothing
      {"\xC0\x80", 1, kReplacementCharacter},          // overlong NUL
      {"\xE0\x80\xAF", 1, kReplacementCharacter},      // overlong '/'
      {"\xED\xA0\x80", 1, kReplacementCharacter},      // a surrogate
      {"\xF4\x90\x80\x80", 1, kReplacementCharacter},  // above U+10FFFF
      {"\xE7\xBC", 1, kReplacementCharacter},          // cut at the end
      {"\xE7"
       "a\xBC",
       1, kReplacementCharacter},  // interrupted
  };
  for (const auto& c : cases) {
    char32_t codePoint = 0;
    EXPECT_EQ(DecodeUtf8(c.bytes, 0, &codePoint), c.length) << c.bytes;
    EXPECT_EQ(codePoint, c.codePoint) << c.bytes;
  }
}

TEST(Utf8Test, EveryCharacterSurvivesEncodingAndDecoding) {
  for (char32_t c : {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD7FFu, 0xE000u, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string bytes;
    AppendUtf8(bytes, c);
    char32_t back = 0;
    EXPECT_EQ(DecodeUtf8(bytes, 0, &back), bytes.size()) << std::hex << static_cast<std::uint32_t>(c);
    EXPECT_EQ(back, c);
  }
}

TEST(Utf8Test, AnsiToWideKeepsEveryCharacter) {
  const struct {
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {"", u""},
      {Utf8(u8"/home/设计 稿/标志 logo.cdr"), u"/home/设计 稿/标志 logo.cdr"},
      {"\xC3\xA9 \xC3\x9F \xCE\xA9", u"é ß Ω"},
      {"\xF0\x9D\x84\x9E", u"\U0001D11E"},  // outside the BMP: a surrogate pair
      {"\xF0\x9F\x98\x80"
       "a\xF4\x8F\xBF\xBF",
       u"\U0001F600a\U0010FFFF"},
      {std::string(1, '\0') + "x", std::u16string(1, u'\0') + u"x"},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToWide(c.narrow), c.wide) << c.narrow;
}

TEST(Utf8Test, MalformedBytesBecomeReplacementCharactersBetweenTheirNeighbours) {
  for (std::string bad : {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xE7\xBC", "\xF4\x90\x80\x80", "\xF0\x9F\x98"}) {
    EXPECT_EQ(AnsiToWide("a" + bad + "b"), u"a" + std::u16string(bad.size(), u'\uFFFD') + u"b") << bad;
  }
}

}  // namespace
}  // namespace glimpses

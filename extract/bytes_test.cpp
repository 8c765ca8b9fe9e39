#include "extract/bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimpses {
namespace {

std::vector<std::uint8_t> Decode(const std::string& text, std::size_t capacity = 1024) {
  std::vector<std::uint8_t> out(capacity + 1, 0xEE);
  std::size_t n = DecodeBase64(text.data(), text.size(), out.data(), capacity);
  EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
  out.resize(n);
  return out;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(BytesFindBytes, FindsFirstOccurrenceAndTreatsNulAsOrdinary) {
  const std::string data("ab\0cd\0cd", 8);
  struct Case {
    std::string token;
    std::size_t length;
    std::optional<std::size_t> expected;
  } cases[] = {
      {"cd", 8, 3},
      {std::string("\0cd", 3), 8, 2},
      {"cd", 4, std::nullopt},  // the occurrence ends past the searched length
      {"cd", 5, 3},
      {"abc", 2, std::nullopt},  // token longer than the data
      {"zz", 8, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindBytes(reinterpret_cast<const std::uint8_t*>(data.data()), c.token, c.length), c.expected)
        << c.token << " in " << c.length;
  }
}

TEST(BytesDecodeBase64, GroupsOfFourThreeTwoOneGiveThreeTwoOneZeroBytes) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {"TWFu", "Man"},
      {"TWE", "Ma"},
      {"TQ", "M"},
      {"T", ""},
      {"TWFuTWE", "ManMa"},
      {"TWE=", "Ma"},                 // padding is skipped, not checked
      {"TQ==TWFu", "M\x04\xD6\x16"},  // '=' does not end a group: TQTW Fu
      {"T W\r\nF u", "Man"},          // white space between characters
      {"TW&#Fu\"<>", "Man"},          // markup bytes outside the alphabet
      {"\xC3\xA9TWFu\xFF", "Man"},    // bytes of 0x80 and above
      {"", ""},
      {"====", ""},
      {"+/+/", "\xFB\xFF\xBF"},
  };
  for (const auto& c : cases) EXPECT_EQ(AsString(Decode(c.text)), c.expected) << c.text;
}

TEST(BytesDecodeBase64, NulEndsTheTextOnlyWhereAGroupBegins) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {std::string("TWFu\0TWFu", 9), "Man"},
      {std::string("TW\0Fu", 5), "Man"},  // inside a group: skipped
      {std::string("\0TWFu", 5), ""},
      {std::string("TWFu \0TWFu", 10), "ManMan"},  // a group began at the blank
  };
  for (const auto& c : cases) EXPECT_EQ(AsString(Decode(c.text)), c.expected);
}

TEST(BytesDecodeBase64, StopsAtTextLength) {
  std::vector<std::uint8_t> out(8);
  EXPECT_EQ(DecodeBase64("TWFuTWFu", 4, out.data(), out.size()), 3u);
}

TEST(BytesDecodeBase64, GivesZeroWhenTheBytesWouldNotFit) {
  struct Case {
    std::string text;
    std::size_t capacity;
    std::size_t expected;
  } cases[] = {
      {"TWFuTWFu", 6, 6}, {"TWFuTWFu", 5, 0}, {"TWFuTW", 4, 4},
      {"TWFuTW", 3, 0},   {"TWFuT", 3, 3},  // a single trailing character yields nothing to fit
      {"", 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.text, c.capacity).size(), c.expected) << c.text << "/" << c.capacity;
}

}  // namespace
}  // namespace glimpses

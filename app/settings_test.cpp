#include "app/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/app_paths.h"
#include "base/file_util.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string ReadAll(const std::string& path) {
  std::optional<Bytes> bytes = ReadWholeFile(path, 1 << 20);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<unreadable>");
}

const std::u16string k259(kSettingsLineLimit, u'字');
const std::string k259Gbk = [] {
  std::string s;
  for (std::size_t i = 0; i < kSettingsLineLimit; ++i) s += "\xD7\xD6";
  return s;
}();

struct DecodeCase {
  const char* name;
  std::string file;
  std::u16string keywords;
  std::u16string outputDir;
};

TEST(DecodeSettingsTest, ReadsLinesLikeTheWindowsReader) {
  const DecodeCase cases[] = {
      {"empty file", "", u"", u""},
      {"the 19-byte example", "\r\nD:\\Thumbs\xCB\xF5\xC2\xD4\xCD\xBC\r\n", u"", u"D:\\Thumbs缩略图"},
      {"two lines", "pdf logo\r\n/out\r\n", u"pdf logo", u"/out"},
      {"second line without line end", "pdf\r\n/out", u"pdf", u"/out"},
      {"one line with line end", "pdf\r\n", u"pdf", u""},
      {"one line without line end", "pdf", u"pdf", u""},
      {"bare LF reads as CRLF", "pdf\n/out\n", u"pdf", u"/out"},
      {"lines after the second ignored", "a\r\nb\r\nc\r\n", u"a", u"b"},
      {"lone CR is text", "a\rb\r\n/out\r\n", u"a\rb", u"/out"},
      {"GBK Chinese", "\xB9\xD8\xBC\xFC \xD7\xD6\r\n/\xCA\xE4\xB3\xF6\r\n", u"关键 字", u"/输出"},
      {"not GBK becomes U+FFFD",
       "\xFF"
       "ab\r\n/out\r\n",
       u"\uFFFDab", u"/out"},
      {"half a character at the end", "ab\xCB", u"ab\uFFFD", u""},
      {"line 1 of 259 characters", k259Gbk + "\r\n/out\r\n", k259, u"/out"},
      {"line 1 of 259 characters at the end", k259Gbk, k259, u""},
      {"line 1 of 260 characters is cut and ends reading", k259Gbk + "\xD7\xD6\r\n/out\r\n", k259, u""},
      {"line 2 of 260 characters is cut", "a\r\n" + k259Gbk + "\xD7\xD6\r\n", u"a", k259},
  };
  for (const DecodeCase& c : cases) {
    Settings settings = DecodeSettings(B(c.file));
    EXPECT_EQ(settings.keywords, c.keywords) << c.name;
    EXPECT_EQ(settings.outputDir, c.outputDir) << c.name;
  }
}

TEST(EncodeSettingsTest, EmptyKeywordsAndWindowsDefaultGiveThe19Bytes) {
  SettingsError error = SettingsError::kWrite;
  Bytes bytes = EncodeSettings({u"", u"D:\\Thumbs缩略图"}, &error);
  EXPECT_EQ(error, SettingsError::kNone);
  const Bytes expected = {0x0D, 0x0A, 0x44, 0x3A, 0x5C, 0x54, 0x68, 0x75, 0x6D, 0x62,
                          0x73, 0xCB, 0xF5, 0xC2, 0xD4, 0xCD, 0xBC, 0x0D, 0x0A};
  EXPECT_EQ(bytes, expected);
}

TEST(EncodeSettingsTest, RefusesWhatWouldNotReadBack) {
  struct Case {
    const char* name;
    Settings settings;
    SettingsError error;
  };
  const Case cases[] = {
      {"emoji in keywords", {u"logo 😀", u"/out"}, SettingsError::kNotGbk},
      {"lone surrogate in folder", {u"a", std::u16string(u"/out") + char16_t{0xD800}}, SettingsError::kNotGbk},
      {"Hangul outside GBK's set", {u"한", u"/out"}, SettingsError::kNotGbk},
      {"keywords of 260 characters", {k259 + u"字", u"/out"}, SettingsError::kTooLong},
      {"folder of 260 characters", {u"a", k259 + u"字"}, SettingsError::kTooLong},
      {"LF inside keywords", {u"a\nb", u"/out"}, SettingsError::kLineBreak},
      {"CR inside folder", {u"a", u"/o\rut"}, SettingsError::kLineBreak},
      {"259 characters are fine", {k259, k259}, SettingsError::kNone},
  };
  for (const Case& c : cases) {
    SettingsError error = SettingsError::kNone;
    Bytes bytes = EncodeSettings(c.settings, &error);
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(bytes.empty(), c.error != SettingsError::kNone) << c.name;
  }
}

using SaveSettingsTest = ScratchDirTest;

TEST_F(SaveSettingsTest, ChineseKeywordsAndFolderRoundTrip) {
  const std::string path = Path("Glimpses.ini");
  const Settings settings{u"标志 蓝色 logo", u"/home/设计/Thumbs缩略图"};
  ASSERT_EQ(SaveSettings(path, settings), SettingsError::kNone);
  EXPECT_EQ(LoadSettings(path), settings);
  const Settings longest{k259, k259};
  ASSERT_EQ(SaveSettings(path, longest), SettingsError::kNone);
  EXPECT_EQ(LoadSettings(path), longest);
}

TEST_F(SaveSettingsTest, SavingTwiceReplacesTheFile) {
  const std::string path = Path("Glimpses.ini");
  const Settings settings{u"pdf", u"/out"};
  ASSERT_EQ(SaveSettings(path, settings), SettingsError::kNone);
  ASSERT_EQ(SaveSettings(path, settings), SettingsError::kNone);
  EXPECT_EQ(ReadAll(path), "pdf\r\n/out\r\n");
}

TEST_F(SaveSettingsTest, CreatesTheMissingConfigFolder) {
  const std::string path = Path("config/glimpses/Glimpses.ini");
  ASSERT_EQ(SaveSettings(path, {u"", u"/out"}), SettingsError::kNone);
  EXPECT_EQ(ReadAll(path), "\r\n/out\r\n");
}

TEST_F(SaveSettingsTest, RefusedOrFailedSaveLeavesTheOldFile) {
  const std::string path = Path("Glimpses.ini");
  ASSERT_EQ(SaveSettings(path, {u"old", u"/old"}), SettingsError::kNone);
  EXPECT_EQ(SaveSettings(path, {u"new 😀", u"/new"}), SettingsError::kNotGbk);
  EXPECT_EQ(ReadAll(path), "old\r\n/old\r\n");

  // A folder in the way of the file: the write fails, nothing is left over.
  const std::string blocked = Path("blocked/Glimpses.ini");
  std::filesystem::create_directories(blocked);
  EXPECT_EQ(SaveSettings(blocked, {u"a", u"b"}), SettingsError::kWrite);
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("blocked")), {}), 1);
}

TEST_F(SaveSettingsTest, UnreadableFileGivesEmptyValues) {
  EXPECT_EQ(LoadSettings(Path("missing.ini")), (Settings{u"", u""}));
  std::filesystem::create_directories(Path("dir.ini"));
  EXPECT_EQ(LoadSettings(Path("dir.ini")), (Settings{u"", u""}));
}

using SettingsPathTest = ScratchDirTest;

TEST_F(SettingsPathTest, DefaultsAndXdgFoldersFollowTheEnvironment) {
  const char* savedHome = std::getenv("HOME");
  std::string home = savedHome != nullptr ? savedHome : "";
  setenv("HOME", "/home/设计", 1);
  setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
  setenv("XDG_CACHE_HOME", "relative/is/ignored", 1);
  EXPECT_EQ(DefaultSettings(), (Settings{u"", u"/home/设计/Thumbs缩略图"}));
  EXPECT_EQ(ConfigDir(), "/xdg/config/glimpses");
  EXPECT_EQ(CacheDir(), "/home/设计/.cache/glimpses");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigDir(), "/home/设计/.config/glimpses");
  unsetenv("XDG_CACHE_HOME");
  if (savedHome != nullptr) setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace glimpses

#include "app/preferences.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "base/file_util.h"

namespace glimpses {
namespace {

TEST(PreferencesTest, EveryValueRoundTripsBesideTheSettings) {
  QTemporaryDir dir;
  const std::string settings = dir.filePath("Glimpses.ini").toStdString();
  const std::string path = PreferencesPathBeside(settings);
  EXPECT_EQ(path, dir.filePath("glimpses-preferences.ini").toStdString());

  const Preferences defaults = LoadPreferences(path);  // no file yet
  EXPECT_EQ(defaults.sort.key, SortKey::kName);
  EXPECT_FALSE(defaults.sort.reverse);
  EXPECT_TRUE(defaults.excludes.empty());

  Preferences preferences;
  preferences.sort = {SortKey::kModified, true};
  // A folder whose name is not UTF-8 is kept by its bytes; "=" and ";" are
  // what an ini file would otherwise cut at.
  preferences.excludes = {"/data/备份", "*/node_modules", "/data/\xff\xfe old", "/a=b;c"};
  preferences.recentKeywords = {u"logo 2024"_qs, u"品牌 | 标志"_qs};
  ASSERT_TRUE(SavePreferences(path, preferences));
  const Preferences back = LoadPreferences(path);
  EXPECT_EQ(back.sort.key, SortKey::kModified);
  EXPECT_TRUE(back.sort.reverse);
  EXPECT_EQ(back.excludes, preferences.excludes);
  EXPECT_EQ(back.recentKeywords, preferences.recentKeywords);
  EXPECT_FALSE(FileExists(settings));
}

TEST(PreferencesTest, RecentKeywordsAreNewestFirstOnceAndAtMostTwenty) {
  QStringList recent;
  for (int i = 0; i < 25; ++i) recent = WithRecentKeyword(recent, QString::number(i));
  ASSERT_EQ(recent.size(), kRecentKeywordsKept);
  EXPECT_EQ(recent.front(), "24");
  EXPECT_EQ(recent.back(), "5");
  recent = WithRecentKeyword(recent, "10");
  EXPECT_EQ(recent.front(), "10");
  EXPECT_EQ(recent.count("10"), 1);
  EXPECT_EQ(WithRecentKeyword(recent, "  "), recent);
}

}  // namespace
}  // namespace glimpses

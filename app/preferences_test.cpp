#include "app/preferences.h"

#include <gtest/gtest.h>

#include <QSettings>
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
  preferences.window = {QSize(1600, 900), true, 0.25, true, 256};
  ASSERT_TRUE(SavePreferences(path, preferences));
  const Preferences back = LoadPreferences(path);
  EXPECT_EQ(back.sort.key, SortKey::kModified);
  EXPECT_TRUE(back.sort.reverse);
  EXPECT_EQ(back.excludes, preferences.excludes);
  EXPECT_EQ(back.recentKeywords, preferences.recentKeywords);
  EXPECT_EQ(back.window, preferences.window);
  EXPECT_FALSE(FileExists(settings));
}

// The list at the first size until the window is arranged otherwise; a
// splitter share that is no share keeps the default.
TEST(PreferencesTest, WindowArrangementDefaultsForMissingAndMalformedValues) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("glimpses-preferences.ini").toStdString();
  EXPECT_EQ(LoadPreferences(path).window, WindowArrangement{});
  EXPECT_FALSE(WindowArrangement{}.grid);
  {
    QSettings file(QString::fromStdString(path), QSettings::IniFormat);
    file.setValue("window/listShare", "nan");
    file.setValue("window/view", "mosaic");
    file.setValue("window/size", "big");
  }
  EXPECT_EQ(LoadPreferences(path).window, WindowArrangement{});
  {
    QSettings file(QString::fromStdString(path), QSettings::IniFormat);
    file.setValue("window/listShare", 7.5);
  }
  EXPECT_EQ(LoadPreferences(path).window.listShare, WindowArrangement{}.listShare);
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

#include "app/status_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace glimpses {
namespace {

TEST(StatusTextTest, CountSentence) {
  EXPECT_EQ(
      FormatStatusText(0).toStdString(),
      "\xE5\x8C\xB9\xE9\x85\x8D: 0 \xE4\xB8\xAA\xE6\x96\x87\xE6\xA1\xA3(AI CDR EPS INDD PDF\xE6\xA0\xBC\xE5\xBC\x8F), "
      "\xE9\xBC\xA0\xE6\xA0\x87\xE5\x8F\x8C\xE5\x87\xBB: \xE6\x89\x93\xE5\xBC\x80\xE6\x96\x87\xE4\xBB\xB6"
      "\xEF\xBC\x8C"  // U+FF0C, the one full-width comma
      "\xE5\x8F\xB3\xE9\x94\xAE: \xE6\x89\x93\xE5\xBC\x80\xE8\xB7\xAF\xE5\xBE\x84");
  EXPECT_EQ(FormatStatusText(1234567).toStdString().substr(0, 16), "\xE5\x8C\xB9\xE9\x85\x8D: 1234567 ");
  EXPECT_TRUE(FormatStatusText(-1).contains(": -1 "));
}

TEST(StatusTextTest, CoverageNoteNamesOnlyWhatIsNotCovered) {
  const std::pair<WatchCoverage, std::string> cases[] = {
      {{0, 0}, ""},
      {{2, 0}, " (2 个网络目录: 每次搜索前检查修改时间)"},
      {{0, 7}, " (7 个未能监视的文件夹: 每次搜索前检查修改时间)"},
      {{1, 3}, " (1 个网络目录、3 个未能监视的文件夹: 每次搜索前检查修改时间)"},
  };
  for (const auto& [coverage, note] : cases) EXPECT_EQ(FormatCoverageNote(coverage).toStdString(), note);
}

TEST(StatusTextTest, CatalogueNotesOnlyWhileThereIsSomethingToRead) {
  EXPECT_EQ(FormatPendingNote(0).toStdString(), "");
  EXPECT_EQ(FormatPendingNote(12).toStdString(), " (另有 12 个文档尚未读取信息)");
  EXPECT_EQ(FormatCatalogueProgress({}).toStdString(), "");
  EXPECT_EQ(FormatCatalogueProgress({250, 100000}).toStdString(), "正在读取文档信息 (250 / 100000)…");
}

}  // namespace
}  // namespace glimpses

#include "base/case_fold.h"

#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <string>

#include "base/utf8.h"

namespace glimpses {
namespace {

TEST(FoldCaseTest, FoldsLettersAndKeepsEverythingElse) {
  const std::pair<const char*, const char*> cases[] = {
      {"RePoRT.PDF", "report.pdf"},   {"ÀÉÎÕÜ ÇÑ ×", "àéîõü çñ ×"},           {"ŁÓDŹ ŠÍŘ Ÿ", "łódź šíř ÿ"},
      {"ΣΟΦΊΑ σοφός", "σοφία σοφόσ"}, {"ЁЛКА ЖУК Її", "ёлка жук її"},         {"ẠỄ", "ạễ"},
      {"ＡＢＣ", "ａｂｃ"},           {"设计稿 ２０２３", "设计稿 ２０２３"}, {"µ Ɓ ǅ ẛ ϴ", "μ ɓ ǆ ṡ θ"},
      {"İstanbul", "istanbul"},       {"\xFF\xC3 bad", "\xFF\xC3 bad"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FoldCase(in), out) << in;
}

// Every character folds as Qt's own Unicode tables say, where those give
// one character (simple folding), but for the one deliberate addition.
TEST(FoldCaseTest, AgreesWithQtOverAllOfUnicode) {
  int folded = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string utf8;
    AppendUtf8(utf8, c);
    const QString qtFolded = QString::fromUcs4(&c, 1).toCaseFolded();
    if (c == 0x130) {
      EXPECT_EQ(FoldCase(utf8), "i");
    } else if (qtFolded.toUcs4().size() == 1) {
      const std::string expected = qtFolded.toStdString();
      ASSERT_EQ(FoldCase(utf8), expected) << "U+" << std::hex << static_cast<std::uint32_t>(c);
      folded += expected != utf8;
    }
  }
  // Latin, Greek, Cyrillic, Armenian, Georgian, Cherokee, Deseret... more
  // than a thousand letters in all.
  EXPECT_GT(folded, 1300);
}

}  // namespace
}  // namespace glimpses

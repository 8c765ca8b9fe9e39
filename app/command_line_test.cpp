#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimpses {
namespace {

TEST(WindowCommandLineTest, ReadsTheSharedSearchOptions) {
  const WindowCommandLine line =
      ParseWindowCommandLine({"glimpses", "--root", "/a", "--root=/b 文件", "--backend", "plocate",
                              "--plocate-db=/srv/team.db", "--hidden", "--cache-dir", "/tmp/c"});
  ASSERT_EQ(line.start, WindowStart::kRun) << line.error;
  EXPECT_EQ(line.search.roots, (std::vector<std::string>{"/a", "/b 文件"}));
  EXPECT_EQ(line.search.backend, Backend::kPlocate);
  EXPECT_EQ(line.search.plocateDb, "/srv/team.db");
  EXPECT_TRUE(line.search.includeHidden);
  EXPECT_EQ(line.search.cacheDir, "/tmp/c");
  EXPECT_EQ(ParseWindowCommandLine({"glimpses"}).search.backend, Backend::kIndex);
}

TEST(WindowCommandLineTest, DecidesWhatToDoBeforeQtSeesTheLine) {
  struct Case {
    QStringList arguments;
    WindowStart start;
  };
  const Case cases[] = {
      {{"glimpses"}, WindowStart::kRun},
      {{"glimpses", "--help"}, WindowStart::kHelp},
      {{"glimpses", "-h", "--backend", "nonsense"}, WindowStart::kHelp},
      {{"glimpses", "-platform", "offscreen", "--version"}, WindowStart::kVersion},
      {{"glimpses", "-V"}, WindowStart::kVersion},
      {{"glimpses", "--backend", "auto"}, WindowStart::kBadUsage},
      {{"glimpses", "--root="}, WindowStart::kBadUsage},
      {{"glimpses", "--root"}, WindowStart::kBadUsage},
      {{"glimpses", "--hidden=yes"}, WindowStart::kBadUsage},
      {{"glimpses", "plan.ai"}, WindowStart::kBadUsage},
      // Qt's own options: known only once QApplication has taken them.
      {{"glimpses", "-platform", "offscreen", "--root", "/a"}, WindowStart::kUnknownOption},
      {{"glimpses", "-platform", "offscreen", "--backend", "auto"}, WindowStart::kBadUsage},
      {{"glimpses", "--frobnicate"}, WindowStart::kUnknownOption},
  };
  for (const Case& c : cases) {
    const WindowCommandLine line = ParseWindowCommandLine(c.arguments);
    EXPECT_EQ(line.start, c.start) << c.arguments.join(' ').toStdString() << ": " << line.error;
    if (line.start == WindowStart::kBadUsage || line.start == WindowStart::kUnknownOption) {
      EXPECT_FALSE(line.error.empty()) << c.arguments.join(' ').toStdString();
    }
  }
}

}  // namespace
}  // namespace glimpses

#include "app/app_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

class AppPathsTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    // An installed tree (bin beside share/glimpses) and a build folder.
    std::filesystem::create_directories(Path("prefix/bin"));
    std::filesystem::create_directories(Path("prefix/share/glimpses"));
    std::filesystem::create_directories(Path("build/app"));
  }
};

TEST_F(AppPathsTest, SettingsFollowTheWayTheProgramRuns) {
  struct Case {
    const char* name;
    std::string executableDir;
    const char* existing;  // made before asking, relative to the scratch folder; "" for none
    std::string expected;
  };
  const std::string config = "/cfg/glimpses/Glimpses.ini";
  const Case cases[] = {
      {"installed, writable bin", Path("prefix/bin"), "", config},
      {"installed, portable file beside it", Path("prefix/bin"), "prefix/bin/Glimpses.ini",
       Path("prefix/bin/Glimpses.ini")},
      {"installed, a folder of that name", Path("prefix/bin"), "prefix/bin/Glimpses.ini/", config},
      {"build folder", Path("build/app"), "", Path("build/app/Glimpses.ini")},
      {"missing folder", Path("no-such-folder"), "", config},
      {"unknown executable", "", "", config},
  };
  for (const Case& c : cases) {
    const std::string existing = c.existing;
    if (!existing.empty() && existing.back() == '/') {
      std::filesystem::create_directories(Path(existing));
    } else if (!existing.empty()) {
      ASSERT_TRUE(WriteFileAtomically(Path(existing), "\r\n\r\n", 4));
    }
    EXPECT_EQ(ChooseSettingsPath(c.executableDir, "/cfg/glimpses"), c.expected) << c.name;
    if (!existing.empty()) std::filesystem::remove_all(Path(existing));
  }
}

TEST_F(AppPathsTest, DataFolderIsFoundFromTheExecutable) {
  EXPECT_EQ(InstalledDataDir(Path("prefix/bin")), Path("prefix/share/glimpses"));
  EXPECT_EQ(InstalledDataDir(Path("build/app")), "");
  EXPECT_EQ(InstalledDataDir(""), "");
  EXPECT_EQ(DataFolders(Path("prefix/bin")),
            (std::vector<std::string>{"", Path("prefix/bin"), Path("prefix/share/glimpses")}));
  EXPECT_EQ(DataFolders(Path("build/app")), (std::vector<std::string>{"", Path("build/app")}));
}

TEST_F(AppPathsTest, DataFilesAreFoundInTheFirstFolderThatHasThem) {
  std::filesystem::create_directories(Path("a"));
  std::filesystem::create_directories(Path("b/Glimpses.png"));  // a folder does not count
  std::filesystem::create_directories(Path("c"));
  ASSERT_TRUE(WriteFileAtomically(Path("c/Glimpses.png"), "x", 1));
  EXPECT_EQ(FindDataFile("Glimpses.png", {Path("a"), Path("b"), Path("c")}), Path("c/Glimpses.png"));
  EXPECT_EQ(FindDataFile("Thumbnail.dat", {Path("a"), Path("c")}), "");
}

}  // namespace
}  // namespace glimpses

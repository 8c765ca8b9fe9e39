#include "base/file_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>

#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

class FileUtilTest : public ScratchDirTest {
 protected:
  void Put(const std::string& name, const std::string& text) const {
    std::FILE* f = std::fopen(Path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string Get(const std::string& name) const {
    auto bytes = ReadWholeFile(Path(name), 1 << 20);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<unreadable>";
  }
};

TEST_F(FileUtilTest, ExistsAndLength) {
  Put("file", "12345");
  Put("star*?.ai", "");
  fs::create_directory(Path("folder"));
  const struct {
    std::string path;
    bool exists;
    std::int64_t length;
  } cases[] = {
      {Path("file"), true, 5},      {Path("star*?.ai"), true, 0},    {Path("folder"), false, -1},
      {Path("missing"), false, -1}, {Path("file/below"), false, -1}, {"", false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
    EXPECT_EQ(IsRegularFile(c.path), c.exists) << c.path;
    EXPECT_EQ(FileLength(c.path), c.length) << c.path;
  }
  // '*' is an ordinary character, not a pattern matching "file".
  EXPECT_FALSE(FileExists(Path("fi*")));
}

TEST_F(FileUtilTest, APipeIsNoFileAndDoesNotBlock) {
  // Opening a FIFO that has no writer waits forever unless asked not to.
  ASSERT_EQ(mkfifo(Path("pipe.png").c_str(), 0600), 0);
  EXPECT_TRUE(FileExists(Path("pipe.png")));
  EXPECT_FALSE(IsRegularFile(Path("pipe.png")));
  EXPECT_EQ(FileLength(Path("pipe.png")), -1);
  EXPECT_FALSE(ReadWholeFile(Path("pipe.png"), 1 << 20));
}

TEST_F(FileUtilTest, ReadFileRangeStopsAtTheEnd) {
  Put("ten", "0123456789");
  const struct {
    std::int64_t offset;
    std::size_t size;
    std::string expected;
  } cases[] = {{0, 4, "0123"}, {6, 100, "6789"}, {10, 5, ""}, {50, 5, ""}, {0, 0, ""}, {0, 10, "0123456789"}};
  for (const auto& c : cases) {
    auto bytes = ReadFileRange(Path("ten"), c.offset, c.size);
    ASSERT_TRUE(bytes) << c.offset;
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), c.expected) << c.offset << "+" << c.size;
  }
  EXPECT_FALSE(ReadFileRange(Path("missing"), 0, 4));
  EXPECT_EQ(ReadWholeFile(Path("ten"), 10)->size(), 10u);
  EXPECT_FALSE(ReadWholeFile(Path("ten"), 9));
  EXPECT_FALSE(ReadWholeFile(Path("missing"), 100));
}

TEST_F(FileUtilTest, TempFileNeverTouchesAnExistingFileAndIsRemoved) {
  Put("out.png", "user's picture");
  {
    auto temp = TempFile::CreateBeside(Path("out.png"));
    ASSERT_TRUE(temp);
    EXPECT_EQ(fs::path(temp->path()).parent_path(), dir_);
    EXPECT_NE(temp->path(), Path("out.png"));
    EXPECT_EQ(fs::path(temp->path()).filename().string()[0], '.');
    ASSERT_TRUE(temp->Write("new", 3));
    EXPECT_EQ(Get("out.png"), "user's picture");
    EXPECT_EQ(Names().size(), 2u);
  }
  EXPECT_EQ(Names(), std::set<std::string>{"out.png"});  // dropped uncommitted

  {  // two at once get distinct names
    auto a = TempFile::CreateBeside(Path("out.png")), b = TempFile::CreateBeside(Path("out.png"));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->path(), b->path());
    std::optional<TempFile> moved(std::move(*a));  // the moved-from one must not delete the file
    a.reset();
    EXPECT_TRUE(fs::exists(moved->path()));
  }
  EXPECT_EQ(Names(), std::set<std::string>{"out.png"});

  {
    auto temp = TempFile::CreateBeside(Path("out.png"));
    ASSERT_TRUE(temp && temp->Write("new", 3) && temp->CommitTo(Path("out.png")));
    EXPECT_FALSE(temp->CommitTo(Path("again.png")));
  }
  EXPECT_EQ(Get("out.png"), "new");
  EXPECT_EQ(Names(), std::set<std::string>{"out.png"});

  EXPECT_FALSE(TempFile::CreateBeside(Path("no/such/folder/out.png")));
  // A very long target name still gives a temporary name the file system accepts.
  EXPECT_TRUE(TempFile::CreateBeside(Path(std::string(250, 'n') + ".png")));
}

TEST_F(FileUtilTest, WriteFileAtomicallyReplacesWholeOrNotAtAll) {
  ASSERT_TRUE(WriteFileAtomically(Path("a.txt"), "first", 5));
  ASSERT_TRUE(WriteFileAtomically(Path("a.txt"), "second", 6));
  EXPECT_EQ(Get("a.txt"), "second");
  ASSERT_TRUE(WriteFileAtomically(Path("a.txt"), "synced", 6, /*synced=*/true));
  EXPECT_EQ(Get("a.txt"), "synced");
  ASSERT_TRUE(WriteFileAtomically(Path("empty"), "", 0));
  EXPECT_EQ(FileLength(Path("empty")), 0);

  fs::create_directory(Path("dir"));
  Put("dir/inside", "kept");
  EXPECT_FALSE(WriteFileAtomically(Path("dir"), "x", 1));  // a folder is never replaced
  EXPECT_FALSE(WriteFileAtomically(Path("missing/a.txt"), "x", 1));
  EXPECT_FALSE(WriteFileAtomically(Path("missing/a.txt"), "x", 1, /*synced=*/true));
  EXPECT_EQ(Get("dir/inside"), "kept");
  EXPECT_EQ(Names(), (std::set<std::string>{"a.txt", "empty", "dir"}));  // no temporary left behind
}

}  // namespace
}  // namespace glimpses

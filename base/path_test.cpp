#include "base/path.h"

#include <gtest/gtest.h>

namespace glimpses {
namespace {

TEST(JoinPathTest, ExactlyOneSlashBetweenFolderAndName) {
  const struct {
    const char* folder;
    const char* name;
    const char* joined;
  } cases[] = {
      {"/srv/docs", "a.pdf", "/srv/docs/a.pdf"},
      {"/srv/docs/", "a.pdf", "/srv/docs/a.pdf"},
      {"/", "a.pdf", "/a.pdf"},
      {"", "a.pdf", "a.pdf"},
      {"out", "", "out/"},
      {"设计 稿", "标志.cdr", "设计 稿/标志.cdr"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

}  // namespace
}  // namespace glimpses

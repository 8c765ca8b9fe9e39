#include "base/file_uri.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace glimpses {
namespace {

// The URIs GLib gives these paths (g_filename_to_uri, and GIO for the
// paths that are not canonical); the thumbnail cache test checks many more
// against GLib itself.
TEST(FileUriTest, EscapesTheBytesGLibEscapes) {
  const struct {
    std::string path;
    const char* uri;
  } cases[] = {
      {"/srv/a b#c%d?e.pdf", "file:///srv/a%20b%23c%25d%3Fe.pdf"},
      {"/srv/!$&'()*+,-.:=@_~.ai", "file:///srv/!$&'()*+,-.:=@_~.ai"},
      {"/srv/\"<>[\\]^`{|};.eps", "file:///srv/%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%3B.eps"},
      {"/srv/设计.cdr", "file:///srv/%E8%AE%BE%E8%AE%A1.cdr"},
      {"/srv/\xff\x01\x7f.pdf", "file:///srv/%FF%01%7F.pdf"},
      {"/srv/./x//y/../z.pdf", "file:///srv/x/z.pdf"},
      {"/", "file:///"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileUri(c.path), c.uri) << c.path;

  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(FileUri("rel.pdf"), FileUri(std::string(cwd) + "/rel.pdf"));
}

}  // namespace
}  // namespace glimpses

#include "app/file_url.h"

#include <gtest/gtest.h>

#include <string>

namespace glimpses {
namespace {

// The opener reads the path back from the encoded URL, byte for byte.
std::string PathBack(const QUrl& url) {
  const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  return path.toStdString();
}

TEST(FileUrl, CarriesEveryByteOfThePath) {
  struct Case {
    std::string path;
    const char* encoded;
  } cases[] = {
      {"/data/plan.pdf", "file:///data/plan.pdf"},
      {"/data/a b#1?.pdf", "file:///data/a%20b%231%3F.pdf"},
      {"/data/100%.pdf", "file:///data/100%25.pdf"},
      {"/data/\xff\xfe latin1 \xe9.ai", "file:///data/%FF%FE%20latin1%20%E9.ai"},
      {"/data/设计.cdr", "file:///data/%E8%AE%BE%E8%AE%A1.cdr"},
      {"/data/tab\there\\back.eps", "file:///data/tab%09here%5Cback.eps"},
      {"/data/--help.pdf", "file:///data/--help.pdf"},
      {"/data/-", "file:///data/-"},
      {"/", "file:///"},
  };
  for (const Case& c : cases) {
    const QUrl url = FileUrl(c.path);
    ASSERT_TRUE(url.isValid()) << c.path;
    EXPECT_EQ(url.toEncoded().toStdString(), c.encoded) << c.path;
    EXPECT_EQ(PathBack(url), c.path);
  }
}

TEST(FileUrl, RelativeOrEmptyPathsGiveNoUrl) {
  for (const char* path : {"", "data/plan.pdf", "-rf", "~/plan.pdf"}) EXPECT_TRUE(FileUrl(path).isEmpty()) << path;
}

TEST(FilesMimeData, CarriesTheUrlsAsTheFileManagerCopiesThem) {
  const auto data = FilesMimeData({"/data/a b.pdf", "relative.ai", "/data/\xff.eps"});
  EXPECT_EQ(data->data("text/uri-list").toStdString(), "file:///data/a%20b.pdf\r\nfile:///data/%FF.eps\r\n");
  EXPECT_EQ(data->data("x-special/gnome-copied-files").toStdString(),
            "copy\nfile:///data/a%20b.pdf\nfile:///data/%FF.eps");
}

}  // namespace
}  // namespace glimpses

#include "app/document_details.h"

#include <gtest/gtest.h>

#include <string>

namespace glimpses {
namespace {

// The name must be the one the catalogue keeps for links:, and the query
// must say it whatever it holds.
TEST(DocumentDetailsTest, PlacedFileNameAndItsSearch) {
  struct Case {
    const char* path;
    const char* name;
    const char* query;
  };
  const Case cases[] = {
      {"/Volumes/Jobs/logo.ai", "logo.ai", "links:\"logo.ai\""},
      {"file:///Users/me/Brand%20Kit/logo 2024.ai", "logo 2024.ai", "links:\"logo 2024.ai\""},
      {"C:\\Jobs\\Brand\\plan|b <1>.psd", "plan|b <1>.psd", "links:\"plan|b <1>.psd\""},
      {"Macintosh HD:Jobs:old.eps", "old.eps", "links:\"old.eps\""},
      {"/jobs/say \"hi\"*.ai", "say \"hi\"*.ai", "links:\"say ?hi??.ai\""},  // said as one character each
      {"bare.tif", "bare.tif", "links:\"bare.tif\""},
      {"/jobs/folder/", "", "links:\"\""},
  };
  for (const Case& c : cases) {
    const QString name = PlacedFileName(c.path);
    EXPECT_EQ(name.toStdString(), c.name) << c.path;
    EXPECT_EQ(PlacedFileQuery(name).toStdString(), c.query) << c.path;
  }
}

// What a document says of itself is text, never markup, whatever it holds;
// a placed file is a link by its index.
TEST(DocumentDetailsTest, DocumentTextsAreShownAsText) {
  DocumentDetails details;
  details.state = DocumentDetails::State::kRead;
  details.metadata.title = "<img src=\"file:///etc/passwd\"> & <b>bold</b>";
  details.metadata.links = {{"/jobs/<a href=x>.ai", ""}};
  details.metadata.fonts = {{"Font<script>", "", "", "", ""}};
  const std::string html = DetailsHtml(details).toStdString();
  EXPECT_EQ(html.find("<img"), std::string::npos) << html;
  EXPECT_EQ(html.find("<b>bold"), std::string::npos) << html;
  EXPECT_EQ(html.find("<script"), std::string::npos) << html;
  EXPECT_NE(html.find("&lt;img src=&quot;file:///etc/passwd&quot;&gt; &amp; &lt;b&gt;bold&lt;/b&gt;"),
            std::string::npos);
  EXPECT_NE(html.find("<a href=\"#link-0\">&lt;a href=x&gt;.ai</a>"), std::string::npos) << html;
}

}  // namespace
}  // namespace glimpses

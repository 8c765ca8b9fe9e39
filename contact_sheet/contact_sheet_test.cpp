// The contact sheet as the window calls it: what it refuses, what a stop
// leaves, and every stored picture of the real documents on the sheet. The
// command line's tests look at the pages themselves.
#include "contact_sheet/contact_sheet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "samples/adobe_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

using ContactSheetTest = ScratchDirTest;

// Every refusal and failure leaves the folder as it was: no sheet, no
// temporary file, and a sheet of the same name untouched.
TEST_F(ContactSheetTest, RefusedStoppedOrUnwritableSheetLeavesTheFolderAsItWas) {
  const std::string document = Write("plan.pdf", BuildAdobeDocument(SampleJpeg(64, 48, 1), {}));
  Write("sheet.pdf", std::string("mine"));
  fs::create_directories(Path("folder.pdf"));
  std::stop_source stopped;
  stopped.request_stop();
  const std::vector<std::string> one = {document};
  const struct Case {
    const char* label;
    std::vector<std::string> documents;
    int columns;
    std::stop_token stop;
    std::string output;
    ContactSheetError error;
  } cases[] = {
      {"no documents", {}, 4, {}, Path("sheet.pdf"), ContactSheetError::kNoEntries},
      {"only the sheet itself", {Path("sheet.pdf")}, 4, {}, Path("sheet.pdf"), ContactSheetError::kNoEntries},
      {"no columns", one, 0, {}, Path("sheet.pdf"), ContactSheetError::kBadColumns},
      {"too many columns", one, kMaxSheetColumns + 1, {}, Path("sheet.pdf"), ContactSheetError::kBadColumns},
      {"stopped", one, 4, stopped.get_token(), Path("sheet.pdf"), ContactSheetError::kCancelled},
      {"missing folder", one, 4, {}, Path("gone/sheet.pdf"), ContactSheetError::kCannotWrite},
      {"a folder", one, 4, {}, Path("folder.pdf"), ContactSheetError::kCannotWrite},
  };
  const std::set<std::string> before = Names();
  for (const Case& c : cases) {
    ContactSheetOptions options;
    options.columns = c.columns;
    options.stopToken = c.stop;
    const ContactSheetResult result = WriteContactSheet(c.documents, {}, options, c.output);
    EXPECT_EQ(result.error, c.error) << c.label << ": " << result.reason;
    EXPECT_FALSE(result.reason.empty()) << c.label;
    EXPECT_EQ(Names(), before) << c.label;
    EXPECT_EQ(ReadWholeFile(Path("sheet.pdf"), 16), Bytes({'m', 'i', 'n', 'e'})) << c.label;
  }
}

// Every document of the corpus whose picture the extraction writes shows
// that picture on the sheet: none is lost between the reader and the page.
TEST_F(ContactSheetTest, EveryStoredPictureOfTheCorpusIsOnTheSheet) {
  const fs::path corpus = GLIMPSES_CORPUS_DIR;
  std::ifstream manifest(corpus / "MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no corpus at " << corpus << "; skipped";
  std::string line;
  std::getline(manifest, line);
  std::vector<std::string> documents;
  int withPicture = 0;
  while (std::getline(manifest, line)) {
    documents.push_back((corpus / line.substr(0, line.find('\t'))).string());
    if (line.substr(line.rfind('\t') + 1) != "none") ++withPicture;  // expect_more, the last column
  }
  ContactSheetOptions options;
  options.page = SheetPage::kLetter;
  int progressed = 0;
  options.progress = [&progressed](int done, int total) {
    EXPECT_EQ(done, progressed + 1);
    EXPECT_EQ(total, 66);
    progressed = done;
  };
  const ContactSheetResult result = WriteContactSheet(documents, {"corpus", "2024-05-17", ""}, options, Path("c.pdf"));
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(documents.size(), 66u);
  EXPECT_EQ(result.documents, 66);
  EXPECT_EQ(result.withPicture, withPicture);
  EXPECT_EQ(result.withoutPicture, 66 - withPicture);
  EXPECT_EQ(progressed, 66);
  EXPECT_EQ(Names(), std::set<std::string>{"c.pdf"});
}

}  // namespace
}  // namespace glimpses

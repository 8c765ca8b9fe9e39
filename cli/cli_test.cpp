// glimpses-cli as scripts see it: exit statuses, what it prints and what it
// writes, run as a separate process over documents the test builds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "extract/image.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/hostile_samples.h"
#include "samples/preview_samples.h"
#include "samples/scratch_dir.h"

extern char** environ;

namespace glimpses {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  auto bytes = ReadWholeFile(path, 16 << 20);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

class CliTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    fs::create_directories(Path("docs"));
    fs::create_directories(Path("runtime"));
    jpeg_ = SampleJpeg(64, 48, 1);
    Write("docs/poster 海报.pdf", BuildAdobeDocument(jpeg_, {}));
    Write("docs/badge.ai", BuildHexPreviewAi(20, 10, true));
    Write("docs/blank.eps", BuildDocumentWithoutThumbnail(DocumentKind::kEps, 0));
  }

  CliRun Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), GLIMPSES_CLI);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The session's runtime folder is the test's own, so that what is left
    // there can be told.
    std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + Path("runtime")};
    for (char** variable = environ; *variable; ++variable) {
      if (!std::string_view(*variable).starts_with("XDG_RUNTIME_DIR=")) variables.push_back(*variable);
    }
    std::vector<char*> env;
    for (auto& variable : variables) env.push_back(variable.data());
    env.push_back(nullptr);
    CliRun run;
    pid_t pid;
    if (posix_spawn(&pid, GLIMPSES_CLI, &actions, nullptr, argv.data(), env.data()) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = Slurp(Path("stdout"));
    run.err = Slurp(Path("stderr"));
    return run;
  }

  Bytes jpeg_;
};

TEST_F(CliTest, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"frobnicate"},
      {"--frobnicate", "search"},
      {"extract", "only-one-argument"},
      {"extract", "a.pdf", "--out-dir"},
      {"info"},
      {"extract", "--out-dir=", "a.pdf"},
      {"search", "--backend", "auto", "x"},
      {"search", "--all=yes", "x"},
      {"search", "--sort", "date", "x"},
      {"search", "-x"},
      {"search", "--root="},
      {"export", "--jobs", "0", "--out", "o", "x"},
      {"export", "x"},
      {"export", "--contact-sheet", "s.pdf", "--columns", "13", "x"},
      {"export", "--contact-sheet", "s.pdf", "--page", "a3", "x"},
      {"export", "--contact-sheet", "s.pdf", "--out", "o", "x"},
      {"export", "--contact-sheet=", "x"},
      {"export", "--columns", "2", "--out", "o", "x"},
      {"catalogue", "--root", "x"},
      {"catalogue", "--out", "c.sqlite", "keyword"},
      {"catalogue", "--out", "c.sqlite", "--catalogue", "other.sqlite"},
  };
  for (const auto& line : lines) {
    const CliRun run = Cli(line);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(line);
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
  }
  CliRun missing = Cli({"extract", Path("docs/gone.pdf"), Path("x.jpg")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("gone.pdf"), std::string::npos) << missing.err;
}

TEST_F(CliTest, ExtractPrintsThePictureItWrote) {
  CliRun xmp = Cli({"extract", Path("docs/poster 海报.pdf"), Path("poster.jpg")});
  EXPECT_EQ(xmp.status, 0);
  EXPECT_EQ(xmp.out, Path("poster.jpg") + "\n");
  EXPECT_EQ(ReadWholeFile(Path("poster.jpg"), 1 << 20), jpeg_);

  // The hex preview becomes a PNG beside the asked-for name.
  CliRun hex = Cli({"extract", Path("docs/badge.ai"), Path("badge.ai_T.jpg")});
  EXPECT_EQ(hex.status, 0);
  EXPECT_EQ(hex.out, Path("badge.ai_T.png") + "\n");

  CliRun none = Cli({"extract", Path("docs/blank.eps"), Path("blank.jpg")});
  EXPECT_EQ(none.status, 1);
  EXPECT_FALSE(fs::exists(Path("blank.jpg")));
}

TEST_F(CliTest, ExtractSaysWhyNothingWasWrittenAndVerboseSaysWhichRouteFoundThePicture) {
  CliRun none = Cli({"extract", Path("docs/blank.eps"), Path("blank.jpg")});
  EXPECT_EQ(none.err, "glimpses-cli: no thumbnail in '" + Path("docs/blank.eps") + "': no stored picture\n");

  Bytes cut = BuildDosEps(BuildTiff(8, 8, TiffLayout::kRgb, TiffCompression::kNone));
  cut.resize(cut.size() - 10);
  Write("docs/cut.eps", cut);
  CliRun damaged = Cli({"extract", Path("docs/cut.eps"), Path("cut.jpg")});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("stored picture is damaged: EPS binary header points outside the file"), std::string::npos)
      << damaged.err;

  Write("docs/tiff.eps", BuildDosEps(BuildTiff(8, 8, TiffLayout::kRgb, TiffCompression::kNone)));
  CliRun verbose = Cli({"extract", Path("docs/tiff.eps"), Path("tiff.eps_T.jpg"), "--verbose"});
  EXPECT_EQ(verbose.status, 0) << verbose.err;
  EXPECT_EQ(verbose.out, Path("tiff.eps_T.png") + "\n");
  EXPECT_EQ(verbose.err, "glimpses-cli: '" + Path("docs/tiff.eps") + "': EPS TIFF preview\n");
  EXPECT_EQ(Cli({"extract", Path("docs/tiff.eps"), Path("quiet.jpg")}).err, "");
}

TEST_F(CliTest, ExtractIntoAFolderUsesTheExportNames) {
  CliRun run = Cli({"extract", "--out-dir", Path("out/new"), Path("docs/poster 海报.pdf"), Path("docs/badge.ai"),
                    Path("docs/blank.eps")});
  EXPECT_EQ(run.status, 0) << run.err;
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(Path("out/new"))) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"poster 海报.pdf_T.jpg", "badge.ai_T.png"}));
}

TEST_F(CliTest, OptionsMayFollowOperandsAndTakeValuesEitherWay) {
  const std::string expected = Path("docs/poster 海报.pdf") + "\n";
  CliRun after = Cli({"search", "海报", "--root", Path("docs"), "--cache-dir", Path("cache")});
  EXPECT_EQ(after.out, expected) << after.err;
  CliRun joined = Cli({"search", "--root=" + Path("docs"), "--cache-dir=" + Path("cache"), "海报"});
  EXPECT_EQ(joined.out, expected) << joined.err;
  // After "--" a word starting with '-' is a keyword, not an option.
  CliRun ended = Cli({"search", "--root", Path("docs"), "--cache-dir", Path("cache"), "--", "-海报"});
  EXPECT_EQ(ended.status, 1) << ended.err;

  CliRun mixed = Cli({"extract", Path("docs/badge.ai"), "--out-dir", Path("out"), Path("docs/poster 海报.pdf")});
  EXPECT_EQ(mixed.status, 0) << mixed.err;
  EXPECT_TRUE(fs::exists(Path("out/poster 海报.pdf_T.jpg")));
  EXPECT_TRUE(fs::exists(Path("out/badge.ai_T.png")));
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  EXPECT_EQ(Cli({"--version"}).out, "glimpses-cli " GLIMPSES_VERSION "\n");
  for (const char* command : {"extract", "search", "export", "info"}) {
    CliRun help = Cli({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: glimpses-cli ") + command, 0), 0u) << help.out;
    // glimpses-cli --help, the manual page's source, lists the command's options too.
    const std::string options = help.out.substr(help.out.find("\n      --"));
    EXPECT_NE(Cli({"--help"}).out.find(options), std::string::npos) << command;
  }
}

TEST_F(CliTest, InfoPrintsWhatEachDocumentSaysAndGoesOnPastOneItCannotRead) {
  const std::vector<std::string> documents = {Path("docs/poster 海报.pdf"), Path("docs/gone.pdf"),
                                              Path("docs/blank.eps"), Path("docs")};
  std::vector<std::string> json = {"info", "--json"};
  json.insert(json.end(), documents.begin(), documents.end());
  const CliRun run = Cli(json);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("gone.pdf': No such file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("is a folder"), std::string::npos) << run.err;
  const std::string poster = run.out.substr(0, run.out.find('\n') + 1);
  EXPECT_EQ(poster.rfind("{\"path\":\"" + Path("docs/poster 海报.pdf") + "\",\"kind\":\"pdf\",", 0), 0u) << poster;
  EXPECT_NE(poster.find("\"creator_tool\":\"glimpses-make-samples\""), std::string::npos) << poster;
  EXPECT_NE(poster.find("\"has_thumbnail\":true}\n"), std::string::npos) << poster;
  const std::string blank = run.out.substr(poster.size());
  EXPECT_EQ(blank, "{\"path\":\"" + Path("docs/blank.eps") +
                       "\",\"kind\":\"eps\",\"application\":\"glimpses-make-samples\","
                       "\"creator_tool\":\"glimpses-make-samples\",\"has_thumbnail\":false}\n");
  EXPECT_EQ(run.out.find("null"), std::string::npos) << "absent fields are left out";

  const CliRun text = Cli({"info", Path("docs/poster 海报.pdf"), Path("docs/blank.eps")});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("  creator tool:         glimpses-make-samples\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n\n" + Path("docs/blank.eps") + "\n  kind:                 eps\n"), std::string::npos);
}

TEST_F(CliTest, SearchAndExportOverARoot) {
  const std::vector<std::string> common = {"--root", Path("docs"), "--cache-dir", Path("cache")};
  auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), common.begin(), common.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  CliRun found = Cli(with({"search"}, {"海报"}));
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_EQ(found.out, Path("docs/poster 海报.pdf") + "\n");
  EXPECT_EQ(found.err, "1 document (AI CDR EPS INDD PDF)\n");
  EXPECT_EQ(Cli(with({"search", "--all"}, {"海报"})).err, "1 entry\n");
  EXPECT_EQ(Cli(with({"search"}, {"nothing-like-this"})).status, 1);

  CliRun exported = Cli(with({"export", "--out", Path("thumbs")}, {""}));
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE((exported.out + exported.err).find("3 documents, 2 pictures written, 1 without thumbnail"),
            std::string::npos)
      << exported.out << exported.err;
  EXPECT_TRUE(fs::exists(Path("thumbs/poster 海报.pdf_T.jpg")));

  // An output folder that cannot exist (under a regular file) is an error.
  CliRun refused = Cli(with({"export", "--out", Path("docs/badge.ai/out")}, {""}));
  EXPECT_EQ(refused.status, 2);
}

// Sizes, times and the folders told apart by --sort; --json carries them
// with a name that is not UTF-8; malformed modifiers stop both commands.
TEST_F(CliTest, SearchSortsExcludesWritesJsonAndRefusesMalformedModifiers) {
  ::setenv("TZ", "CST-8", 1);  // a fixed offset, in the child too
  ::tzset();
  fs::create_directories(Path("docs/sub"));
  Write("docs/sub/alpha.pdf", BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 0));
  Write("docs/bad \xff.ai", BuildDocumentWithoutThumbnail(DocumentKind::kIllustrator, 0));
  const std::tuple<const char*, off_t, std::time_t> files[] = {
      {"docs/poster 海报.pdf", 3000, 1715918400},  // 2024-05-17T12:00:00+08:00
      {"docs/badge.ai", 1000, 1672531200},        {"docs/blank.eps", 2000, 1717200000},
      {"docs/sub/alpha.pdf", 4000, 1600000000},   {"docs/bad \xff.ai", 500, 1700000000},
  };
  for (const auto& [name, size, time] : files) {
    ASSERT_EQ(::truncate(Path(name).c_str(), size), 0);
    const timespec times[2] = {{time, 0}, {time, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Path(name).c_str(), times, 0), 0);
  }
  const std::string d = Path("docs") + "/";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    const char* errStart;
  };
  const Case cases[] = {
      {{"search", "--sort", "size", "p"}, 0, d + "blank.eps\n" + d + "poster 海报.pdf\n" + d + "sub/alpha.pdf\n", "3 "},
      {{"search", "--sort=size", "--reverse", "p"},
       0,
       d + "sub/alpha.pdf\n" + d + "poster 海报.pdf\n" + d + "blank.eps\n",
       "3 "},
      {{"search", "--sort", "modified", "a"},
       0,
       d + "sub/alpha.pdf\n" + d + "badge.ai\n" + d + "bad \xff.ai\n" + d + "blank.eps\n",
       "4 "},
      {{"search", "p"}, 0, d + "sub/alpha.pdf\n" + d + "blank.eps\n" + d + "poster 海报.pdf\n", "3 "},
      {{"search", "--sort", "folder", "p"},
       0,
       d + "blank.eps\n" + d + "poster 海报.pdf\n" + d + "sub/alpha.pdf\n",
       "3 "},
      {{"search", "--exclude", Path("docs/sub"), "p"}, 0, d + "blank.eps\n" + d + "poster 海报.pdf\n", "2 "},
      {{"search", "--exclude=*/sub", "size:>1000", "dm:2024"}, 0, d + "blank.eps\n" + d + "poster 海报.pdf\n", "2 "},
      {{"search", "size:big"}, 2, "", "glimpses-cli search: size: needs a number"},
      {{"search", "regex:(", "--sort", "size"}, 2, "", "glimpses-cli search: regex: missing )"},
      {{"export", "--out", Path("thumbs"), "dm:yesteryear"}, 2, "", "glimpses-cli export: dm: needs a date"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, {"--root", Path("docs"), "--cache-dir", Path("cache")});
    const CliRun run = Cli(args);
    const std::string label = args[0] + " " + c.args.back();
    EXPECT_EQ(run.status, c.status) << label << ": " << run.err;
    EXPECT_EQ(run.out, c.out) << label;
    EXPECT_TRUE(run.err.starts_with(c.errStart)) << label << ": " << run.err;
    if (c.status == 2) {
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << label << ": " << run.err;
    }
  }
  // The version is what the catalogue has of the program that made it.
  const CliRun json = Cli({"search", "--json", "--root", Path("docs"), "--cache-dir", Path("cache"), "海报"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(json.out.starts_with("{\"path\":\"" + d + "poster 海报.pdf\",\"name\":\"poster 海报.pdf\",\"folder\":\"" +
                                   Path("docs") +
                                   "\",\"size\":3000,\"modified\":\"2024-05-17T12:00:00+08:00\",\"version\":"))
      << json.out;
  EXPECT_TRUE(json.out.ends_with("}\n")) << json.out;
  const CliRun bad = Cli({"search", "--json", "--root", Path("docs"), "--cache-dir", Path("cache"), "bad"});
  EXPECT_NE(bad.out.find("\"name\":\"bad \xEF\xBF\xBD.ai\""), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("\"path_bytes\":\""), std::string::npos) << bad.out;
  ::unsetenv("TZ");
  ::tzset();
}

// A catalogue built where the documents live and read elsewhere, as
// plocate's database is: only read there, what it lacks read into memory.
TEST_F(CliTest, ACatalogueBuiltOnceIsReadElsewhereAndNeverWritten) {
  const std::vector<std::string> where = {"--root", Path("docs"), "--cache-dir", Path("cache")};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, where.begin(), where.end());
    return Cli(args);
  };
  const CliRun built = run({"catalogue", "--out", Path("built.sqlite")});
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "3 documents read into " + Path("built.sqlite") + "\n");
  EXPECT_EQ(run({"catalogue", "--out", Path("built.sqlite")}).out,
            "0 documents read into " + Path("built.sqlite") + "\n");

  Write("docs/later.pdf", BuildAdobeDocument(jpeg_, {}));
  const std::string before = Slurp(Path("built.sqlite"));
  const std::string d = Path("docs") + "/";
  const CliRun shown = run({"search", "--catalogue", Path("built.sqlite"), "has:thumbnail"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out, d + "badge.ai\n" + d + "later.pdf\n" + d + "poster 海报.pdf\n");
  EXPECT_EQ(run({"search", "--catalogue", Path("built.sqlite"), "!has:thumbnail"}).out, d + "blank.eps\n");
  EXPECT_EQ(Slurp(Path("built.sqlite")), before);

  // Never a file that is not a catalogue, and never plocate's answers.
  Write("notes.sqlite", std::string("SQLite format 3\0", 16) + std::string(100, 'x'));
  const CliRun foreign = run({"catalogue", "--out", Path("notes.sqlite")});
  EXPECT_EQ(foreign.status, 2);
  EXPECT_NE(foreign.err.find("is not a catalogue; it is left alone"), std::string::npos) << foreign.err;
  EXPECT_EQ(Slurp(Path("notes.sqlite")).size(), 116u);
  const CliRun damaged = run({"search", "--catalogue", Path("notes.sqlite"), "has:thumbnail"});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_NE(damaged.err.find("notes.sqlite: not a catalogue"), std::string::npos) << damaged.err;
  const CliRun plocate = run({"search", "--backend", "plocate", "pages:2"});
  EXPECT_EQ(plocate.status, 2);
  EXPECT_NE(plocate.err.find("need the index backend"), std::string::npos) << plocate.err;
}

// Names other systems and archives leave, found by the index and written
// back byte for byte; a name holding a line break is no document.
TEST_F(CliTest, HostileNamesAreSearchedAndExportedByTheirBytes) {
  const std::string folder = "docs/hostile \xfe";
  const std::string tooLong(252 - 4, 'l');
  const std::vector<std::string> documents = {"caf\xe9 \xff.pdf", "tab\there.ai", "back\\slash.eps",
                                              "-rf.pdf",          "--help.ai",    std::string(245, 'n') + ".pdf",
                                              tooLong + ".pdf"};
  fs::create_directories(Path(folder));
  for (const std::string& name : documents) Write(folder + "/" + name, BuildAdobeDocument(jpeg_, {}));
  Write(folder + "/line\nbreak.pdf", BuildAdobeDocument(jpeg_, {}));
  const std::vector<std::string> common = {"--root", Path(folder), "--cache-dir", Path("cache"), "--"};

  std::vector<std::string> search = {"search", "-0"};
  search.insert(search.end(), common.begin(), common.end());
  search.push_back("");
  CliRun found = Cli(search);
  EXPECT_EQ(found.status, 0) << found.err;
  std::set<std::string> listed;
  for (std::size_t start = 0, end; (end = found.out.find('\0', start)) != std::string::npos; start = end + 1) {
    listed.insert(found.out.substr(start, end - start));
  }
  std::set<std::string> expected;
  for (const std::string& name : documents) expected.insert(Path(folder) + "/" + name);
  EXPECT_EQ(listed, expected);

  std::vector<std::string> exportArgs = {"export", "--out", Path("thumbs")};
  exportArgs.insert(exportArgs.end(), common.begin(), common.end());
  exportArgs.push_back("");
  CliRun exported = Cli(exportArgs);
  EXPECT_EQ(exported.status, 2);
  EXPECT_NE(exported.out.find("7 documents, 6 pictures written, 0 without thumbnail, 1 failed"), std::string::npos)
      << exported.out;
  EXPECT_NE(exported.err.find(tooLong + ".pdf: the picture's name would be longer than 255 bytes"), std::string::npos)
      << exported.err;
  std::set<std::string> pictures;
  for (const auto& entry : fs::directory_iterator(Path("thumbs"))) pictures.insert(entry.path().filename().string());
  std::set<std::string> expectedPictures;
  for (const std::string& name : documents) {
    if (name.size() + 6 <= 255) expectedPictures.insert(name + "_T.jpg");
  }
  EXPECT_EQ(pictures, expectedPictures);
}

// What poppler's tools make of a PDF: its page count, a page's text, a page
// rendered.
class PdfProbe {
 public:
  static bool Available() { return std::system("command -v pdftoppm pdfinfo pdftotext pdfimages >/dev/null") == 0; }

  explicit PdfProbe(std::string pdf) : pdf_(std::move(pdf)) {}

  int Pages() const {
    const std::string info = Output("pdfinfo '" + pdf_ + "'");
    const std::size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
  }
  // pdftotext keeps the blanks between words only where it deems them wide
  // enough: "1 / 1" may come back as "1/1".
  std::string Text(int page) const {
    return Output("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf_ + "' -");
  }
  // Each picture's encoding and width in pixels, in page order: "jpeg" for
  // one embedded as stored, "image" for pixels.
  std::vector<std::pair<std::string, int>> Pictures() const {
    std::vector<std::pair<std::string, int>> pictures;
    std::istringstream lines(Output("pdfimages -list '" + pdf_ + "'"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream fields(line);
      const std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
      if (words.size() > 8 && std::isdigit(static_cast<unsigned char>(words[0][0]))) {
        pictures.emplace_back(words[8], std::atoi(words[3].c_str()));
      }
    }
    return pictures;
  }
  CImage Render(int page, int dpi) const {
    const std::string png = pdf_ + ".page";
    Output("pdftoppm -png -singlefile -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " '" + pdf_ + "' '" +
           png + "'");
    CImage image;
    image.LoadFromFile(png + ".png");
    std::remove((png + ".png").c_str());
    return image;
  }

 private:
  static std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
      pclose(pipe);
    }
    return out;
  }
  std::string pdf_;
};

std::string Unspaced(std::string text) {
  std::erase(text, ' ');
  return text;
}

// A document's picture of one colour: an XMP JPEG or a CorelDRAW PNG.
CImage SolidPicture(Rgba colour, int width = 64, int height = 48) {
  CImage picture;
  picture.Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::copy_n(std::array{colour.blue, colour.green, colour.red}.data(), 3, picture.Row(y) + 3 * x);
    }
  }
  return picture;
}

// Where a colour shows on a rendered page: how many pixels, and their mean x.
struct Spot {
  int pixels = 0;
  double x = 0;
};

Spot FindColour(const CImage& page, Rgba colour) {
  Spot spot;
  for (int y = 0; y < page.Height(); ++y) {
    for (int x = 0; x < page.Width(); ++x) {
      const Rgba c = ColourAt(page, x, y);
      if (std::abs(c.red - colour.red) + std::abs(c.green - colour.green) + std::abs(c.blue - colour.blue) > 40)
        continue;
      ++spot.pixels;
      spot.x += x;
    }
  }
  if (spot.pixels > 0) spot.x /= spot.pixels;
  return spot;
}

// The matches on a contact sheet in the answer's order: a stored JPEG, a
// converted CorelDRAW picture, the EPS badge of a document without one, its
// Chinese name printed, and a stored JPEG far larger than its cell; an older
// sheet of the same name, matched by the same keywords, is replaced and not
// put on the sheet.
TEST_F(CliTest, ContactSheetShowsEachMatchsPictureOrBadgeInOrder) {
  if (!PdfProbe::Available()) GTEST_SKIP() << "poppler-utils not installed";
  constexpr Rgba kBlue{30, 60, 200}, kYellow{240, 200, 20}, kEpsBadge{143, 69, 173}, kTeal{20, 160, 160};
  fs::create_directories(Path("sheet"));
  Write("sheet/a blue.pdf", BuildAdobeDocument(*SolidPicture(kBlue).Encode(ImageFormat::kJpeg), {}));
  ASSERT_TRUE(WriteCorelZip(Path("sheet/b yellow.cdr"),
                            {{"previews/thumbnail.png", *SolidPicture(kYellow).Encode(ImageFormat::kPng)}}));
  Write("sheet/c 无图.eps", BuildDocumentWithoutThumbnail(DocumentKind::kEps, 0));
  Write("sheet/d wide.pdf", BuildAdobeDocument(*SolidPicture(kTeal, 1600, 1200).Encode(ImageFormat::kJpeg), {}));
  Write("sheet/contact.pdf", std::string("an older sheet"));
  scratch_.Age();

  const std::vector<std::string> root = {"--root", Path("sheet"), "--cache-dir", Path("cache")};
  auto sheet = [&](const std::string& output, const std::string& keywords) {
    std::vector<std::string> args = {"export", "--contact-sheet", output};
    args.insert(args.end(), root.begin(), root.end());
    args.push_back(keywords);
    return Cli(args);
  };
  const CliRun run = sheet(Path("sheet/contact.pdf"), "a|b|c|d");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Path("sheet/contact.pdf") + ": 4 documents on 1 page, 3 with a picture, 1 without\n");
  const PdfProbe pdf(Path("sheet/contact.pdf"));
  EXPECT_EQ(pdf.Pages(), 1);
  const std::string text = pdf.Text(1);
  for (const char* shown : {"a|b|c|d", "4 documents", "c 无图.eps"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << " not in: " << text;
  }
  EXPECT_NE(Unspaced(text).find("1/1"), std::string::npos) << text;
  // The stored JPEG as it is, small and sharp; the converted picture as
  // pixels; the large JPEG as pixels shrunk to its cell at 300 dpi.
  const auto pictures = pdf.Pictures();
  ASSERT_EQ(pictures.size(), 3u);
  using Picture = std::pair<std::string, int>;
  EXPECT_EQ(pictures[0], Picture("jpeg", 64));
  EXPECT_EQ(pictures[1], Picture("image", 64));
  EXPECT_EQ(pictures[2].first, "image");
  EXPECT_LE(pictures[2].second, 600);
  const CImage page = pdf.Render(1, 50);
  const Spot spots[] = {FindColour(page, kBlue), FindColour(page, kYellow), FindColour(page, kEpsBadge),
                        FindColour(page, kTeal)};
  for (std::size_t i = 0; i < std::size(spots); ++i) {
    EXPECT_GT(spots[i].pixels, 500) << i;
    if (i > 0) {
      EXPECT_LT(spots[i - 1].x, spots[i].x) << i;
    }
  }

  const CliRun none = sheet(Path("none.pdf"), "nothing-like-this");
  EXPECT_EQ(none.status, 1);
  EXPECT_FALSE(fs::exists(Path("none.pdf")));
}

// The grid's rows and columns decide the pages; each is numbered.
TEST_F(CliTest, ContactSheetPagesFollowFromPageColumnsAndMatches) {
  if (!PdfProbe::Available()) GTEST_SKIP() << "poppler-utils not installed";
  fs::create_directories(Path("many"));
  for (int i = 0; i <= 20; ++i) {
    Write("many/d" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".eps",
          BuildDocumentWithoutThumbnail(DocumentKind::kEps, 0));
  }
  const struct Case {
    std::vector<std::string> options;
    const char* keywords;
    int documents;
    int pages;
  } cases[] = {
      {{}, "", 21, 2},  // A4, four columns: five rows
      {{}, "!d20", 20, 1},
      {{"--page", "letter"}, "", 21, 2},  // four rows
      {{"--page=letter"}, "!d0", 11, 1},
      {{"--page", "letter", "--columns", "1"}, "d0", 10, 10},
      {{"--columns=12"}, "", 21, 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"export",      "--root",          Path("many"),     "--cache-dir",
                                     Path("cache"), "--contact-sheet", Path("pages.pdf")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(c.keywords);
    const CliRun run = Cli(args);
    const std::string label = ::testing::PrintToString(args);
    EXPECT_EQ(run.status, 0) << label << run.err;
    EXPECT_EQ(run.out, Path("pages.pdf") + ": " + std::to_string(c.documents) + " documents on " +
                           std::to_string(c.pages) + (c.pages == 1 ? " page" : " pages") + ", 0 with a picture, " +
                           std::to_string(c.documents) + " without\n")
        << label;
    const PdfProbe pdf(Path("pages.pdf"));
    EXPECT_EQ(pdf.Pages(), c.pages) << label;
    const std::string last = std::to_string(c.pages) + "/" + std::to_string(c.pages);
    EXPECT_NE(Unspaced(pdf.Text(c.pages)).find(last), std::string::npos) << label;
  }
}

// A tmpfs of its own, taken down again whatever the test's outcome.
class SmallDisk {
 public:
  SmallDisk(const std::string& where, const char* size) : where_(where) {
    fs::create_directories(where);
    const std::string options = std::string("size=") + size;
    mounted_ = mount("glimpses-test", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(where_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string where_;
  bool mounted_ = false;
};

// An export into a disk that fills up: it stops, says how many pictures it
// wrote, exits 2, and leaves only those pictures, whole.
TEST_F(CliTest, ExportIntoAFullDiskStopsAndSaysHowFarItGot) {
  SmallDisk disk(Path("small"), "120k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root or CAP_SYS_ADMIN)";
  const Bytes picture = SampleJpeg(160, 120, 7);
  fs::create_directories(Path("many"));
  for (int i = 0; i < 60; ++i) Write("many/doc" + std::to_string(i) + ".pdf", BuildAdobeDocument(picture, {}));
  CliRun run = Cli(
      {"export", "--root", Path("many"), "--cache-dir", Path("cache"), "--jobs", "2", "--out", Path("small/out"), ""});
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  std::size_t pictures = 0;
  for (const auto& entry : fs::directory_iterator(Path("small/out"))) {
    ++pictures;
    EXPECT_EQ(ReadWholeFile(entry.path().string(), 1 << 20), picture) << entry.path();
  }
  EXPECT_GT(pictures, 0u);
  EXPECT_LT(pictures, 60u);
  EXPECT_NE(run.err.find("is full (No space left on device): " + std::to_string(pictures) +
                         " pictures written, the export stopped"),
            std::string::npos)
      << run.err;
}

// A contact sheet that fills the disk: exit 2 with the reason, and the
// sheet already there under that name stays as it was, alone.
TEST_F(CliTest, ContactSheetIntoAFullDiskLeavesTheOldSheetAndNothingElse) {
  SmallDisk disk(Path("small"), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root or CAP_SYS_ADMIN)";
  fs::create_directories(Path("many"));
  for (int i = 0; i < 40; ++i) {
    Write("many/doc" + std::to_string(i) + ".pdf", BuildAdobeDocument(SampleJpeg(160, 120, i), {}));
  }
  Write("small/sheet.pdf", std::string("mine"));
  const CliRun run = Cli(
      {"export", "--root", Path("many"), "--cache-dir", Path("cache"), "--contact-sheet", Path("small/sheet.pdf"), ""});
  EXPECT_EQ(run.status, 2) << run.out;
  EXPECT_EQ(run.err, "glimpses-cli export: cannot write '" + Path("small/sheet.pdf") + "': No space left on device\n");
  EXPECT_EQ(EntriesUnder(Path("small")), std::set<std::string>{"sheet.pdf"});
  EXPECT_EQ(Slurp(Path("small/sheet.pdf")), "mine");
}

// The documents built to make a reader work without end, and the output
// traps of `extract`: each run ends with its exit status, prints what it
// wrote or says why it wrote nothing, writes nothing else into the output
// folder or the runtime folder, and leaves the document as it was.
TEST_F(CliTest, ExtractOfHostileDocumentsAndOutputTrapsEndsAtOnceAndWritesOnlyItsPicture) {
  fs::create_directories(Path("out/sub"));
  const struct Row {
    HostileDocument document;
    std::string output;  // under out/
    int status;
    std::string printed;  // under out/, what stdout names; "" for nothing
    const char* reason;   // part of stderr
  } rows[] = {
      {InddOfShortThumbnails(), "pic.jpg", 1, "", "damaged: more InDesign thumbnail fragments than are tried"},
      {SparseCorelRiff(), "pic.png", 1, "", "no stored picture"},
      // An XMP thumbnail is written as stored, never decoded.
      {ProgressiveXmpThumbnail(DocumentKind::kIllustrator, 8192), "pic.jpg", 0, "pic.jpg", ""},
      {ProgressiveXmpThumbnail(DocumentKind::kInDesign, 2048), "pic.jpg", 0, "pic.jpg", ""},
      {DosEpsWithHugeTiff(false), "pic.jpg", 1, "", "damaged: TIFF preview does not decode"},
      {DosEpsWithHugeTiff(true), "pic.jpg", 1, "", "does not decode"},
      // A converted picture: ".png" appended to a name without a picture
      // extension, an extension replaced, never the folder's name taken.
      {HexPreviewDocument(), "sub/pic", 0, "sub/pic.png", ""},
      {HexPreviewDocument(), "thumbnail.jpeg", 0, "thumbnail.png", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.document.name + " to " + row.output);
    const std::string document = WriteHostileDocument(Path("docs"), row.document);
    ASSERT_FALSE(document.empty());
    const std::string identity = FileIdentity(document);

    const CliRun run = Cli({"extract", document, Path("out/" + row.output)});
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_NE(run.err.find(row.reason), std::string::npos) << run.err;
    std::set<std::string> expected = {"sub"};
    if (!row.printed.empty()) {
      EXPECT_EQ(run.out, Path("out/" + row.printed) + "\n");
      expected.insert(row.printed);
    }
    EXPECT_EQ(EntriesUnder(Path("out")), expected);
    EXPECT_EQ(EntriesUnder(Path("runtime")), std::set<std::string>{});
    EXPECT_EQ(FileIdentity(document), identity);
    unlink(document.c_str());  // the sparse one claims 2 GiB
    if (!row.printed.empty()) unlink(Path("out/" + row.printed).c_str());
  }

  // The PNG beside the name asked for never replaces a file of its own.
  const std::string document = WriteHostileDocument(Path("docs"), HexPreviewDocument());
  Write("out/sub/pic.png", std::string("mine"));
  const CliRun refused = Cli({"extract", document, Path("out/sub/pic")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("a file of that name exists already"), std::string::npos) << refused.err;
  EXPECT_EQ(Slurp(Path("out/sub/pic.png")), "mine");
  EXPECT_EQ(EntriesUnder(Path("out")), (std::set<std::string>{"sub", "sub/pic.png"}));
}

}  // namespace
}  // namespace glimpses

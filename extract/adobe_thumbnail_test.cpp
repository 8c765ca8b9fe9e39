#include "extract/adobe_thumbnail.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/document_kind.h"
#include "base/file_util.h"
#include "extract/bytes.h"
#include "extract/hex_preview.h"
#include "samples/adobe_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// The route whose picture was written, as the front end writes it.
ExtractRoute RouteOf(const std::string& documentPath, const std::string& outputPath) {
  if (!IsAdobeKind(KindOfName(documentPath, NameUse::kRead))) return ExtractRoute::kNone;
  PictureRead read = ReadAdobePicture(documentPath);
  return read.picture ? WriteStoredPicture(*read.picture, outputPath).route : ExtractRoute::kNone;
}

constexpr std::size_t kMiB = 1 << 20;
const std::string kInddMagic("\x06\x06\xED\xF5", 4);

std::string Str(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes TestJpeg(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
  while (jpeg.size() + 2 < size) jpeg.push_back(static_cast<std::uint8_t>(rng()));
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

std::string Element(const Bytes& jpeg) {
  return "<xmpGImg:image>" + WrappedBase64(jpeg, 76, "&#xA;") + "</xmpGImg:image>";
}

// The document bytes with `text` written at `offset` over a filler of
// printable lines.
std::string Place(std::size_t size, std::size_t offset, const std::string& text, char fill = '-') {
  std::string doc(size, fill);
  for (std::size_t i = 99; i < size; i += 100) doc[i] = '\n';
  doc.replace(offset, text.size(), text);
  doc.resize(size);
  return doc;
}

class AdobeThumbnailTest : public ScratchDirTest {
 protected:
  std::string Output(const std::string& name = "out_T.jpg") const { return (dir_ / name).string(); }
  std::string ReadOutput(const std::string& path) const {
    auto bytes = ReadWholeFile(path, 64 * kMiB);
    return bytes ? Str(*bytes) : std::string("<missing>");
  }
  // The route taken and the bytes written (XMP route) for a document.
  std::pair<ExtractRoute, std::string> Extract(const std::string& name, const std::string& bytes) {
    std::string out = Output();
    fs::remove(out);
    ExtractRoute route = RouteOf(Write(name, bytes), out);
    return {route, route == ExtractRoute::kXmp ? ReadOutput(out) : std::string()};
  }
  std::size_t FilesIn() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {})); }
};

TEST_F(AdobeThumbnailTest, RefusedNamesFoldersAndMissingFilesWriteNothing) {
  std::string doc = "%PDF-1.7\n" + Element(TestJpeg(300, 1)) + "\n";
  for (const char* name : {"plan.Ai", "plan.Pdf", "plan.iNDD", "plan.pdf.bak"}) {
    EXPECT_EQ(RouteOf(Write(name, doc), Output()), ExtractRoute::kNone) << name;
  }
  fs::create_directory(dir_ / "folder.pdf");
  EXPECT_EQ(RouteOf((dir_ / "folder.pdf").string(), Output()), ExtractRoute::kNone);
  EXPECT_EQ(RouteOf((dir_ / "missing.pdf").string(), Output()), ExtractRoute::kNone);
  EXPECT_FALSE(fs::exists(Output()));
}

TEST_F(AdobeThumbnailTest, FifoNamedLikeADocumentIsRefusedWithoutBlocking) {
  std::string path = (dir_ / "pipe.pdf").string();
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(RouteOf(path, Output()), ExtractRoute::kNone);
  EXPECT_FALSE(fs::exists(Output()));
}

TEST_F(AdobeThumbnailTest, EveryValueLayoutGivesTheWholeJpeg) {
  Bytes jpeg = TestJpeg(2000, 2);
  std::string adobe = WrappedBase64(jpeg, 76, "&#xA;");
  std::string wrapped = WrappedBase64(jpeg, 60, "\n");
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"element, &#xA; pieces", "<xmpGImg:image>" + adobe + "</xmpGImg:image>\n"},
      {"xap prefix", "<xapGImg:image>" + adobe + "</xapGImg:image>\r\n"},
      {"attribute, double quotes", "xmpGImg:image=\"" + adobe + "\"\n xmpGImg:width=\"9\"/>"},
      {"attribute, single quotes, one line", "xmpGImg:image='" + adobe + "'\n"},
      {"element, real line breaks", "<xmpGImg:image>" + wrapped + "</xmpGImg:image>\n"},
      {"element, CRLF line breaks", "<xmpGImg:image>" + WrappedBase64(jpeg, 60, "\r\n") + "</xmpGImg:image>\n"},
      {"element, break after the tag", "<xmpGImg:image>\n" + wrapped + "\n</xmpGImg:image>\n"},
      {"attribute, single quotes, wrapped", "xmpGImg:image='" + wrapped + "'\n xmpGImg:width='9'/>"},
      {"attribute, double quotes, wrapped", "xmpGImg:image=\"" + wrapped + "\"/>\n"},
      {"wrapped value cut by a NUL", "<xmpGImg:image>" + wrapped + std::string(1, '\0') + "garbage</x>"},
      {"wrapped value running to the end", "<xmpGImg:image>" + wrapped},
  };
  for (const auto& c : cases) {
    std::string doc = "%PDF-1.7\n<rdf:li>\n " + c.text;
    auto [route, written] = Extract("doc.pdf", doc);
    EXPECT_EQ(route, ExtractRoute::kXmp) << c.what;
    EXPECT_EQ(written, Str(jpeg)) << c.what;
  }
}

TEST_F(AdobeThumbnailTest, ValueEndingOnItsLineKeepsTheLineRuleBytes) {
  // On one line, what follows the closing quote is decoded too: the '/' of
  // "/>" turns a trailing group of two characters into one of three.
  Bytes jpeg = TestJpeg(301, 3);  // 301 bytes: base64 ends in "xx=="
  std::string line = "xmpGImg:image=\"" + WrappedBase64(jpeg, 76, "&#xA;") + "\"/>";
  std::string cleaned = WrappedBase64(jpeg, 76, "\n") + "\"/>";
  Bytes expected(cleaned.size());
  expected.resize(DecodeBase64(cleaned.data(), cleaned.size(), expected.data(), expected.size()));
  ASSERT_EQ(expected.size(), jpeg.size() + 1);

  auto [route, written] = Extract("doc.ai", "%PDF-1.6\n" + line + "\n");
  EXPECT_EQ(route, ExtractRoute::kXmp);
  EXPECT_EQ(written, Str(expected));
}

TEST_F(AdobeThumbnailTest, FirstOccurrenceWinsOutsideInDesign) {
  Bytes first = TestJpeg(100, 4), second = TestJpeg(120, 5);
  auto [route, written] = Extract("doc.eps", "%!PS\n" + Element(first) + "\n" + Element(second) + "\n");
  EXPECT_EQ(route, ExtractRoute::kXmp);
  EXPECT_EQ(written, Str(first));
}

TEST_F(AdobeThumbnailTest, InDesignTakesTheFirstOccurrenceWith10240BytesBeforeANul) {
  Bytes stale = TestJpeg(200, 6), current = TestJpeg(150, 7);
  for (std::size_t run : {std::size_t{10239}, std::size_t{10240}}) {
    std::string first = Element(stale) + "\n";
    std::size_t key = 64 + 3;  // the key starts after "<xm"
    std::string doc = Place(key - 3 + (run + 3), 64, first, ' ');
    doc.replace(0, 4, kInddMagic);
    doc += '\0';  // the NUL sits `run` bytes after the key's first byte
    ASSERT_EQ(doc.find('\0', key), key + run);
    doc += Element(current) + "\n" + std::string(12000, ' ');
    auto [route, written] = Extract("doc.indd", doc);
    EXPECT_EQ(route, ExtractRoute::kXmp) << run;
    EXPECT_EQ(written, Str(run == 10240 ? stale : current)) << run;
    // Without the signature the rule does not apply.
    doc.replace(0, 4, "%!PS");
    EXPECT_EQ(Extract("doc.indd", doc).second, Str(stale)) << run;
  }
}

TEST_F(AdobeThumbnailTest, InDesignOccurrenceCloseToTheEndOfTheDataIsPassedOver) {
  std::string doc = kInddMagic + std::string(100, ' ') + Element(TestJpeg(100, 8)) + std::string(5000, ' ');
  EXPECT_EQ(Extract("doc.indd", doc).first, ExtractRoute::kNone);
  EXPECT_FALSE(fs::exists(Output()));
}

TEST_F(AdobeThumbnailTest, WindowIsTheFirstMiBOrTheLastMiBOfALargeInDesignDocument) {
  // A value that runs to the end of the data: the window's last byte decides
  // how many characters the decoder sees.
  Bytes jpeg = TestJpeg(3000, 9);
  std::string value = "<xmpGImg:image>" + WrappedBase64(jpeg, 76, "\n");
  struct Case {
    std::size_t size;
    bool indd;
    std::size_t valueOffset;
    std::size_t windowStart;  // SIZE_MAX: no thumbnail expected
  } cases[] = {
      {kMiB - 1, false, kMiB - 1 - value.size(), 0},
      {kMiB, false, kMiB - value.size(), 0},
      {kMiB + 1, false, kMiB + 1 - value.size(), 0},  // the last character falls outside
      {kMiB - 1, true, kMiB - 1 - value.size() - 10240, 0},
      {kMiB, true, 8192, 0},                    // exactly 1 MiB: read from offset 0
      {kMiB + 1, true, 8192, 1},                // the window starts one byte in
      {2 * kMiB, true, 8192, SIZE_MAX},         // only in the first MiB: not seen
      {2 * kMiB, true, kMiB + kMiB / 2, kMiB},  // in the last MiB
      {3 * kMiB, false, kMiB + 100, SIZE_MAX},  // after the first MiB: not seen
      {3 * kMiB, false, kMiB - 5, SIZE_MAX},    // the key straddles the window's end
  };
  for (const auto& c : cases) {
    std::string doc = Place(c.size, c.valueOffset, value, ' ');
    if (c.indd) doc.replace(0, 4, kInddMagic);
    auto [route, written] = Extract(c.indd ? "doc.indd" : "doc.pdf", doc);
    std::string context = std::to_string(c.size) + (c.indd ? " indd" : "");
    if (c.windowStart == SIZE_MAX) {
      EXPECT_EQ(route, ExtractRoute::kNone) << context;
      continue;
    }
    std::string text = doc.substr(c.valueOffset, std::min(c.size, c.windowStart + kMiB) - c.valueOffset);
    Bytes expected(text.size());
    expected.resize(DecodeBase64(text.data() + 15, text.size() - 15, expected.data(), expected.size()));
    EXPECT_EQ(route, ExtractRoute::kXmp) << context;
    EXPECT_EQ(written, Str(expected)) << context;
    if (c.size == kMiB + 1 && !c.indd) {
      EXPECT_NE(written, Str(jpeg)) << "the last byte must stay unread";
    }
  }
}

TEST_F(AdobeThumbnailTest, XmpThumbnailWinsOverAHexPreview) {
  Bytes jpeg = TestJpeg(500, 10);
  std::string doc = Str(BuildHexPreviewAi(16, 8, true, jpeg));
  auto [route, written] = Extract("badge.ai", doc);
  EXPECT_EQ(route, ExtractRoute::kXmp);
  EXPECT_EQ(written, Str(jpeg));
  EXPECT_FALSE(fs::exists(PngSiblingPath(Output())));
}

TEST_F(AdobeThumbnailTest, EmptyValueFallsThroughToTheHexPreview) {
  std::string preview = HexPreviewText(16, 8, false);
  for (std::string empty : {"<xmpGImg:image></xmpGImg:image>\n", "<xmpGImg:image>\n</xmpGImg:image>\n",
                            "xmpGImg:image=\"\"/>\n", "<xmpGImg:image>===&#xA;</xmpGImg:image>\n"}) {
    std::string out = Output();
    fs::remove(PngSiblingPath(out));
    EXPECT_EQ(RouteOf(Write("doc.ai", "%!PS\n" + empty + preview), out), ExtractRoute::kHexPreview) << empty;
    EXPECT_FALSE(fs::exists(out)) << "an empty picture was written for " << empty;
    EXPECT_TRUE(fs::exists(PngSiblingPath(out))) << empty;
    EXPECT_EQ(RouteOf(Write("bare.ai", "%!PS\n" + empty), out), ExtractRoute::kNone) << empty;
  }
}

TEST_F(AdobeThumbnailTest, HexRouteSeesTheWholeFirstMiB) {
  // No key in the window: the preview near its end still counts, the
  // thumbnail after it does not.
  std::string doc = Place(3 * kMiB, kMiB - 20000, HexPreviewText(16, 8, true));
  doc.replace(2 * kMiB, 200, Element(TestJpeg(100, 11)));
  EXPECT_EQ(RouteOf(Write("doc.ai", doc), Output()), ExtractRoute::kHexPreview);
}

TEST_F(AdobeThumbnailTest, OutputByAbsoluteAndRelativePath) {
  Bytes jpeg = TestJpeg(400, 12);
  std::string doc = Write("doc.pdf", "%PDF\n" + Element(jpeg) + "\n");
  fs::create_directory(dir_ / "sub");
  std::string absolute = (dir_ / "sub" / "a_T.jpg").string();
  std::string relative = fs::relative(dir_ / "sub" / "r_T.jpg", fs::current_path()).string();
  ASSERT_TRUE(fs::path(relative).is_relative());
  EXPECT_EQ(RouteOf(doc, absolute), ExtractRoute::kXmp);
  EXPECT_EQ(RouteOf(doc, relative), ExtractRoute::kXmp);
  EXPECT_EQ(ReadOutput(absolute), Str(jpeg));
  EXPECT_EQ(ReadOutput((dir_ / "sub" / "r_T.jpg").string()), Str(jpeg));
}

TEST_F(AdobeThumbnailTest, UnwritableOutputGivesFalseAndLeavesNothing) {
  std::string doc = Write("doc.pdf", "%PDF\n" + Element(TestJpeg(400, 13)) + "\n");
  fs::create_directory(dir_ / "taken_T.jpg");  // a folder where the picture should go
  EXPECT_EQ(RouteOf(doc, (dir_ / "taken_T.jpg").string()), ExtractRoute::kNone);
  EXPECT_EQ(RouteOf(doc, (dir_ / "no" / "such" / "x_T.jpg").string()), ExtractRoute::kNone);
  EXPECT_EQ(FilesIn(), 2u) << "a temporary file was left behind";
}

TEST_F(AdobeThumbnailTest, ExistingOutputIsReplacedWholeOrLeftAlone) {
  std::string out = Output();
  ASSERT_TRUE(WriteFileAtomically(out, "old", 3));
  EXPECT_EQ(RouteOf(Write("none.pdf", "%PDF-1.7\nno thumbnail\n"), out), ExtractRoute::kNone);
  EXPECT_EQ(ReadOutput(out), "old");
  Bytes jpeg = TestJpeg(50, 14);
  EXPECT_EQ(RouteOf(Write("doc.pdf", Element(jpeg)), out), ExtractRoute::kXmp);
  EXPECT_EQ(ReadOutput(out), Str(jpeg));
}

TEST_F(AdobeThumbnailTest, MalformedDocumentsGiveFalse) {
  for (std::string doc :
       {std::string(), std::string("\x06\x06\xED", 3), kInddMagic, std::string("pGImg:image>"),
        std::string("pGImg:image='"), std::string(5000, '\0'), "<xmpGImg:image>" + std::string(100, '\0')}) {
    EXPECT_EQ(Extract("doc.indd", doc).first, ExtractRoute::kNone) << doc.size();
    EXPECT_EQ(Extract("doc.pdf", doc).first, ExtractRoute::kNone) << doc.size();
  }
}

TEST_F(AdobeThumbnailTest, SampleDocumentsOfEveryKindAndLayoutGiveTheirJpeg) {
  Bytes jpeg = SampleJpeg(64, 48, 1);
  const DocumentKind kinds[] = {DocumentKind::kPdf, DocumentKind::kIllustrator, DocumentKind::kEps,
                                DocumentKind::kInDesign};
  const char* names[] = {"s.pdf", "s.ai", "s.eps", "s.indd"};
  for (int k = 0; k < 4; ++k) {
    for (XmpForm form : {XmpForm::kElement, XmpForm::kAttribute, XmpForm::kWrapped, XmpForm::kSingleQuoted}) {
      AdobeSampleOptions options;
      options.kind = kinds[k];
      options.form = form;
      options.xmpOffset = 70000;
      options.totalSize = 150000;
      Bytes doc = BuildAdobeDocument(jpeg, options);
      std::string context = std::string(names[k]) + " form " + std::to_string(static_cast<int>(form));
      EXPECT_EQ(doc.size(), options.totalSize) << context;
      EXPECT_EQ(Str(doc).find("<?xpacket begin"), options.xmpOffset) << context;
      auto [route, written] = Extract(names[k], Str(doc));
      EXPECT_EQ(route, ExtractRoute::kXmp) << context;
      EXPECT_EQ(written, Str(jpeg)) << context;
    }
  }
  EXPECT_EQ(Extract("none.pdf", Str(BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 9000))).first,
            ExtractRoute::kNone);
}

// ---------------------------------------------------------------------------
// The growing reads must give exactly what one read of the whole 1 MiB window
// gives. The reference below is the rule written the plain way: read the
// window, search, take the line (or the whole wrapped value), clean with the
// regular expression, decode.

std::optional<Bytes> ReferenceThumbnail(const std::string& file) {
  bool indd = file.compare(0, 4, kInddMagic) == 0 && file.size() >= 4;
  std::size_t start = file.size() >= kMiB && indd ? file.size() - kMiB : 0;
  std::string window = file.substr(start, kMiB);
  const auto* data = reinterpret_cast<const std::uint8_t*>(window.data());

  std::optional<std::size_t> key;
  for (std::size_t from = 0;;) {
    auto hit = FindBytes(data + from, "pGImg:image", window.size() - from);
    if (!hit) break;
    std::size_t p = from + *hit;
    std::size_t nul = window.find('\0', p);
    if (!indd || (nul == std::string::npos ? window.size() : nul) - p >= 10240) {
      key = p;
      break;
    }
    from = p + 1;
  }
  if (!key) return std::nullopt;

  std::string rest = window.substr(*key);
  std::size_t lineLength = std::min(rest.find_first_of(std::string("\r\n\0", 3)), rest.size());
  std::string text = rest.substr(0, lineLength);
  char terminator = 0;
  if (rest.size() > 11 && rest[11] == '>') terminator = '<';
  if (rest.size() > 12 && rest[11] == '=' && (rest[12] == '"' || rest[12] == '\'')) terminator = rest[12];
  std::size_t valueStart = terminator == '<' ? 12 : 13;
  if (terminator && text.find(terminator, valueStart) == std::string::npos && lineLength < rest.size() &&
      rest[lineLength] != '\0') {
    std::size_t end = rest.find_first_of(std::string{terminator, '\0'}, lineLength);
    text = rest.substr(0, std::min(end, rest.size()));
  }
  static const std::regex kCleaning(R"(pGImg:image>|<\/x\wpGImg:image>|pGImg:image="|pGImg:image=')");
  text = std::regex_replace(text, kCleaning, "");
  for (std::size_t at = 0; (at = text.find("&#xA;", at)) != std::string::npos; ++at) text.replace(at, 5, "\n");
  Bytes picture(text.size());
  picture.resize(DecodeBase64(text.data(), text.size(), picture.data(), picture.size()));
  if (picture.empty()) return std::nullopt;
  return picture;
}

// Snippets holding a value in every layout, with the offset of the byte that
// should land on a read boundary.
struct Snippet {
  std::string text;
  std::vector<std::size_t> features;
};

constexpr int kSnippetKinds = 9;

Snippet MakeSnippet(std::mt19937& rng, int kind) {
  Bytes payload = TestJpeg(20 + rng() % 3000, rng());
  std::string b64Adobe = WrappedBase64(payload, 76, "&#xA;");
  std::string b64Wrapped = WrappedBase64(payload, 60, rng() % 2 ? "\n" : "\r\n");
  std::string text;
  switch (kind) {
    case 0:
      text = "<xmpGImg:image>" + b64Adobe + "</xmpGImg:image>\n";
      break;
    case 1:
      text = "<xmpGImg:image>" + b64Adobe + "</xmpGImg:image>  <x/>AB\n";
      break;
    case 2:
      text = "<xmpGImg:image>" + b64Wrapped + "</xmpGImg:image>\n";
      break;
    case 3:
      text = "xmpGImg:image=\"" + b64Adobe + "\"/>\n";
      break;
    case 4:
      text = "xmpGImg:image='" + b64Wrapped + "'\n";
      break;
    case 5:
      text = "xmpGImg:image=\"" + b64Wrapped + "\"/>\n";
      break;
    case 6:
      text = "<xmpGImg:image>\n" + b64Wrapped + "</xmpGImg:image>\n";
      break;
    case 7:
      text = "</xmpGImg:image>\n";
      break;
    default:
      text = "<xmpGImg:image>" + b64Wrapped;
      break;  // never closed
  }
  std::size_t key = text.find("pGImg:image");
  std::vector<std::size_t> features = {key, key + 5, key + 11, key + 12, text.size() - 1};
  for (char stop : {'\n', '<', '\'', '"', '&'}) {
    std::size_t at = text.find(stop, key + 12);
    if (at != std::string::npos) features.push_back(at);
  }
  return {text, features};
}

std::string RandomFiller(std::mt19937& rng, std::size_t size, bool tricky) {
  static const std::string kPlain = "ABCDEFGHJKLMNOPQRSTUVWXYZabcdefghjkmnoqrstuvwxyz0123456789+/= ";
  static const std::string kTricky = kPlain + "<<\"'\r\n&#x;";
  const std::string& alphabet = tricky ? kTricky : kPlain;
  std::string filler(size, ' ');
  for (std::size_t i = 0; i < size; ++i) {
    filler[i] = i % 97 == 96 ? '\n' : i % 4099 == 4098 ? '<' : alphabet[rng() % alphabet.size()];
  }
  return filler;
}

// One document with `snippet` placed so that its byte `feature` lands at
// `target` (counted from the window's start); true when it was compared.
struct EdgeCase {
  int round;
  std::size_t edge;
  std::size_t target;
  std::size_t feature;
};

class GrowingReadsTest : public AdobeThumbnailTest {
 protected:
  void Check(std::mt19937& rng, const Snippet& snippet, const EdgeCase& c) {
    bool indd = c.round % 4 == 3;
    bool largeIndd = indd && c.round % 8 == 7;
    if (c.target < c.feature + 40) return;
    std::size_t at = c.target - c.feature;
    std::size_t windowStart = largeIndd ? 1000 + rng() % 5000 : 0;
    std::size_t size = std::max<std::size_t>(at + snippet.text.size() + rng() % 3 * (rng() % 12000), 16);
    if (c.round % 5 == 0) size = std::min(size, c.edge);  // a document that ends on the boundary
    size = std::max(size, at + 1);
    if (largeIndd) {
      if (at >= kMiB) return;
      size = kMiB + windowStart;  // the window starts at windowStart
    }
    std::string doc = RandomFiller(rng, size, c.round % 3 == 0);
    doc.replace(windowStart + at, snippet.text.size(), snippet.text);
    doc.resize(size);
    std::size_t key = windowStart + at + snippet.text.find("pGImg:image");
    if (indd) {
      doc.replace(0, 4, kInddMagic);
      // A NUL where the 10,240-byte rule is decided, and a later candidate.
      std::size_t nul = key + 10238 + rng() % 5;
      if (c.round % 2 == 1 && nul < size) doc[nul] = '\0';
      std::string later = Element(TestJpeg(200, rng())) + "\n";
      std::size_t laterAt = key + 4000 + rng() % 20000;
      if (laterAt < size) doc.replace(laterAt, later.size(), later);
      doc.resize(size);
    } else if (c.round % 6 == 1 && key + snippet.text.size() / 2 < size) {
      doc[key + snippet.text.size() / 2] = '\0';
    }
    auto expected = ReferenceThumbnail(doc);
    auto [route, written] = Extract(indd ? "doc.indd" : "doc.pdf", doc);
    std::string context = "edge " + std::to_string(c.edge) + " round " + std::to_string(c.round) + " size " +
                          std::to_string(size) + " at " + std::to_string(at) + " feature " + std::to_string(c.feature);
    ++compared_;
    if (!expected) {
      EXPECT_EQ(route, ExtractRoute::kNone) << context;
      return;
    }
    ++found_;
    EXPECT_EQ(route, ExtractRoute::kXmp) << context;
    EXPECT_EQ(written, Str(*expected)) << context;
  }

  int compared_ = 0;
  int found_ = 0;
};

TEST_F(GrowingReadsTest, EveryLayoutAndFeatureOnTheFirstBoundaries) {
  std::mt19937 rng(20240611);
  int round = 0;
  for (std::size_t edge : {kAdobeFirstReadSize, 2 * kAdobeFirstReadSize}) {
    for (int kind = 0; kind < kSnippetKinds; ++kind) {
      Snippet snippet = MakeSnippet(rng, kind);
      for (std::size_t feature : snippet.features) {
        for (std::size_t target : {edge - 1, edge, edge + 1}) {
          Check(rng, snippet, {round++, edge, target, feature});
          if (HasFailure()) return;
        }
      }
    }
  }
  EXPECT_GT(found_, compared_ / 2);
}

TEST_F(GrowingReadsTest, RandomLayoutsOnTheLaterBoundaries) {
  std::mt19937 rng(7);
  for (std::size_t edge : {4 * kAdobeFirstReadSize, 8 * kAdobeFirstReadSize, kMiB}) {
    for (int round = 0; round < 24; ++round) {
      Snippet snippet = MakeSnippet(rng, static_cast<int>(rng() % kSnippetKinds));
      std::size_t feature = snippet.features[rng() % snippet.features.size()];
      Check(rng, snippet, {round, edge, edge + rng() % 9 - 4, feature});
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(compared_, 60);
  EXPECT_GT(found_, compared_ / 2);
}

}  // namespace
}  // namespace glimpses

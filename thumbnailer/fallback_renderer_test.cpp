#include "thumbnailer/fallback_renderer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "extract/image.h"
#include "samples/adobe_samples.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"
#include "thumbnailer/thumbnailer.h"

namespace glimpses {
namespace {

// A one-page PDF with a red square and no stored thumbnail, with a correct
// cross-reference table, that any renderer draws.
std::string PlainPdf() {
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
      "<< /Length 32 >>\nstream\n1 0 0 rg 10 10 80 80 re f\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < std::size(objects); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 5\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

class FallbackTest : public ScratchDirTest {
 protected:
  // A stand-in renderer: a shell script whose body gets the arguments
  // "-s SIZE INPUT OUTPUT" as $1 to $4.
  FallbackRenderer Script(const std::string& body, int timeoutMs = 10000) {
    std::string path = Write("renderer.sh", "#!/bin/sh\n" + body + "\n");
    EXPECT_EQ(chmod(path.c_str(), 0755), 0);
    return FallbackRenderer{path, timeoutMs};
  }

  ThumbnailResult Thumbnail(const std::string& document, const FallbackRenderer& renderer) {
    ThumbnailRequest request;
    request.documentPath = Path(document);
    request.outputPath = Path("out.png");
    request.size = 128;
    request.renderer = renderer;
    return WriteThumbnail(request);
  }
};

TEST_F(FallbackTest, DocumentWithoutPictureGetsTheRenderersPng) {
  Write("page.png", *SamplePngFile(30, 20));
  Write("plain.pdf", BuildDocumentWithoutThumbnail(DocumentKind::kPdf, 5000));
  ThumbnailResult result = Thumbnail("plain.pdf", Script("cp '" + Path("page.png") + "' \"$4\""));
  ASSERT_EQ(result.status, ThumbnailStatus::kWritten) << result.message;
  // The picture fits already: its pixels arrive unchanged.
  CImage drawn, delivered;
  ASSERT_EQ(drawn.LoadFromFile(Path("page.png")), ImageStatus::kOk);
  ASSERT_EQ(delivered.LoadFromFile(Path("out.png")), ImageStatus::kOk);
  ASSERT_EQ(delivered.Width(), 30);
  ASSERT_EQ(delivered.Height(), 20);
  for (int y = 0; y < 20; ++y) EXPECT_TRUE(std::equal(drawn.Row(y), drawn.Row(y) + 30 * 3, delivered.Row(y))) << y;
  EXPECT_EQ(Names(), (std::set<std::string>{"page.png", "plain.pdf", "renderer.sh", "out.png"}));
}

TEST_F(FallbackTest, RendererFailuresLeaveNoOutput) {
  Write("plain.ai", BuildDocumentWithoutThumbnail(DocumentKind::kIllustrator, 5000));
  Write("out.png", std::string("earlier"));
  struct Case {
    const char* name;
    std::string body;
    int timeoutMs;
  } cases[] = {
      {"exits 1", "exit 1", 10000},
      {"writes garbage", "echo nonsense > \"$4\"", 10000},
      {"writes a PNG but fails", "cp '" + Path("page.png") + "' \"$4\"; exit 3", 10000},
      {"hangs, with a child", "sleep 60 & wait", 200},
      {"removes its output", "rm -f \"$4\"", 10000},
  };
  Write("page.png", *SamplePngFile(30, 20));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ThumbnailResult result = Thumbnail("plain.ai", Script(c.body, c.timeoutMs));
    EXPECT_EQ(result.status, ThumbnailStatus::kNoPicture);
    EXPECT_EQ(ReadWholeFile(Path("out.png"), 100), (Bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(Names(), (std::set<std::string>{"page.png", "plain.ai", "renderer.sh", "out.png"}));
  }
}

TEST_F(FallbackTest, RendererIsAskedOnlyForItsKindsWithoutAPicture) {
  // This renderer would give a 1 x 1 picture: any other size proves it was not asked.
  Write("dot.png", *SamplePngFile(1, 1));
  FallbackRenderer renderer = Script("cp '" + Path("dot.png") + "' \"$4\"");
  Write("plan.ai", [] {
    AdobeSampleOptions options{DocumentKind::kIllustrator};
    return BuildAdobeDocument(SampleJpeg(64, 32, 1), options);
  }());
  ASSERT_EQ(Thumbnail("plan.ai", renderer).status, ThumbnailStatus::kWritten);
  CImage stored;
  ASSERT_EQ(stored.LoadFromFile(Path("out.png")), ImageStatus::kOk);
  EXPECT_EQ(stored.Width(), 64);

  Write("bare.indd", BuildDocumentWithoutThumbnail(DocumentKind::kInDesign, 20000));
  Write("bare.cdr", BuildCorelRiff(1300, {}));
  EXPECT_EQ(Thumbnail("bare.indd", renderer).status, ThumbnailStatus::kNoPicture);
  EXPECT_EQ(Thumbnail("bare.cdr", renderer).status, ThumbnailStatus::kNoPicture);
}

// A shell line that starts `sleep 60` through `launcher` (empty, or
// "setsid"), with the sleeper's own pid recorded in `pidFile`, and waits
// until it is recorded.
std::string LeaveSleeper(const std::string& launcher, const std::string& pidFile) {
  return launcher + " sh -c 'echo $$ > " + pidFile + "; exec sleep 60' & until [ -s " + pidFile +
         " ]; do sleep 0.01; done; ";
}

// A 4096 x 4096 picture of one colour, the largest a picture may be: small
// as a file, huge as pixels.
Bytes HugePng() {
  CImage image;
  EXPECT_TRUE(image.Create(4096, 4096, 1));
  image.Palette() = {PaletteEntry{0, 0, 255, 0}, PaletteEntry{}};
  return image.Encode(ImageFormat::kPng).value_or(Bytes{});
}

// Whatever the renderer does, it runs within its limits, nothing it started
// survives it, and what reaches OUTPUT fits the size asked for.
TEST_F(FallbackTest, RendererIsContained) {
  Write("plain.eps", BuildDocumentWithoutThumbnail(DocumentKind::kEps, 5000));
  Write("page.png", *SamplePngFile(30, 20));
  Write("huge.png", HugePng());
  const std::string deliver = "cp '" + Path("page.png") + "' \"$4\"";
  const std::string sleeper = Path("sleeper.pid");
  struct Case {
    const char* name;
    std::string body;
    int timeoutMs;
    int edge;  // of the delivered picture; 0 for none
  } cases[] = {
      // Delivers only when allocating 2 GB, 128 KB at a time, failed.
      {"allocates in a loop",
       "awk 'BEGIN { s = \"x\"; for (k = 0; k < 17; k++) s = s s; while (i < 16384) a[i++] = s i }' 2>/dev/null && "
       "exit 1; " +
           deliver,
       60000, 30},
      {"leaves a child running", LeaveSleeper("", sleeper) + deliver, 10000, 30},
      {"leaves a setsid child running", LeaveSleeper("setsid", sleeper) + deliver, 10000, 30},
      {"hangs after starting a setsid child", LeaveSleeper("setsid", sleeper) + "sleep 60", 1000, 0},
      {"writes a 4096 x 4096 PNG", "cp '" + Path("huge.png") + "' \"$4\"", 10000, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ThumbnailResult result = Thumbnail("plain.eps", Script(c.body, c.timeoutMs));
    std::set<std::string> expected = {"plain.eps", "page.png", "huge.png", "renderer.sh"};
    auto pid = ReadWholeFile(sleeper, 64);
    ASSERT_EQ(pid.has_value(), c.body.find(sleeper) != std::string::npos);
    if (pid) {
      const pid_t sleeperPid = std::stoi(std::string(pid->begin(), pid->end()));
      EXPECT_TRUE(kill(sleeperPid, 0) != 0 && errno == ESRCH) << "pid " << sleeperPid << " survived";
      unlink(sleeper.c_str());
    }
    if (c.edge == 0) {
      EXPECT_EQ(result.status, ThumbnailStatus::kNoPicture);
    } else {
      ASSERT_EQ(result.status, ThumbnailStatus::kWritten) << result.message;
      CImage delivered;
      ASSERT_EQ(delivered.LoadFromFile(Path("out.png")), ImageStatus::kOk);
      EXPECT_EQ(std::max(delivered.Width(), delivered.Height()), c.edge);
      expected.insert("out.png");
    }
    EXPECT_EQ(Names(), expected);
    unlink(Path("out.png").c_str());
  }
}

TEST_F(FallbackTest, InstalledEvinceDrawsAnIllustratorPdfWithoutPicture) {
  auto renderer = FindInstalledRenderer();
  if (!renderer) GTEST_SKIP() << "evince-thumbnailer is not installed";
  Write("plain.ai", PlainPdf());
  ThumbnailResult result = Thumbnail("plain.ai", *renderer);
  ASSERT_EQ(result.status, ThumbnailStatus::kWritten) << result.message;
  CImage page;
  ASSERT_EQ(page.LoadFromFile(Path("out.png")), ImageStatus::kOk);
  EXPECT_EQ(page.Width(), 128);
}

}  // namespace
}  // namespace glimpses

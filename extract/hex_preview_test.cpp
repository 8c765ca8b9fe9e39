#include "extract/hex_preview.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "extract/image.h"
#include "extract/stored_picture.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// Entry i of the test palette: red i, green 255 - i, blue 7i.
Bytes PaletteEntry3(int i) { return {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)}; }

Bytes TestPalette() {
  Bytes palette;
  for (int i = 0; i < 256; ++i) {
    Bytes e = PaletteEntry3(i);
    palette.insert(palette.end(), e.begin(), e.end());
  }
  return palette;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Hex lines as Illustrator writes them: '%' first, then up to 64 digits.
std::string HexLines(const Bytes& bytes, bool lowerCase = false, const char* lineBreak = "\n") {
  const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 32 == 0) text += i ? std::string(lineBreak) + "%" : "%";
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text + lineBreak;
}

std::string PreviewDocument(int width, int height, const std::string& hexText, std::string prefix = "") {
  return "%!PS-Adobe-3.0\n%%Creator: test\n" + prefix + "%AI7_Thumbnail: " + std::to_string(width) + " " +
         std::to_string(height) + " 8\n%%BeginData: " + std::to_string(hexText.size()) + " Hex Bytes\n" + hexText +
         "%%EndData\n%%EndComments\n";
}

// Palette indices `index(x, y)`, run-length coded row by row when asked.
Bytes PreviewBytes(int width, int height, int (*index)(int, int), bool runLength) {
  Bytes bytes = TestPalette();
  if (runLength) bytes.insert(bytes.end(), {'R', 'L', 'E'});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width;) {
      int run = 1;
      while (runLength && x + run < width && run < 252 && index(x + run, y) == index(x, y)) ++run;
      std::uint8_t i = static_cast<std::uint8_t>(index(x, y));
      if (run > 1) {
        bytes.insert(bytes.end(), {0xFD, std::uint8_t(run), i});
      } else if (i == 0xFD && runLength) {
        bytes.insert(bytes.end(), {0xFD, 0xFD});
      } else {
        bytes.push_back(i);
      }
      x += run;
    }
  }
  return bytes;
}

int Diagonal(int x, int y) { return (x + y) % 256; }
int RowBands(int x, int y) { return x < 100 ? y : 0xFD; }

class HexPreviewTest : public ScratchDirTest {
 protected:
  bool Extract(const std::string& document, const std::string& outputName = "plan.ai_T.jpg") const {
    auto image = FindHexPreview(reinterpret_cast<const std::uint8_t*>(document.data()), document.size());
    return image && WriteStoredPicture({ExtractRoute::kHexPreview, {}, std::move(*image)}, Path(outputName)).written();
  }
  // Checks the PNG shows palette entry index(x, y) at every pixel.
  void ExpectPicture(const std::string& name, int width, int height, int (*index)(int, int)) const {
    CImage image;
    ASSERT_EQ(image.LoadFromFile(Path(name)), ImageStatus::kOk) << name;
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    ASSERT_EQ(image.BitsPerPixel(), 24);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* p = image.Row(y) + 3 * x;
        ASSERT_EQ(Bytes({p[2], p[1], p[0]}), PaletteEntry3(index(x, y))) << name << " at " << x << "," << y;
      }
    }
  }
};

TEST(HexPreviewCodes, DecodeHexDigits) {
  const std::pair<std::string, Bytes> cases[] = {
      {"00FF7a", {0x00, 0xFF, 0x7A}},
      {"%4142\r\n%43", {0x41, 0x42, 0x43}},  // '%' and line breaks are not digits
      {"abcdef", {0xAB, 0xCD, 0xEF}},
      {"ABC", {0xAB}},    // odd last digit dropped
      {"4 1g2", {0x41}},  // a digit pair may straddle skipped bytes
      {std::string("1\0002", 3), {0x12}},
      {"xyz%", {}},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(DecodeHexDigits(text), bytes) << text;
}

TEST(HexPreviewCodes, ExpandPalettePixels) {
  const Bytes palette = TestPalette();
  auto pixelsOf = [](std::initializer_list<int> indices) {
    Bytes out;
    for (int i : indices) out = Concat(out, PaletteEntry3(i));
    return out;
  };
  const std::pair<const char*, std::pair<Bytes, Bytes>> cases[] = {
      {"plain indices", {{1, 2, 0xFD}, pixelsOf({1, 2, 0xFD})}},
      {"'RL' alone is two indices", {{'R', 'L'}, pixelsOf({'R', 'L'})}},
      {"marker only", {{'R', 'L', 'E'}, {}}},
      {"FD FD", {{'R', 'L', 'E', 0xFD, 0xFD, 9}, pixelsOf({0xFD, 9})}},
      {"FD n i", {{'R', 'L', 'E', 0xFD, 5, 7}, pixelsOf({7, 7, 7, 7, 7})}},
      {"FD 0 i gives nothing", {{'R', 'L', 'E', 0xFD, 0, 7, 3}, pixelsOf({3})}},
      {"FD at the end", {{'R', 'L', 'E', 1, 2, 0xFD}, {}}},
      {"FD n at the end", {{'R', 'L', 'E', 1, 0xFD, 5}, {}}},
      {"FD FD at the end is whole", {{'R', 'L', 'E', 0xFD, 0xFD}, pixelsOf({0xFD})}},
  };
  for (const auto& [name, io] : cases)
    EXPECT_EQ(ExpandPalettePixels(Concat(palette, io.first), SIZE_MAX), io.second) << name;
  EXPECT_TRUE(ExpandPalettePixels(Bytes(767, 1), SIZE_MAX).empty());
  EXPECT_TRUE(ExpandPalettePixels(palette, SIZE_MAX).empty());
  // The bounded form stops a long run before it outgrows the picture.
  Bytes longRun = Concat(palette, {'R', 'L', 'E', 0xFD, 200, 1});
  EXPECT_EQ(ExpandPalettePixels(longRun, 600).size(), 600u);
  EXPECT_TRUE(ExpandPalettePixels(longRun, 599).empty());
  EXPECT_TRUE(ExpandPalettePixels(Concat(palette, {1, 2, 3}), 8).empty());
}

TEST_F(HexPreviewTest, PreviewsBecomePngsWithoutSkew) {
  struct Case {
    const char* name;
    int width, height;
    int (*index)(int, int);
    bool runLength, lowerCase;
    const char* lineBreak;
  };
  const Case cases[] = {
      {"128 x 96 run-length coded", 128, 96, RowBands, true, false, "\n"},
      {"width 105 pads each bitmap row", 105, 3, Diagonal, false, false, "\n"},
      {"width 105 run-length coded", 105, 4, RowBands, true, false, "\r\n"},
      {"lower-case digits, CR LF lines", 33, 5, Diagonal, false, true, "\r\n"},
      {"one pixel", 1, 1, Diagonal, true, true, "\r"},
  };
  for (const auto& c : cases) {
    std::string hex = HexLines(PreviewBytes(c.width, c.height, c.index, c.runLength), c.lowerCase, c.lineBreak);
    ASSERT_TRUE(Extract(PreviewDocument(c.width, c.height, hex))) << c.name;
    EXPECT_EQ(Names(), std::set<std::string>{"plan.ai_T.png"}) << c.name;  // nothing else, the .jpg name unused
    ExpectPicture("plan.ai_T.png", c.width, c.height, c.index);
    fs::remove(Path("plan.ai_T.png"));
  }
}

TEST_F(HexPreviewTest, FirstHexBytesInTheDataIsTaken) {
  std::string wanted = HexLines(PreviewBytes(4, 2, Diagonal, false));
  std::string other = HexLines(PreviewBytes(4, 2, RowBands, false));
  std::string early = "%%BeginData: " + std::to_string(wanted.size()) + " Hex Bytes\n" + wanted;
  ASSERT_TRUE(Extract(PreviewDocument(4, 2, other, early)));
  ExpectPicture("plan.ai_T.png", 4, 2, Diagonal);
}

TEST_F(HexPreviewTest, CountBeyondTheDataIsCutAtItsEnd) {
  std::string hex = HexLines(PreviewBytes(6, 2, Diagonal, false));
  std::string document = "%AI7_Thumbnail: 6 2 8\n%%BeginData: 999999 Hex Bytes\n" + hex;
  ASSERT_TRUE(Extract(document));
  ExpectPicture("plan.ai_T.png", 6, 2, Diagonal);
}

TEST_F(HexPreviewTest, IncompleteOrBadPreviewWritesNothing) {
  const std::string good = HexLines(PreviewBytes(8, 4, Diagonal, false));
  const std::string header = "%AI7_Thumbnail: 8 4 8\n%%BeginData: " + std::to_string(good.size()) + " Hex Bytes\n";
  auto withHeader = [&](const std::string& h) { return h + "%%BeginData: 9999 Hex Bytes\n" + good; };
  const std::pair<const char*, std::string> cases[] = {
      {"one row short", PreviewDocument(8, 5, good)},
      {"one row too many", PreviewDocument(8, 3, good)},
      {"truncated code FD", PreviewDocument(1, 1, HexLines(Concat(TestPalette(), {'R', 'L', 'E', 1, 0xFD})))},
      {"truncated code FD 05", PreviewDocument(1, 1, HexLines(Concat(TestPalette(), {'R', 'L', 'E', 1, 0xFD, 5})))},
      {"palette cut short", PreviewDocument(1, 1, HexLines(Bytes(700, 1)))},
      {"no marker", withHeader("%AI8_Thumbnail: 8 4 8\n")},
      {"no Hex Bytes", "%AI7_Thumbnail: 8 4 8\n%%BeginData: 99 Hex\n" + good},
      {"header with no numbers", withHeader("%AI7_Thumbnail: abc def\n")},
      {"header cut after the height", "%AI7_Thumbnail: 8 4"},
      {"no count", "%AI7_Thumbnail: 8 4 8\n%%BeginData: Hex Bytes\n" + good},
      {"negative count", withHeader("%AI7_Thumbnail: 8 4 8\n%%BeginData: -5 Hex Bytes\n")},
      {"zero width", PreviewDocument(0, 4, good)},
      {"negative height", PreviewDocument(8, -4, good)},
      {"width past int", withHeader("%AI7_Thumbnail: 4294967304 4 8\n")},
      {"width x height x 3 past 32 bits", withHeader("%AI7_Thumbnail: 40000 40000 8\n")},
      {"NUL inside the header", withHeader(std::string("%AI7_Thumbnail: 8\0 4 8\n", 23))},
      {"marker word over 63 bytes", withHeader("%AI7_Thumbnail:" + std::string(60, 'x') + " 8 4 8\n")},
      {"Hex Bytes at the very end", header.substr(0, header.size() - 1)},
  };
  for (const auto& [name, document] : cases) {
    EXPECT_FALSE(Extract(document)) << name;
    EXPECT_TRUE(Names().empty()) << name;
  }
  // The marker itself may be longer than the document holds.
  EXPECT_FALSE(FindHexPreview(reinterpret_cast<const std::uint8_t*>("%AI7_Thumb"), 10));
  EXPECT_FALSE(FindHexPreview(nullptr, 0));
}

TEST_F(HexPreviewTest, NeverTouchesOtherFilesBesideTheOutput) {
  // Files a user may have with the names the old temporary files had.
  const Bytes mine = {'m', 'i', 'n', 'e'};
  for (const char* name : {"tmpBmp.bmp", "plan.ai_T.bmp", "plan.ai_T.jpg"}) {
    ASSERT_TRUE(WriteFileAtomically(Path(name), mine.data(), mine.size()));
  }
  std::string hex = HexLines(PreviewBytes(9, 9, Diagonal, true));
  ASSERT_TRUE(Extract(PreviewDocument(9, 9, hex)));
  ASSERT_FALSE(Extract(PreviewDocument(9, 10, hex), "other_T.jpg"));
  EXPECT_EQ(Names(), (std::set<std::string>{"tmpBmp.bmp", "plan.ai_T.bmp", "plan.ai_T.jpg", "plan.ai_T.png"}));
  for (const char* name : {"tmpBmp.bmp", "plan.ai_T.bmp", "plan.ai_T.jpg"})
    EXPECT_EQ(ReadWholeFile(Path(name), 100), mine);
}

}  // namespace
}  // namespace glimpses

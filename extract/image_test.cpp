#include "extract/image.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <tuple>

#include "extract/png_codec.h"
#include "samples/corel_samples.h"
#include "samples/scratch_dir.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Rgba&) const = default;
};

// A picture as the eye sees it, top row first: what every decoder must give back.
struct Truth {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  const Rgba& At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Truth MakeTruth(int width, int height, const std::function<Rgba(int, int)>& pixel) {
  Truth t{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) t.pixels.push_back(pixel(x, y));
  return t;
}

std::vector<Rgba> TestPalette(int count) {
  std::vector<Rgba> palette;
  for (int i = 0; i < count; ++i) {
    palette.push_back({std::uint8_t(i * 37 + 5), std::uint8_t(255 - i), std::uint8_t(i * 91 + 17), 255});
  }
  return palette;
}

int IndexAt(int x, int y, int colours) { return (x + 2 * y) % colours; }

// ---- BMP files built by hand, independent of our own writer ----

enum class BmpHeader { kInfo, kCore, kV4Alpha, kInfoBitfields565 };

struct BmpCase {
  const char* name;
  int bits;
  int width, height;
  bool topDown;
  BmpHeader header;
};

// Builds the BMP of a pattern picture and returns it with the truth it shows.
std::pair<Bytes, Truth> BuildBmp(const BmpCase& c) {
  const int colours = c.bits <= 8 ? 1 << c.bits : 0;
  std::vector<Rgba> palette = TestPalette(colours);
  Truth truth = MakeTruth(c.width, c.height, [&](int x, int y) -> Rgba {
    if (colours) return palette[static_cast<std::size_t>(IndexAt(x, y, colours))];
    if (c.bits == 16 && c.header == BmpHeader::kInfoBitfields565) {
      unsigned r = (x * 3) & 31, g = (y * 9 + x) & 63, b = (x + y) & 31;
      return {std::uint8_t((r * 255 + 15) / 31), std::uint8_t((g * 255 + 31) / 63), std::uint8_t((b * 255 + 15) / 31),
              255};
    }
    if (c.bits == 16) {
      unsigned r = (x * 3) & 31, g = (y * 5) & 31, b = (x + y) & 31;
      auto widen = [](unsigned v) { return std::uint8_t(v << 3 | v >> 2); };
      return {widen(r), widen(g), widen(b), 255};
    }
    std::uint8_t alpha = c.header == BmpHeader::kV4Alpha ? std::uint8_t(x * 50 + y) : 255;
    return {std::uint8_t(x * 40), std::uint8_t(y * 60 + 1), std::uint8_t(x * y + 7), alpha};
  });

  const bool core = c.header == BmpHeader::kCore;
  const std::size_t headerSize = core ? 12 : c.header == BmpHeader::kV4Alpha ? 108 : 40;
  const std::size_t extra = c.header == BmpHeader::kInfoBitfields565 ? 12 : 0;
  const std::size_t tableSize = static_cast<std::size_t>(colours) * (core ? 3 : 4);
  const std::size_t stride = (static_cast<std::size_t>(c.width) * c.bits + 31) / 32 * 4;
  const std::size_t offset = 14 + headerSize + extra + tableSize;
  Bytes b = {'B', 'M'};
  AppendLe32(b, static_cast<std::uint32_t>(offset + stride * c.height));
  AppendLe32(b, 0);
  AppendLe32(b, static_cast<std::uint32_t>(offset));
  AppendLe32(b, static_cast<std::uint32_t>(headerSize));
  if (core) {
    for (int v : {c.width, c.height, 1, c.bits}) AppendLe16(b, static_cast<std::uint16_t>(v));
  } else {
    AppendLe32(b, static_cast<std::uint32_t>(c.width));
    AppendLe32(b, static_cast<std::uint32_t>(c.topDown ? -c.height : c.height));
    AppendLe16(b, 1);
    AppendLe16(b, static_cast<std::uint16_t>(c.bits));
    AppendLe32(b, c.header == BmpHeader::kInfo ? 0 : 3);
    for (int i = 0; i < 5; ++i) AppendLe32(b, 0);
    if (c.header == BmpHeader::kV4Alpha) {
      for (std::uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) AppendLe32(b, m);
      b.resize(14 + 108, 0);
    }
    if (c.header == BmpHeader::kInfoBitfields565) AppendLe32(b, 0xF800), AppendLe32(b, 0x07E0), AppendLe32(b, 0x001F);
  }
  for (const Rgba& p : palette) {
    b.insert(b.end(), {p.b, p.g, p.r});
    if (!core) b.push_back(0);
  }
  for (int row = 0; row < c.height; ++row) {
    int y = c.topDown ? row : c.height - 1 - row;
    Bytes line(stride, 0);
    for (int x = 0; x < c.width; ++x) {
      const Rgba& p = truth.At(x, y);
      if (colours) {
        int perByte = 8 / c.bits;
        line[x / perByte] |= std::uint8_t(IndexAt(x, y, colours) << (8 - c.bits * (x % perByte + 1)));
      } else if (c.bits == 16) {
        unsigned v = c.header == BmpHeader::kInfoBitfields565
                         ? ((x * 3) & 31) << 11 | ((y * 9 + x) & 63) << 5 | ((x + y) & 31)
                         : ((x * 3) & 31) << 10 | ((y * 5) & 31) << 5 | ((x + y) & 31);
        line[2 * x] = std::uint8_t(v), line[2 * x + 1] = std::uint8_t(v >> 8);
      } else {
        std::uint8_t* o = &line[static_cast<std::size_t>(x) * (c.bits / 8)];
        o[0] = p.b, o[1] = p.g, o[2] = p.r;
        if (c.bits == 32) o[3] = c.header == BmpHeader::kV4Alpha ? p.a : 0x5A;  // junk in the unused byte
      }
    }
    b.insert(b.end(), line.begin(), line.end());
  }
  return {b, truth};
}

// ---- PNG files written and read with libpng directly ----

struct PngFacts {
  int colorType = -1, bitDepth = 0;
  bool interlaced = false, hasTrns = false;
  std::vector<Rgba> palette;
  Truth truth;  // pixels as RGBA, through libpng's simplified reader
};

std::optional<PngFacts> ReadPngFacts(const std::string& path) {
  PngFacts facts;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return std::nullopt;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  facts.colorType = png_get_color_type(png, info);
  facts.bitDepth = png_get_bit_depth(png, info);
  facts.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  facts.hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_colorp entries;
  int count = 0;
  if (png_get_PLTE(png, info, &entries, &count)) {
    for (int i = 0; i < count; ++i) facts.palette.push_back({entries[i].red, entries[i].green, entries[i].blue, 255});
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  facts.truth.width = static_cast<int>(image.width);
  facts.truth.height = static_cast<int>(image.height);
  facts.truth.pixels.resize(image.width * image.height);
  if (!png_image_finish_read(&image, nullptr, facts.truth.pixels.data(), 0, nullptr)) return std::nullopt;
  return facts;
}

struct PngLayout {
  int colorType, bitDepth;
  bool interlaced = false;
  std::vector<png_color> palette;
  Bytes trns;
  std::vector<Bytes> rows;
  int width = 0, height = 0;
};

void AppendToBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes WritePng(PngLayout& layout) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendToBytes, nullptr);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colorType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  png_color_16 key{};
  if (!layout.trns.empty() && layout.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_tRNS(png, info, layout.trns.data(), static_cast<int>(layout.trns.size()), nullptr);
  } else if (!layout.trns.empty()) {
    key.red = layout.trns[0], key.green = layout.trns[1], key.blue = layout.trns[2], key.gray = layout.trns[0];
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& r : layout.rows) rows.push_back(r.data());
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- fixture ----

class ImageTest : public ScratchDirTest {
 protected:
  Bytes Read(const std::string& name) const { return ReadWholeFile(Path(name), 1 << 30).value_or(Bytes{}); }
};

// A picture file in any format the service reads, saved in the one its name
// asks for: what the extractors do with a stored picture.
bool Convert(const std::string& sourcePath, const std::string& targetPath) {
  CImage image;
  return image.LoadFromFile(sourcePath) == ImageStatus::kOk && image.SaveToFile(targetPath) == ImageStatus::kOk;
}

void ExpectSamePixels(const Truth& expected, const Truth& actual, const std::string& what) {
  ASSERT_EQ(expected.width, actual.width) << what;
  ASSERT_EQ(expected.height, actual.height) << what;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const Rgba &e = expected.At(x, y), &a = actual.At(x, y);
      ASSERT_TRUE(e == a) << what << " at " << x << "," << y << ": expected " << int(e.r) << "," << int(e.g) << ","
                          << int(e.b) << "," << int(e.a) << " got " << int(a.r) << "," << int(a.g) << "," << int(a.b)
                          << "," << int(a.a);
    }
  }
}

TEST_F(ImageTest, BmpOfEveryDepthConvertsToPngWithSamePixels) {
  struct Expect {
    BmpCase bmp;
    int colorType, bitDepth;
  };
  const Expect cases[] = {
      {{"1-bit, odd width", 1, 13, 3, false, BmpHeader::kInfo}, PNG_COLOR_TYPE_PALETTE, 1},
      {{"4-bit, top-down", 4, 5, 4, true, BmpHeader::kInfo}, PNG_COLOR_TYPE_PALETTE, 4},
      {{"8-bit, 256 colours", 8, 17, 16, false, BmpHeader::kInfo}, PNG_COLOR_TYPE_PALETTE, 8},
      {{"8-bit, core header", 8, 6, 5, false, BmpHeader::kCore}, PNG_COLOR_TYPE_PALETTE, 8},
      {{"16-bit 5-5-5", 16, 7, 3, false, BmpHeader::kInfo}, PNG_COLOR_TYPE_RGB, 8},
      {{"16-bit 5-6-5 bitfields", 16, 9, 4, false, BmpHeader::kInfoBitfields565}, PNG_COLOR_TYPE_RGB, 8},
      {{"24-bit, row padding", 24, 5, 3, false, BmpHeader::kInfo}, PNG_COLOR_TYPE_RGB, 8},
      {{"24-bit, top-down", 24, 3, 4, true, BmpHeader::kInfo}, PNG_COLOR_TYPE_RGB, 8},
      {{"32-bit without alpha", 32, 4, 3, false, BmpHeader::kInfo}, PNG_COLOR_TYPE_RGB, 8},
      {{"32-bit V4 with alpha", 32, 5, 2, false, BmpHeader::kV4Alpha}, PNG_COLOR_TYPE_RGB_ALPHA, 8},
  };
  for (const auto& c : cases) {
    auto [bytes, truth] = BuildBmp(c.bmp);
    std::string source = Write("source.bmp", bytes), target = Path("out.png");
    ASSERT_TRUE(Convert(source, target)) << c.bmp.name;
    auto facts = ReadPngFacts(target);
    ASSERT_TRUE(facts) << c.bmp.name;
    EXPECT_EQ(facts->colorType, c.colorType) << c.bmp.name;
    EXPECT_EQ(facts->bitDepth, c.bitDepth) << c.bmp.name;
    EXPECT_FALSE(facts->hasTrns) << c.bmp.name;
    ExpectSamePixels(truth, facts->truth, c.bmp.name);
    if (c.bmp.bits <= 8) {
      // The palette comes through entry for entry, not merely colour for colour.
      EXPECT_EQ(facts->palette, TestPalette(1 << c.bmp.bits)) << c.bmp.name;
    }
  }
}

// Raw PNG rows of `truth` in the given colour type; palette pictures index `palette`.
std::vector<Bytes> PngRowsOf(const Truth& truth, int colorType, int bitDepth, const std::vector<Rgba>& palette) {
  std::vector<Bytes> rows;
  for (int y = 0; y < truth.height; ++y) {
    Bytes row;
    for (int x = 0; x < truth.width; ++x) {
      const Rgba& p = truth.At(x, y);
      auto put = [&](std::uint8_t v) {
        row.push_back(v);
        if (bitDepth == 16) row.push_back(v);  // high byte = low byte, so 16 -> 8 bits is exact
      };
      switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
          put(p.r);
          break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
          put(p.r), put(p.a);
          break;
        case PNG_COLOR_TYPE_RGB:
          put(p.r), put(p.g), put(p.b);
          break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
          put(p.r), put(p.g), put(p.b), put(p.a);
          break;
        case PNG_COLOR_TYPE_PALETTE: {
          int index =
              static_cast<int>(std::find_if(palette.begin(), palette.end(),
                                            [&](const Rgba& e) { return e.r == p.r && e.g == p.g && e.b == p.b; }) -
                               palette.begin());
          int perByte = 8 / bitDepth;
          if (x % perByte == 0) row.push_back(0);
          row.back() |= std::uint8_t(index << (8 - bitDepth * (x % perByte + 1)));
          break;
        }
      }
    }
    rows.push_back(row);
  }
  return rows;
}

TEST_F(ImageTest, PngOfEveryKindConvertsToPngWithSamePixels) {
  struct Case {
    const char* name;
    int colorType, bitDepth;
    bool interlaced, withTrns;
    int outColorType, outBitDepth;
  };
  const Case cases[] = {
      {"RGBA keeps its alpha", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, PNG_COLOR_TYPE_RGB_ALPHA, 8},
      {"RGB", PNG_COLOR_TYPE_RGB, 8, false, false, PNG_COLOR_TYPE_RGB, 8},
      {"interlaced RGB", PNG_COLOR_TYPE_RGB, 8, true, false, PNG_COLOR_TYPE_RGB, 8},
      {"interlaced RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false, PNG_COLOR_TYPE_RGB_ALPHA, 8},
      {"48-bit RGB", PNG_COLOR_TYPE_RGB, 16, false, false, PNG_COLOR_TYPE_RGB, 8},
      {"64-bit RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false, PNG_COLOR_TYPE_RGB_ALPHA, 8},
      {"grey", PNG_COLOR_TYPE_GRAY, 8, false, false, PNG_COLOR_TYPE_PALETTE, 8},
      {"16-bit grey", PNG_COLOR_TYPE_GRAY, 16, false, false, PNG_COLOR_TYPE_RGB, 8},
      {"grey with alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, PNG_COLOR_TYPE_RGB_ALPHA, 8},
      {"8-bit palette", PNG_COLOR_TYPE_PALETTE, 8, false, false, PNG_COLOR_TYPE_PALETTE, 8},
      {"2-bit palette", PNG_COLOR_TYPE_PALETTE, 2, false, false, PNG_COLOR_TYPE_PALETTE, 8},
      {"palette with tRNS loses transparency", PNG_COLOR_TYPE_PALETTE, 4, false, true, PNG_COLOR_TYPE_PALETTE, 4},
      {"RGB colour key becomes alpha", PNG_COLOR_TYPE_RGB, 8, false, true, PNG_COLOR_TYPE_RGB_ALPHA, 8},
  };
  for (const auto& c : cases) {
    const bool gray = !(c.colorType & PNG_COLOR_MASK_COLOR);
    const bool alpha = c.colorType & PNG_COLOR_MASK_ALPHA;
    const int colours = c.colorType == PNG_COLOR_TYPE_PALETTE ? 1 << c.bitDepth : 0;
    std::vector<Rgba> palette = TestPalette(colours);
    Truth truth = MakeTruth(11, 7, [&](int x, int y) -> Rgba {
      if (colours) return palette[static_cast<std::size_t>(IndexAt(x, y, colours))];
      std::uint8_t a = alpha ? std::uint8_t(x * 23 + y) : 255;
      if (gray) return {std::uint8_t(x * 20 + y), std::uint8_t(x * 20 + y), std::uint8_t(x * 20 + y), a};
      return {std::uint8_t(x * 20), std::uint8_t(y * 30), std::uint8_t(x * y + 3), a};
    });
    PngLayout layout{c.colorType, c.bitDepth, c.interlaced, {}, {}, PngRowsOf(truth, c.colorType, c.bitDepth, palette),
                     11,          7};
    for (const Rgba& e : palette) layout.palette.push_back({e.r, e.g, e.b});
    if (c.withTrns && colours) layout.trns = Bytes(static_cast<std::size_t>(colours), 0);  // every entry invisible
    if (c.withTrns && !colours) {
      layout.trns = {truth.At(2, 3).r, truth.At(2, 3).g, truth.At(2, 3).b};
      for (auto& p : truth.pixels) p.a = p == truth.At(2, 3) ? 0 : 255;
    }

    std::string source = Write("source.png", WritePng(layout)), target = Path("out.png");
    ASSERT_TRUE(Convert(source, target)) << c.name;
    auto facts = ReadPngFacts(target);
    ASSERT_TRUE(facts) << c.name;
    EXPECT_EQ(facts->colorType, c.outColorType) << c.name;
    EXPECT_EQ(facts->bitDepth, c.outBitDepth) << c.name;
    EXPECT_FALSE(facts->interlaced) << c.name;
    EXPECT_FALSE(facts->hasTrns) << c.name;
    ExpectSamePixels(truth, facts->truth, c.name);
  }
}

TEST_F(ImageTest, FormatComesFromContentNotName) {
  auto [bmp, truth] = BuildBmp({"", 24, 4, 4, false, BmpHeader::kInfo});
  std::string bmpPath = Write("picture.bmp", bmp);
  ASSERT_TRUE(Convert(bmpPath, Path("real.png")));
  // A PNG under a ".bmp" name, as CorelDRAW documents store them.
  std::string disguised = Path("png-under-bmp-name.bmp");
  fs::copy_file(Path("real.png"), disguised);
  ASSERT_TRUE(Convert(disguised, Path("again.png")));
  auto facts = ReadPngFacts(Path("again.png"));
  ASSERT_TRUE(facts);
  ExpectSamePixels(truth, facts->truth, "png under bmp name");
}

TEST_F(ImageTest, TargetExtensionChoosesEncoderIgnoringCase) {
  auto [bmp, truth] = BuildBmp({"", 8, 6, 6, false, BmpHeader::kInfo});
  std::string source = Write("source.bmp", bmp);
  const std::pair<const char*, ImageFormat> cases[] = {
      {"a.PNG", ImageFormat::kPng},   {"b.Png", ImageFormat::kPng},  {"c.jpg", ImageFormat::kJpeg},
      {"d.JPEG", ImageFormat::kJpeg}, {"e.jpe", ImageFormat::kJpeg}, {"f.BMP", ImageFormat::kBmp},
      {"g.x.png", ImageFormat::kPng},
  };
  for (const auto& [name, format] : cases) {
    ASSERT_TRUE(Convert(source, Path(name))) << name;
    Bytes written = Read(name);
    EXPECT_EQ(SniffImageFormat(written.data(), written.size()), format) << name;
  }
}

TEST_F(ImageTest, NoEncoderOrNoSourceWritesNothingAndKeepsTarget) {
  auto [bmp, truth] = BuildBmp({"", 24, 2, 2, false, BmpHeader::kInfo});
  std::string source = Write("source.bmp", bmp);
  const Bytes earlier = {'o', 'l', 'd'};
  fs::create_directory(Path("sub.png"));
  const struct {
    const char* source;
    const char* target;
    bool targetExists;
  } cases[] = {
      {"source.bmp", "noextension", true},  {"source.bmp", "picture.gif", true},
      {"source.bmp", "picture.", true},     {"source.bmp", "sub.png/noext", false},
      {"missing.bmp", "earlier.png", true}, {"source.bmp", "nofolder/x.png", false},
      {"source.bmp", "sub.png", false},  // a folder is not replaced by a picture
  };
  for (const auto& c : cases) {
    if (c.targetExists) Write(c.target, earlier);
    auto before = Names();
    EXPECT_FALSE(Convert(Path(c.source), Path(c.target))) << c.target;
    EXPECT_EQ(Names(), before) << c.target;  // no file made, no temporary left behind
    if (c.targetExists) {
      EXPECT_EQ(Read(c.target), earlier) << c.target;
    }
  }
  EXPECT_TRUE(fs::is_directory(Path("sub.png")));
  CImage empty;
  EXPECT_EQ(empty.SaveToFile(Path("empty.png")), ImageStatus::kFail);
  EXPECT_FALSE(fs::exists(Path("empty.png")));
}

Bytes WithU32(Bytes b, std::size_t at, std::uint32_t v) {
  WriteLe32(b.data() + at, v);
  return b;
}

TEST_F(ImageTest, MalformedBmpFailsCleanly) {
  auto [bmp, truth] = BuildBmp({"", 8, 16, 16, false, BmpHeader::kInfo});
  CImage image;
  ASSERT_EQ(image.LoadFromMemory(bmp.data(), bmp.size()), ImageStatus::kOk);
  // Every truncation, the pixel rows included.
  for (std::size_t length = 0; length < bmp.size(); ++length) {
    Bytes cut(bmp.begin(), bmp.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(image.LoadFromMemory(cut.data(), cut.size()), ImageStatus::kFail) << length;
    EXPECT_TRUE(image.IsNull());
  }
  const std::pair<const char*, Bytes> cases[] = {
      {"huge width and height", WithU32(WithU32(bmp, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF)},
      {"width x height overflows 32 bits", WithU32(WithU32(bmp, 18, 0x10000), 22, 0x10001)},
      {"above the pixel limit", WithU32(WithU32(bmp, 18, 8193), 22, 8193)},
      {"negative width", WithU32(bmp, 18, static_cast<std::uint32_t>(-16))},
      {"height INT_MIN", WithU32(bmp, 22, 0x80000000u)},
      {"zero height", WithU32(bmp, 22, 0)},
      {"pixel offset past the end", WithU32(bmp, 10, 0xFFFFFFF0u)},
      {"pixel offset inside the header", WithU32(bmp, 10, 20)},
      {"header size past the end", WithU32(bmp, 14, 0xFFFFFFF0u)},
      {"header size 20", WithU32(bmp, 14, 20)},
      {"7 bits per pixel", WithU32(bmp, 26, 1 | 7 << 16)},
      {"run-length coded", WithU32(bmp, 30, 1)},
      {"bitfields at 8 bits", WithU32(bmp, 30, 3)},
  };
  for (const auto& [name, bytes] : cases) {
    EXPECT_EQ(image.LoadFromMemory(bytes.data(), bytes.size()), ImageStatus::kFail) << name;
    std::string source = Write("bad.bmp", bytes);
    EXPECT_FALSE(Convert(source, Path("bad.png"))) << name;
    EXPECT_FALSE(fs::exists(Path("bad.png"))) << name;
  }
  // A huge colour count is cut to what the depth can address.
  EXPECT_EQ(image.LoadFromMemory(WithU32(bmp, 46, 0xFFFFFFFF).data(), bmp.size()), ImageStatus::kOk);
  EXPECT_EQ(image.Palette().size(), 256u);
}

// A PNG chunk with its CRC, so that only the field under test is wrong.
Bytes WithIhdrSize(Bytes png, std::uint32_t width, std::uint32_t height) {
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = std::uint8_t(v >> (24 - 8 * i));
  };
  put(16, width), put(20, height);
  put(29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

// `png` with a chunk of `type` stating `statedLength` and holding `data`
// put right after IHDR (whose chunk ends at byte 33).
Bytes WithChunkAfterIhdr(const Bytes& png, const char* type, std::uint32_t statedLength, const std::string& data) {
  Bytes chunk;
  for (int i = 0; i < 4; ++i) chunk.push_back(std::uint8_t(statedLength >> (24 - 8 * i)));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const auto crc = static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
  for (int i = 0; i < 4; ++i) chunk.push_back(std::uint8_t(crc >> (24 - 8 * i)));
  Bytes out(png.begin(), png.begin() + 33);
  out.insert(out.end(), chunk.begin(), chunk.end());
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

// Text and profile chunks are skipped unread: their stated length is never
// allocated (a 44-byte file stating 1.3 GB once cost that much memory).
TEST_F(ImageTest, PngTextAndProfileChunksAreSkipped) {
  Bytes png = SamplePngFile(5, 3).value();
  CImage image;
  const std::string text("Comment\0made by a test", 23);
  for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "eXIf"}) {
    Bytes withChunk = WithChunkAfterIhdr(png, type, static_cast<std::uint32_t>(text.size()), text);
    ASSERT_EQ(image.LoadFromMemory(withChunk.data(), withChunk.size()), ImageStatus::kOk) << type;
    EXPECT_EQ(image.Width(), 5) << type;
  }
  Bytes stated = WithChunkAfterIhdr(png, "zTXt", 0x5000004C, "");
  stated.resize(33 + 8);  // the file ends after the chunk's header, as the fuzzer's finding did
  EXPECT_EQ(image.LoadFromMemory(stated.data(), stated.size()), ImageStatus::kFail);
}

TEST_F(ImageTest, MalformedPngFailsCleanly) {
  auto [bmp, truth] = BuildBmp({"", 32, 20, 20, false, BmpHeader::kV4Alpha});
  CImage image;
  ASSERT_EQ(image.LoadFromMemory(bmp.data(), bmp.size()), ImageStatus::kOk);
  Bytes png = image.Encode(ImageFormat::kPng).value();
  ASSERT_EQ(image.LoadFromMemory(png.data(), png.size()), ImageStatus::kOk);
  for (std::size_t length = 0; length + 12 < png.size(); ++length) {  // the last 12 bytes are IEND, never read
    EXPECT_EQ(image.LoadFromMemory(png.data(), length), ImageStatus::kFail) << length;
  }
  Bytes flipped = png;
  flipped[png.size() / 2] ^= 0x40;  // inside IDAT: CRC or inflate fails
  const std::pair<const char*, Bytes> cases[] = {
      {"huge width and height", WithIhdrSize(png, 0x7FFFFFFF, 0x7FFFFFFF)},
      {"above the pixel limit", WithIhdrSize(png, 100000, 100000)},
      {"width past 2^31", WithIhdrSize(png, 0x80000001u, 1)},
      {"zero width", WithIhdrSize(png, 0, 20)},
      {"more rows than the data", WithIhdrSize(png, 20, 4000)},
      {"damaged data", flipped},
  };
  for (const auto& [name, bytes] : cases) {
    EXPECT_EQ(image.LoadFromMemory(bytes.data(), bytes.size()), ImageStatus::kFail) << name;
    EXPECT_TRUE(image.IsNull()) << name;
  }
}

TEST_F(ImageTest, BmpAndJpegEncodersRoundTrip) {
  const BmpCase cases[] = {
      {"1", 1, 9, 3, false, BmpHeader::kInfo},   {"4", 4, 3, 5, false, BmpHeader::kInfo},
      {"8", 8, 7, 2, false, BmpHeader::kInfo},   {"16", 16, 5, 5, false, BmpHeader::kInfo},
      {"24", 24, 6, 3, false, BmpHeader::kInfo}, {"32a", 32, 3, 3, false, BmpHeader::kV4Alpha},
  };
  for (const auto& c : cases) {
    auto [bytes, truth] = BuildBmp(c);
    CImage original, again;
    ASSERT_EQ(original.LoadFromMemory(bytes.data(), bytes.size()), ImageStatus::kOk) << c.name;
    ASSERT_EQ(original.SaveToFile(Path("copy.bmp")), ImageStatus::kOk) << c.name;
    ASSERT_EQ(again.LoadFromFile(Path("copy.bmp")), ImageStatus::kOk) << c.name;
    EXPECT_EQ(again.BitsPerPixel(), original.BitsPerPixel()) << c.name;
    EXPECT_EQ(again.HasAlpha(), original.HasAlpha()) << c.name;
    EXPECT_EQ(again.Palette(), original.Palette()) << c.name;
    for (int y = 0; y < original.Height(); ++y) {
      ASSERT_EQ(0, std::memcmp(again.Row(y), original.Row(y), static_cast<std::size_t>(original.Pitch())))
          << c.name << y;
    }
    // An uncompressed PNG holds the very pixels a compressed one does.
    auto fast = EncodePng(original), stored = EncodePng(original, PngCompression::kNone);
    ASSERT_TRUE(fast && stored) << c.name;
    CImage fromFast, fromStored;
    ASSERT_EQ(fromFast.LoadFromMemory(fast->data(), fast->size()), ImageStatus::kOk) << c.name;
    ASSERT_EQ(fromStored.LoadFromMemory(stored->data(), stored->size()), ImageStatus::kOk) << c.name;
    ASSERT_EQ(fromStored.BitsPerPixel(), fromFast.BitsPerPixel()) << c.name;
    for (int y = 0; y < original.Height(); ++y) {
      ASSERT_EQ(0, std::memcmp(fromStored.Row(y), fromFast.Row(y), static_cast<std::size_t>(fromFast.Pitch())))
          << c.name;
    }
    // Every depth can go out as JPEG too (widened to 24 bits first).
    ASSERT_EQ(original.SaveToFile(Path("any.jpg")), ImageStatus::kOk) << c.name;
    ASSERT_EQ(again.LoadFromFile(Path("any.jpg")), ImageStatus::kOk) << c.name;
    EXPECT_EQ(again.Width(), original.Width()) << c.name;
  }

  // JPEG is lossy: flat colours come back within a small tolerance.
  CImage flat, image;
  ASSERT_TRUE(flat.Create(16, 16, 24));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) std::memcpy(flat.Row(y) + 3 * x, "\x20\x80\xE0", 3);
  ASSERT_EQ(flat.SaveToFile(Path("flat.jpg")), ImageStatus::kOk);
  ASSERT_EQ(image.LoadFromFile(Path("flat.jpg")), ImageStatus::kOk);
  ASSERT_EQ(image.BitsPerPixel(), 24);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(image.Row(8)[24 + i], flat.Row(8)[24 + i], 4);
  Bytes jpeg = Read("flat.jpg");
  for (std::size_t length : {std::size_t{3}, jpeg.size() / 4, jpeg.size() / 2, jpeg.size() - 4}) {
    EXPECT_EQ(image.LoadFromMemory(jpeg.data(), length), ImageStatus::kFail) << length;
  }
}

TEST(ImageBasics, CreateRefusesBadSizes) {
  CImage image;
  EXPECT_TRUE(image.Create(3, 2, 24));
  EXPECT_EQ(image.Pitch(), 12);
  const std::tuple<int, int, int> bad[] = {
      {0, 5, 24},
      {5, 0, 24},
      {-1, 5, 24},
      {5, 5, 7},
      {5, 5, 2},
      {INT_MAX, INT_MAX, 32},
      {static_cast<int>(kMaxImagePixels) + 1, 1, 8},
      {65536, 65536, 1},
  };
  for (auto [w, h, bits] : bad) {
    EXPECT_FALSE(image.Create(w, h, bits)) << w << "x" << h << "x" << bits;
    EXPECT_TRUE(image.IsNull());
  }
  ASSERT_TRUE(image.Create(9, 1, 1));
  EXPECT_EQ(image.Pitch(), 4);
  EXPECT_EQ(image.Palette().size(), 2u);
}

TEST(ImageBasics, SniffAndExtension) {
  const std::pair<std::string, std::optional<ImageFormat>> sniff[] = {
      {"BM", ImageFormat::kBmp},
      {std::string("\x89PNG\r\n\x1A\n", 8), ImageFormat::kPng},
      {"\xFF\xD8\xFF\xE0", ImageFormat::kJpeg},
      {"\x89PNG\r\n", std::nullopt},
      {"B", std::nullopt},
      {"GIF89a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [bytes, format] : sniff) {
    EXPECT_EQ(SniffImageFormat(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), format) << bytes;
  }
  const std::pair<const char*, std::optional<ImageFormat>> names[] = {
      {"x.png", ImageFormat::kPng}, {"X.PNG", ImageFormat::kPng}, {"x.JpE", ImageFormat::kJpeg},
      {"x.bmp", ImageFormat::kBmp}, {"x", std::nullopt},          {"dir.png/x", std::nullopt},
      {"x.png.", std::nullopt},     {"x.pngx", std::nullopt},     {"x.gif", std::nullopt},
  };
  for (const auto& [name, format] : names) EXPECT_EQ(FormatForExtension(name), format) << name;
}

}  // namespace
}  // namespace glimpses

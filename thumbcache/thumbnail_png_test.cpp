#include "thumbcache/thumbnail_png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "extract/png_codec.h"

namespace glimpses {
namespace {

void AppendBe32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes Chunk(const std::string& type, const std::string& data) {
  Bytes chunk;
  AppendBe32(chunk, static_cast<std::uint32_t>(data.size()));
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), data.begin(), data.end());
  AppendBe32(chunk, static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4))));
  return chunk;
}

std::string Deflated(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

std::string Text(const std::string& key, const std::string& text) { return key + '\0' + text; }

// A 4 x 3 PNG with `before` placed after its header and `after` between its
// pixels and its end.
Bytes PngWith(const Bytes& before, const Bytes& after = {}) {
  CImage image;
  image.Create(4, 3, 24);
  Bytes png = *EncodePng(image);
  constexpr std::ptrdiff_t kAfterHeader = 8 + 25, kEndChunk = 12;
  png.insert(png.end() - kEndChunk, after.begin(), after.end());
  png.insert(png.begin() + kAfterHeader, before.begin(), before.end());
  return png;
}

// How writers other than libpng's defaults store the keys, and what a
// hostile file can state.
TEST(ThumbnailPngTest, ReadsTheKeysWhereverAndHoweverStoredWithinBounds) {
  const std::string uri = "file:///d/a%20b.pdf";
  Bytes statingHuge;
  AppendBe32(statingHuge, 0x50000000);
  for (char c : std::string("tEXtThumb::URI")) statingHuge.push_back(static_cast<std::uint8_t>(c));
  Bytes cutBeforeEnd = PngWith(Chunk("tEXt", Text("Thumb::URI", uri)));
  cutBeforeEnd.resize(cutBeforeEnd.size() - 12);

  const struct {
    const char* what;
    Bytes file;
    std::optional<std::string> uri;  // nullopt: the file is refused
  } cases[] = {
      {"tEXt before the pixels", PngWith(Chunk("tEXt", Text("Thumb::URI", uri))), uri},
      {"tEXt after the pixels", PngWith({}, Chunk("tEXt", Text("Thumb::URI", uri))), uri},
      {"zTXt", PngWith(Chunk("zTXt", Text("Thumb::URI", std::string(1, '\0') + Deflated(uri)))), uri},
      {"iTXt", PngWith(Chunk("iTXt", Text("Thumb::URI", std::string(2, '\0') + '\0' + '\0' + uri))), uri},
      {"zTXt inflating to 1 MiB", PngWith(Chunk("zTXt", Text("Thumb::URI", '\0' + Deflated(std::string(1 << 20, 'a'))))),
       std::nullopt},
      {"a chunk stating 1.3 GB", PngWith(statingHuge), std::nullopt},
      {"cut before its end chunk", cutBeforeEnd, std::nullopt},
  };
  for (const auto& c : cases) {
    auto thumbnail = ReadThumbnailPng(c.file.data(), c.file.size());
    ASSERT_EQ(thumbnail.has_value(), c.uri.has_value()) << c.what;
    if (thumbnail) {
      EXPECT_EQ(thumbnail->uri, *c.uri) << c.what;
      EXPECT_EQ(thumbnail->picture.Width(), 4) << c.what;
    }
  }
}

// Bytes that change along every row and down every column, so that a wrong
// filter, byte order or row length shows; odd widths leave row padding.
CImage Pattern(int width, int height, int bits, bool alpha) {
  CImage image;
  image.Create(width, height, bits, alpha);
  for (std::size_t i = 0; i < image.Palette().size(); ++i) {
    image.Palette()[i] = {std::uint8_t(i * 3), std::uint8_t(255 - i), std::uint8_t(i * 7), 0};
  }
  const int rowBytes = (width * bits + 7) / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < rowBytes; ++x) image.Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + x * y);
  }
  return image;
}

// Whatever the depth, the file holds the pixels, read back as true colour
// (with alpha when the picture has it), and the stamp.
TEST(ThumbnailPngTest, WrittenFilesReadBackWithTheirPixelsAndStamp) {
  const struct {
    int bits;
    bool alpha;
  } cases[] = {{24, false}, {32, true}, {32, false}, {16, false}, {8, false}, {4, false}, {1, false}};
  const DocumentStamp stamp{"file:///d/a%20b.pdf", 1700000000, 48213};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits" << (c.alpha ? " with alpha" : ""));
    const CImage picture = Pattern(37, 23, c.bits, c.alpha);
    auto png = EncodeThumbnailPng(picture, stamp, "Glimpses", "no-picture");
    ASSERT_TRUE(png);
    auto read = ReadThumbnailPng(png->data(), png->size());
    ASSERT_TRUE(read);
    EXPECT_TRUE(Describes(*read, stamp));
    EXPECT_EQ(read->size, stamp.size);
    EXPECT_EQ(read->software, "Glimpses");
    EXPECT_EQ(read->failure, "no-picture");
    const CImage expected = c.alpha ? picture : ToBgr24(picture);
    ASSERT_EQ(read->picture.BitsPerPixel(), expected.BitsPerPixel());
    ASSERT_EQ(read->picture.Width(), 37);
    ASSERT_EQ(read->picture.Height(), 23);
    for (int y = 0; y < 23; ++y) {
      ASSERT_TRUE(std::equal(expected.Row(y), expected.Row(y) + 37 * expected.BitsPerPixel() / 8, read->picture.Row(y)))
          << "row " << y;
    }
  }
  EXPECT_FALSE(EncodeThumbnailPng(Pattern(2, 2, 24, false), stamp, "Glimpses", std::string("a\0b", 3)));
}

}  // namespace
}  // namespace glimpses

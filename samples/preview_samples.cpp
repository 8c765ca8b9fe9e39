#include "preview_samples.h"

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bytes.h"

namespace glimpses {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendBe16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void AppendBe32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Rgba PaletteColour(unsigned index) {
  return {static_cast<std::uint8_t>(index * 37), static_cast<std::uint8_t>(255 - index * 11),
          static_cast<std::uint8_t>(index * 5), 255};
}

unsigned PaletteIndex(TiffLayout layout, int x, int y) {
  return static_cast<unsigned>(x + 2 * y) % (layout == TiffLayout::kPalette4 ? 16u : 256u);
}

std::uint16_t CompressionTag(TiffCompression compression) {
  switch (compression) {
    case TiffCompression::kLzw:
      return COMPRESSION_LZW;
    case TiffCompression::kPackBits:
      return COMPRESSION_PACKBITS;
    case TiffCompression::kDeflate:
      return COMPRESSION_ADOBE_DEFLATE;
    case TiffCompression::kNone:
      break;
  }
  return COMPRESSION_NONE;
}

// One row of `layout` as libtiff takes it (MSB first for the small depths).
Bytes TiffRow(TiffLayout layout, int width, int y) {
  Bytes row;
  if (layout == TiffLayout::kBilevel || layout == TiffLayout::kPalette4) {
    int bits = layout == TiffLayout::kBilevel ? 1 : 4;
    row.assign((static_cast<std::size_t>(width) * bits + 7) / 8, 0);
    for (int x = 0; x < width; ++x) {
      unsigned value = layout == TiffLayout::kBilevel ? (TiffSampleColour(layout, x, y).red == 0 ? 1u : 0u)
                                                      : PaletteIndex(layout, x, y);
      row[static_cast<std::size_t>(x * bits / 8)] |= static_cast<std::uint8_t>(value << (8 - bits - x * bits % 8));
    }
    return row;
  }
  for (int x = 0; x < width; ++x) {
    Rgba c = TiffSampleColour(layout, x, y);
    switch (layout) {
      case TiffLayout::kGrey8:
        row.push_back(c.red);
        break;
      case TiffLayout::kPalette8:
        row.push_back(static_cast<std::uint8_t>(PaletteIndex(layout, x, y)));
        break;
      default:
        row.insert(row.end(), {c.red, c.green, c.blue});
        if (layout == TiffLayout::kRgba) row.push_back(c.alpha);
    }
  }
  return row;
}

void SetLayoutFields(TIFF* tiff, TiffLayout layout) {
  std::uint16_t bits = layout == TiffLayout::kBilevel ? 1 : layout == TiffLayout::kPalette4 ? 4 : 8;
  std::uint16_t samples = layout == TiffLayout::kRgb ? 3 : layout == TiffLayout::kRgba ? 4 : 1;
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  switch (layout) {
    case TiffLayout::kBilevel:
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
      break;
    case TiffLayout::kGrey8:
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      break;
    case TiffLayout::kPalette4:
    case TiffLayout::kPalette8: {
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
      std::size_t entries = std::size_t{1} << bits;
      std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
      for (std::size_t i = 0; i < entries; ++i) {
        Rgba c = PaletteColour(static_cast<unsigned>(i));
        red[i] = static_cast<std::uint16_t>(c.red * 257);
        green[i] = static_cast<std::uint16_t>(c.green * 257);
        blue[i] = static_cast<std::uint16_t>(c.blue * 257);
      }
      TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
      break;
    }
    case TiffLayout::kRgba: {
      std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
      [[fallthrough]];
    }
    case TiffLayout::kRgb:
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      break;
  }
}

std::string HexLines(const Bytes& data, std::size_t lineBytes, const std::string& prefix) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); i += lineBytes) {
    text += prefix;
    for (std::size_t k = i; k < data.size() && k < i + lineBytes; ++k) {
      text += kHexDigits[data[k] >> 4];
      text += kHexDigits[data[k] & 15];
    }
    text += '\n';
  }
  return text;
}

}  // namespace

Rgba TiffSampleColour(TiffLayout layout, int x, int y) {
  switch (layout) {
    case TiffLayout::kBilevel:
      return (x / 3 + y / 2) % 2 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
    case TiffLayout::kGrey8: {
      auto grey = static_cast<std::uint8_t>(x * 7 + y * 3);
      return {grey, grey, grey, 255};
    }
    case TiffLayout::kPalette4:
    case TiffLayout::kPalette8:
      return PaletteColour(PaletteIndex(layout, x, y));
    case TiffLayout::kRgb:
    case TiffLayout::kRgba:
      break;
  }
  return {static_cast<std::uint8_t>(x * 9), static_cast<std::uint8_t>(y * 5), static_cast<std::uint8_t>(x + y),
          layout == TiffLayout::kRgba ? static_cast<std::uint8_t>(255 - x * 3) : std::uint8_t{255}};
}

bool SameVisibleColour(Rgba a, Rgba b) {
  if (a == b) return true;
  if (a.alpha != b.alpha || a.alpha == 255) return false;
  auto close = [&](std::uint8_t x, std::uint8_t y) { return std::abs(x * a.alpha - y * a.alpha) <= 255; };
  return close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

namespace {

// A TIFF of `width` x `height` whose row y is `row(y)`, written by libtiff
// through a scratch file (libtiff writes only to files).
template <typename RowOf>
Bytes WriteTiff(int width, int height, TiffLayout layout, TiffCompression compression, RowOf row) {
  char path[] = "/tmp/glimpses-sample-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  bool written = false;
  if (TIFF* tiff = TIFFOpen(path, "w")) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, CompressionTag(compression));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8u);
    SetLayoutFields(tiff, layout);
    written = true;
    for (int y = 0; y < height && written; ++y) {
      written = TIFFWriteScanline(tiff, row(y).data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    TIFFClose(tiff);
  }
  std::optional<Bytes> bytes = written ? ReadWholeFile(path, 64 << 20) : std::nullopt;
  std::remove(path);
  return bytes.value_or(Bytes{});
}

}  // namespace

Bytes BuildTiff(int width, int height, TiffLayout layout, TiffCompression compression) {
  return WriteTiff(width, height, layout, compression, [&](int y) { return TiffRow(layout, width, y); });
}

Bytes BuildBlankTiff(int width, int height, TiffLayout layout, TiffCompression compression) {
  // libtiff may encode a row in place, so each write gets it zeroed again.
  const std::size_t rowBytes = TiffRow(layout, width, 0).size();
  Bytes row;
  return WriteTiff(width, height, layout, compression, [&](int) -> Bytes& {
    row.assign(rowBytes, 0);
    return row;
  });
}

Bytes BuildDosEps(const Bytes& tiff, const Bytes& wmf, const std::string& postScript) {
  const std::string text =
      postScript.empty() ? "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 100\n%%EOF\n" : postScript;
  constexpr std::uint32_t kHeader = 30;
  const auto psLength = static_cast<std::uint32_t>(text.size());
  const auto wmfOffset = wmf.empty() ? 0 : kHeader + psLength;
  const auto tiffOffset = tiff.empty() ? 0 : kHeader + psLength + static_cast<std::uint32_t>(wmf.size());
  Bytes out = {0xC5, 0xD0, 0xD3, 0xC6};
  for (std::uint32_t v : {kHeader, psLength, wmfOffset, static_cast<std::uint32_t>(wmf.size()), tiffOffset,
                          static_cast<std::uint32_t>(tiff.size())}) {
    AppendLe32(out, v);
  }
  AppendLe16(out, 0xFFFF);  // no checksum
  out.insert(out.end(), text.begin(), text.end());
  out.insert(out.end(), wmf.begin(), wmf.end());
  out.insert(out.end(), tiff.begin(), tiff.end());
  return out;
}

unsigned EpsiSampleValue(int x, int y, int depth) { return static_cast<unsigned>(x + 3 * y) % (1u << depth); }

std::string BuildEpsi(int width, int height, int depth, std::size_t lineBytes) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
  std::string lines;
  std::size_t lineCount = 0;
  for (int y = 0; y < height; ++y) {
    Bytes row(rowBytes, 0);
    for (int x = 0; x < width; ++x) {
      int bit = x * depth;
      row[static_cast<std::size_t>(bit / 8)] |=
          static_cast<std::uint8_t>(EpsiSampleValue(x, y, depth) << (8 - depth - bit % 8));
    }
    lines += HexLines(row, lineBytes, "%");
    lineCount += (rowBytes + lineBytes - 1) / lineBytes;
  }
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(width) + " " + std::to_string(height) +
         "\n%%EndComments\n%%BeginPreview: " + std::to_string(width) + " " + std::to_string(height) + " " +
         std::to_string(depth) + " " + std::to_string(lineCount) + "\n" + lines +
         "%%EndImage\n%%EndPreview\n%%BeginProlog\n%%EndProlog\nshowpage\n%%EOF\n";
}

Bytes ImageResources(const Bytes& jpeg) {
  Bytes out;
  auto resource = [&out](std::uint16_t id, const Bytes& data) {
    out.insert(out.end(), {'8', 'B', 'I', 'M'});
    AppendBe16(out, id);
    out.insert(out.end(), {0, 0});  // empty name, padded to even
    AppendBe32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2) out.push_back(0);
  };
  resource(0x0425, Bytes(16, 0x11));
  Bytes thumbnail;
  for (std::uint32_t v : {1u, 0u, 0u, 0u, 0u, static_cast<std::uint32_t>(jpeg.size())}) AppendBe32(thumbnail, v);
  AppendBe16(thumbnail, 24);
  AppendBe16(thumbnail, 1);
  thumbnail.insert(thumbnail.end(), jpeg.begin(), jpeg.end());
  resource(1036, thumbnail);
  return out;
}

std::string PhotoshopBlock(const Bytes& resources, std::size_t claimedSize) {
  return "%BeginPhotoshop: " + std::to_string(claimedSize) + "\n" + HexLines(resources, 32, "% ") + "%EndPhotoshop\n";
}

std::string BuildImageResourceEps(const Bytes& jpeg) {
  Bytes resources = ImageResources(jpeg);
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: sample image editor\n%%BoundingBox: 0 0 64 48\n%%EndComments\n" +
         PhotoshopBlock(resources, resources.size()) + "%%BeginProlog\n%%EndProlog\nshowpage\n%%EOF\n";
}

}  // namespace glimpses

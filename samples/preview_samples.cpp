#include "samples/preview_samples.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "extract/bytes.h"

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

// Every alpha from 0 up turns up in a picture of a few hundred pixels.
std::uint8_t SampleAlpha(int x, int y) { return static_cast<std::uint8_t>((x * 29 + y * 71) % 256); }

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

struct LayoutFields {
  std::uint16_t bits, samples, photometric;
  std::uint16_t alpha;  // an EXTRASAMPLE_ kind, or 0 for none
};

LayoutFields FieldsOf(TiffLayout layout) {
  switch (layout) {
    case TiffLayout::kBilevel:
      return {1, 1, PHOTOMETRIC_MINISWHITE, 0};
    case TiffLayout::kGrey8:
      return {8, 1, PHOTOMETRIC_MINISBLACK, 0};
    case TiffLayout::kPalette4:
      return {4, 1, PHOTOMETRIC_PALETTE, 0};
    case TiffLayout::kPalette8:
      return {8, 1, PHOTOMETRIC_PALETTE, 0};
    case TiffLayout::kRgb:
      return {8, 3, PHOTOMETRIC_RGB, 0};
    case TiffLayout::kRgba:
      return {8, 4, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA};
    case TiffLayout::kGreyAlpha16:
      return {16, 2, PHOTOMETRIC_MINISBLACK, EXTRASAMPLE_UNASSALPHA};
    case TiffLayout::kPaletteAlpha:
      return {8, 2, PHOTOMETRIC_PALETTE, EXTRASAMPLE_UNASSALPHA};
    case TiffLayout::kRgbaAssociated:
      break;
  }
  return {8, 4, PHOTOMETRIC_RGB, EXTRASAMPLE_ASSOCALPHA};
}

// The samples stored for pixel (x, y).
std::vector<unsigned> StoredSamples(TiffLayout layout, int x, int y) {
  const Rgba c = TiffSampleColour(layout, x, y);
  switch (layout) {
    case TiffLayout::kBilevel:
      return {c.red == 0 ? 1u : 0u};
    case TiffLayout::kGrey8:
      return {c.red};
    case TiffLayout::kPalette4:
    case TiffLayout::kPalette8:
      return {PaletteIndex(layout, x, y)};
    case TiffLayout::kPaletteAlpha:
      return {PaletteIndex(layout, x, y), c.alpha};
    case TiffLayout::kGreyAlpha16:
      return {c.red * 257u, c.alpha * 257u};
    case TiffLayout::kRgb:
      return {c.red, c.green, c.blue};
    case TiffLayout::kRgba:
      return {c.red, c.green, c.blue, c.alpha};
    case TiffLayout::kRgbaAssociated:
      break;
  }
  auto premultiplied = [&](std::uint8_t v) { return (v * c.alpha + 127u) / 255u; };
  return {premultiplied(c.red), premultiplied(c.green), premultiplied(c.blue), c.alpha};
}

// Samples `first` to `first + count - 1` of every pixel of row `y`, as
// libtiff takes them: high bits first below 8 bits, the machine's order
// for 16.
Bytes PackedRow(TiffLayout layout, int width, int y, unsigned first, unsigned count) {
  const unsigned bits = FieldsOf(layout).bits;
  Bytes row((static_cast<std::size_t>(width) * count * bits + 7) / 8, 0);
  std::size_t bit = 0;
  for (int x = 0; x < width; ++x) {
    std::vector<unsigned> samples = StoredSamples(layout, x, y);
    for (unsigned s = first; s < first + count; ++s, bit += bits) {
      if (bits == 16) {
        auto value = static_cast<std::uint16_t>(samples[s]);
        std::memcpy(row.data() + bit / 8, &value, sizeof value);
      } else {
        row[bit / 8] |= static_cast<std::uint8_t>(samples[s] << (8 - bits - bit % 8));
      }
    }
  }
  return row;
}

void SetLayoutFields(TIFF* tiff, TiffLayout layout) {
  const LayoutFields fields = FieldsOf(layout);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, fields.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, fields.samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, fields.photometric);
  if (fields.alpha != 0) TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &fields.alpha);
  if (fields.photometric != PHOTOMETRIC_PALETTE) return;
  std::size_t entries = std::size_t{1} << fields.bits;
  std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    Rgba c = PaletteColour(static_cast<unsigned>(i));
    red[i] = static_cast<std::uint16_t>(c.red * 257);
    green[i] = static_cast<std::uint16_t>(c.green * 257);
    blue[i] = static_cast<std::uint16_t>(c.blue * 257);
  }
  TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
}

constexpr std::uint32_t kTileSize = 16;

void SetStorageFields(TIFF* tiff, TiffStorage storage) {
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
               storage == TiffStorage::kPlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  if (storage == TiffStorage::kBottomUp) TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_BOTLEFT);
  if (storage == TiffStorage::kTiles) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kTileSize);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, kTileSize);
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8u);
  }
}

// Tiles start at a multiple of 16 pixels, so at a whole byte whatever the
// depth.
bool WriteTiles(TIFF* tiff, int width, int height, TiffLayout layout) {
  const unsigned samples = FieldsOf(layout).samples;
  const std::size_t tileRowBytes = (kTileSize * samples * FieldsOf(layout).bits + 7) / 8;
  for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(height); ty += kTileSize) {
    for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(width); tx += kTileSize) {
      Bytes tile(tileRowBytes * kTileSize, 0);
      for (std::uint32_t r = 0; r < kTileSize && ty + r < static_cast<std::uint32_t>(height); ++r) {
        Bytes row = PackedRow(layout, width, static_cast<int>(ty + r), 0, samples);
        std::size_t from = tx / kTileSize * tileRowBytes;
        std::copy(row.begin() + from, row.begin() + std::min(row.size(), from + tileRowBytes),
                  tile.begin() + r * tileRowBytes);
      }
      if (TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0) < 0) return false;
    }
  }
  return true;
}

bool WritePixels(TIFF* tiff, int width, int height, TiffLayout layout, TiffStorage storage) {
  if (storage == TiffStorage::kTiles) return WriteTiles(tiff, width, height, layout);
  const unsigned samples = FieldsOf(layout).samples;
  const bool planes = storage == TiffStorage::kPlanes;
  for (unsigned plane = 0; plane < (planes ? samples : 1); ++plane) {
    for (int y = 0; y < height; ++y) {
      int source = storage == TiffStorage::kBottomUp ? height - 1 - y : y;
      Bytes row = PackedRow(layout, width, source, planes ? plane : 0, planes ? 1 : samples);
      if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(plane)) != 1) {
        return false;
      }
    }
  }
  return true;
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
    case TiffLayout::kGrey8:
    case TiffLayout::kGreyAlpha16: {
      auto grey = static_cast<std::uint8_t>(x * 7 + y * 3);
      return {grey, grey, grey, layout == TiffLayout::kGrey8 ? std::uint8_t{255} : SampleAlpha(x, y)};
    }
    case TiffLayout::kPalette4:
    case TiffLayout::kPalette8:
      return PaletteColour(PaletteIndex(layout, x, y));
    case TiffLayout::kPaletteAlpha: {
      Rgba c = PaletteColour(PaletteIndex(layout, x, y));
      c.alpha = SampleAlpha(x, y);
      return c;
    }
    case TiffLayout::kRgb:
    case TiffLayout::kRgba:
    case TiffLayout::kRgbaAssociated:
      break;
  }
  return {static_cast<std::uint8_t>(x * 9), static_cast<std::uint8_t>(y * 5), static_cast<std::uint8_t>(x + y),
          layout == TiffLayout::kRgb ? std::uint8_t{255} : SampleAlpha(x, y)};
}

bool SameVisibleColour(Rgba a, Rgba b) {
  if (a == b) return true;
  if (a.alpha != b.alpha || a.alpha == 255) return false;
  auto close = [&](std::uint8_t x, std::uint8_t y) { return std::abs(x * a.alpha - y * a.alpha) <= 255; };
  return close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

namespace {

// A TIFF written by libtiff through a scratch file (libtiff writes only to
// files); `write` writes the pixels.
template <typename WritePixelsWith>
Bytes WriteTiffFile(int width, int height, TiffLayout layout, TiffCompression compression, TiffStorage storage,
                    WritePixelsWith write) {
  char path[] = "/tmp/glimpses-sample-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  bool written = false;
  if (TIFF* tiff = TIFFOpen(path, "w")) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, CompressionTag(compression));
    SetLayoutFields(tiff, layout);
    SetStorageFields(tiff, storage);
    written = write(tiff);
    TIFFClose(tiff);
  }
  std::optional<Bytes> bytes = written ? ReadWholeFile(path, 64 << 20) : std::nullopt;
  std::remove(path);
  return bytes.value_or(Bytes{});
}

}  // namespace

Bytes BuildTiff(int width, int height, TiffLayout layout, TiffCompression compression, TiffStorage storage) {
  return WriteTiffFile(width, height, layout, compression, storage,
                       [&](TIFF* tiff) { return WritePixels(tiff, width, height, layout, storage); });
}

Bytes BuildBlankTiff(int width, int height, TiffLayout layout, TiffCompression compression) {
  const unsigned samples = FieldsOf(layout).samples;
  const std::size_t rowBytes = PackedRow(layout, width, 0, 0, samples).size();
  return WriteTiffFile(width, height, layout, compression, TiffStorage::kStrips, [&](TIFF* tiff) {
    for (int y = 0; y < height; ++y) {
      // libtiff may encode a row in place, so each write gets it zeroed again.
      Bytes row(rowBytes, 0);
      if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) != 1) return false;
    }
    return true;
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

std::string BuildEpsi(int width, int height, int depth, std::size_t lineBytes, EpsiLayout layout) {
  const bool ps2epsi = layout == EpsiLayout::kPs2epsi;
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
    lines += HexLines(row, lineBytes, ps2epsi ? "% " : "%");
    if (ps2epsi) lines += "% \n";
    lineCount += (rowBytes + lineBytes - 1) / lineBytes;
  }
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(width) + " " + std::to_string(height) +
         "\n%%EndComments\n%%BeginPreview: " + std::to_string(width) + " " + std::to_string(height) + " " +
         std::to_string(depth) + " " + std::to_string(lineCount) + "\n" + lines + (ps2epsi ? "" : "%%EndImage\n") +
         "%%EndPreview\n%%BeginProlog\n%%EndProlog\nshowpage\n%%EOF\n";
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

#include "extract/bmp_codec.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "extract/bytes.h"

namespace glimpses {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kV4HeaderSize = 108;

std::uint32_t U16(const std::uint8_t* p) { return ReadLe16(p); }
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(ReadLe32(p)); }

struct Masks {
  std::uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

constexpr Masks kMasks555{0x7C00, 0x03E0, 0x001F, 0};

// One colour channel of a BI_BITFIELDS pixel, scaled to 8 bits.
class Channel {
 public:
  explicit Channel(std::uint32_t mask)
      : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0), max_(mask ? mask >> shift_ : 0) {}
  // A mask must be one run of set bits; an empty one reads as 0.
  bool Valid() const { return (max_ & (max_ + 1)) == 0; }
  std::uint8_t Get(std::uint32_t pixel) const {
    if (!max_) return 0;
    std::uint64_t v = (pixel & mask_) >> shift_;
    return static_cast<std::uint8_t>((v * 255 + max_ / 2) / max_);
  }

 private:
  std::uint32_t mask_;
  int shift_;
  std::uint64_t max_;
};

struct BmpLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = kBiRgb;
  std::size_t tableStart = 0;
  std::size_t tableEntrySize = 4;
  std::uint32_t colorsUsed = 0;
  std::size_t pixelOffset = 0;
  Masks masks;
};

// Reads and checks both headers; every offset is checked against `size`.
bool ParseHeaders(const std::uint8_t* data, std::size_t size, BmpLayout& layout) {
  if (size < kFileHeaderSize + 4) return false;
  layout.pixelOffset = ReadLe32(data + 10);
  std::size_t headerSize = ReadLe32(data + 14);
  if (headerSize > size - kFileHeaderSize) return false;
  const std::uint8_t* info = data + kFileHeaderSize;
  if (headerSize == 12) {  // OS/2 and Windows 2 core header
    layout.width = static_cast<int>(U16(info + 4));
    layout.height = static_cast<int>(U16(info + 6));
    layout.bits = static_cast<int>(U16(info + 10));
    layout.tableEntrySize = 3;
  } else if (headerSize >= kInfoHeaderSize) {
    layout.width = I32(info + 4);
    std::int32_t height = I32(info + 8);
    if (height == INT_MIN) return false;
    layout.topDown = height < 0;
    layout.height = height < 0 ? -height : height;
    layout.bits = static_cast<int>(U16(info + 14));
    layout.compression = ReadLe32(info + 16);
    layout.colorsUsed = ReadLe32(info + 32);
  } else {
    return false;
  }
  layout.tableStart = kFileHeaderSize + headerSize;

  if (layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields) {
    if (layout.bits != 16 && layout.bits != 32) return false;
    const std::uint8_t* masks = info + 40;
    if (headerSize == kInfoHeaderSize) {
      // The masks follow a plain info header, before any colour table.
      std::size_t count = layout.compression == kBiAlphaBitfields ? 4 : 3;
      if (size - layout.tableStart < 4 * count) return false;
      layout.tableStart += 4 * count;
    } else if (headerSize < 52) {
      return false;
    }
    bool hasAlphaMask = headerSize >= 56 || (headerSize == kInfoHeaderSize && layout.compression == kBiAlphaBitfields);
    layout.masks = {ReadLe32(masks), ReadLe32(masks + 4), ReadLe32(masks + 8), hasAlphaMask ? ReadLe32(masks + 12) : 0};
  } else if (layout.compression == kBiRgb) {
    if (layout.bits == 16) layout.masks = kMasks555;
    if (layout.bits == 32) layout.masks = {0xFF0000, 0xFF00, 0xFF, 0};
  } else {
    return false;  // run-length coded, embedded JPEG/PNG: not ours to read
  }

  if (!IsPixelDepth(layout.bits)) return false;
  if (layout.width <= 0 || layout.height <= 0) return false;
  if (static_cast<std::int64_t>(layout.width) * layout.height > kMaxImagePixels) return false;
  if (layout.pixelOffset < layout.tableStart || layout.pixelOffset > size) return false;

  std::uint64_t stride = (static_cast<std::uint64_t>(layout.width) * layout.bits + 31) / 32 * 4;
  std::uint64_t rowBytes = (static_cast<std::uint64_t>(layout.width) * layout.bits + 7) / 8;
  // Writers that drop the padding after the last row are common enough to allow.
  std::uint64_t needed = stride * static_cast<std::uint64_t>(layout.height - 1) + rowBytes;
  return needed <= size - layout.pixelOffset;
}

bool ReadPalette(const std::uint8_t* data, const BmpLayout& layout, CImage& image) {
  std::size_t count = std::size_t{1} << layout.bits;
  if (layout.colorsUsed != 0) count = std::min<std::size_t>(count, layout.colorsUsed);
  count = std::min(count, (layout.pixelOffset - layout.tableStart) / layout.tableEntrySize);
  if (count == 0) return false;
  auto& palette = image.Palette();
  palette.resize(count);
  const std::uint8_t* entry = data + layout.tableStart;
  for (std::size_t i = 0; i < count; ++i, entry += layout.tableEntrySize)
    palette[i] = {entry[0], entry[1], entry[2], 0};
  return true;
}

bool SameMasks(const Masks& a, const Masks& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

// Pixels whose masks we cannot hold as they are: unpacked channel by channel.
bool UnpackBitfields(const std::uint8_t* data, const BmpLayout& layout, std::size_t stride, CImage& image) {
  Channel red(layout.masks.red), green(layout.masks.green), blue(layout.masks.blue), alpha(layout.masks.alpha);
  if (!red.Valid() || !green.Valid() || !blue.Valid() || !alpha.Valid()) return false;
  if ((layout.masks.red | layout.masks.green | layout.masks.blue) == 0) return false;
  bool withAlpha = layout.masks.alpha != 0;
  int outBits = withAlpha || layout.bits == 32 ? 32 : 24;
  if (!image.Create(layout.width, layout.height, outBits, withAlpha)) return false;
  int inBytes = layout.bits / 8, outBytes = outBits / 8;
  for (int y = 0; y < layout.height; ++y) {
    int sourceRow = layout.topDown ? y : layout.height - 1 - y;
    const std::uint8_t* in = data + layout.pixelOffset + stride * static_cast<std::size_t>(sourceRow);
    std::uint8_t* out = image.Row(y);
    for (int x = 0; x < layout.width; ++x, in += inBytes, out += outBytes) {
      std::uint32_t pixel = inBytes == 2 ? U16(in) : ReadLe32(in);
      out[0] = blue.Get(pixel), out[1] = green.Get(pixel), out[2] = red.Get(pixel);
      if (outBytes == 4) out[3] = withAlpha ? alpha.Get(pixel) : 0;
    }
  }
  return true;
}

}  // namespace

ImageStatus DecodeBmp(const std::uint8_t* data, std::size_t size, CImage& image) {
  BmpLayout layout;
  if (!data || !ParseHeaders(data, size, layout)) return ImageStatus::kFail;
  const std::size_t stride = (static_cast<std::size_t>(layout.width) * layout.bits + 31) / 32 * 4;

  if (layout.bits == 16 && !SameMasks(layout.masks, kMasks555)) {
    return UnpackBitfields(data, layout, stride, image) ? ImageStatus::kOk : ImageStatus::kFail;
  }
  bool hasAlpha = false;
  if (layout.bits == 32) {
    const Masks& m = layout.masks;
    bool plain = m.red == 0xFF0000 && m.green == 0xFF00 && m.blue == 0xFF && (m.alpha == 0 || m.alpha == 0xFF000000u);
    if (!plain) return UnpackBitfields(data, layout, stride, image) ? ImageStatus::kOk : ImageStatus::kFail;
    hasAlpha = m.alpha != 0;
  }

  if (!image.Create(layout.width, layout.height, layout.bits, hasAlpha)) return ImageStatus::kFail;
  if (layout.bits <= 8 && !ReadPalette(data, layout, image)) return ImageStatus::kFail;
  const std::size_t rowBytes = (static_cast<std::size_t>(layout.width) * layout.bits + 7) / 8;
  for (int y = 0; y < layout.height; ++y) {
    int sourceRow = layout.topDown ? y : layout.height - 1 - y;
    std::memcpy(image.Row(y), data + layout.pixelOffset + stride * static_cast<std::size_t>(sourceRow), rowBytes);
  }
  return ImageStatus::kOk;
}

std::optional<Bytes> EncodeBmp(const CImage& image) {
  if (image.IsNull()) return std::nullopt;
  const int bits = image.BitsPerPixel();
  const bool v4 = image.HasAlpha();
  std::size_t colors = 0;
  if (bits <= 8) colors = image.Palette().empty() ? std::size_t{1} << bits : image.Palette().size();
  const std::size_t headerSize = v4 ? kV4HeaderSize : kInfoHeaderSize;
  const std::size_t pixelOffset = kFileHeaderSize + headerSize + 4 * colors;
  const std::size_t pixelBytes = static_cast<std::size_t>(image.Pitch()) * image.Height();
  // kMaxImagePixels keeps this far below 4 GiB, so the 32-bit size field holds it.
  const std::size_t fileSize = pixelOffset + pixelBytes;

  Bytes out;
  out.reserve(fileSize);
  out.push_back('B');
  out.push_back('M');
  AppendLe32(out, static_cast<std::uint32_t>(fileSize));
  AppendLe32(out, 0);
  AppendLe32(out, static_cast<std::uint32_t>(pixelOffset));
  AppendLe32(out, static_cast<std::uint32_t>(headerSize));
  AppendLe32(out, static_cast<std::uint32_t>(image.Width()));
  AppendLe32(out, static_cast<std::uint32_t>(image.Height()));  // positive: bottom-up
  AppendLe16(out, static_cast<std::uint16_t>(1));
  AppendLe16(out, static_cast<std::uint16_t>(static_cast<std::uint32_t>(bits)));
  AppendLe32(out, v4 ? kBiBitfields : kBiRgb);
  // Uncompressed rows need no image size; 0 is what most writers put there.
  AppendLe32(out, v4 ? static_cast<std::uint32_t>(pixelBytes) : 0);
  AppendLe32(out, 0);
  AppendLe32(out, 0);
  AppendLe32(out, static_cast<std::uint32_t>(colors));
  AppendLe32(out, 0);
  if (v4) {
    for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) AppendLe32(out, mask);
    AppendLe32(out, 0x73524742);                     // 'sRGB'
    out.resize(kFileHeaderSize + kV4HeaderSize, 0);  // endpoints and gamma unused for sRGB
  }
  for (std::size_t i = 0; i < colors; ++i) {
    PaletteEntry entry = i < image.Palette().size() ? image.Palette()[i] : PaletteEntry{};
    out.insert(out.end(), {entry.blue, entry.green, entry.red, 0});
  }
  for (int y = image.Height() - 1; y >= 0; --y) out.insert(out.end(), image.Row(y), image.Row(y) + image.Pitch());
  return out;
}

}  // namespace glimpses

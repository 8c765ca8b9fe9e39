#include "extract/hex_preview.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <optional>

#include "extract/bytes.h"
#include "extract/image.h"

namespace glimpses {

namespace {

constexpr std::size_t kPaletteBytes = 768;
constexpr std::uint8_t kEscape = 0xFD;
// A header word is read into 64 bytes with its terminating NUL.
constexpr std::size_t kMaxWordLength = 63;

struct PreviewHeader {
  int width = 0;
  int height = 0;
  int count = 0;
};

// Reads "%s %d %d %d %s %d" the way sscanf would, but over a byte range
// that need not end in a NUL, with words bounded like "%63s" and a number
// that does not fit an int taken as no number at all.
class HeaderScanner {
 public:
  HeaderScanner(const std::uint8_t* begin, const std::uint8_t* end) : p_(begin), end_(end) {}

  bool Word() {
    SkipSpace();
    std::size_t length = 0;
    while (p_ < end_ && !IsSpace(*p_) && length < kMaxWordLength) ++p_, ++length;
    return length > 0;
  }

  bool Int(int& value) {
    SkipSpace();
    bool negative = false;
    if (p_ < end_ && (*p_ == '+' || *p_ == '-')) negative = *p_++ == '-';
    if (p_ == end_ || !IsDigit(*p_)) return false;
    std::int64_t magnitude = 0;
    for (; p_ < end_ && IsDigit(*p_); ++p_) {
      magnitude = magnitude * 10 + (*p_ - '0');
      if (magnitude > std::int64_t{INT_MAX} + 1) return false;
    }
    std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX) return false;
    value = static_cast<int>(signedValue);
    return true;
  }

 private:
  static bool IsSpace(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
  static bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
  void SkipSpace() {
    while (p_ < end_ && IsSpace(*p_)) ++p_;
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

std::optional<PreviewHeader> ScanPreviewHeader(const std::uint8_t* begin, const std::uint8_t* end) {
  // sscanf would stop at a NUL; so do we.
  if (const void* nul = std::memchr(begin, 0, static_cast<std::size_t>(end - begin))) {
    end = static_cast<const std::uint8_t*>(nul);
  }
  HeaderScanner scan(begin, end);
  PreviewHeader header;
  int depth = 0;  // always taken as 8-bit indices, whatever it says
  if (!scan.Word() || !scan.Int(header.width) || !scan.Int(header.height) || !scan.Int(depth) || !scan.Word() ||
      !scan.Int(header.count)) {
    return std::nullopt;
  }
  return header;
}

// width x height x 3, or nullopt when the size is not positive or the
// picture is larger than the image service would hold.
std::optional<std::size_t> PixelBlockSize(int width, int height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  if (static_cast<std::int64_t>(width) * height > kMaxImagePixels) return std::nullopt;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
}

constexpr std::array<std::int8_t, 256> MakeHexValues() {
  std::array<std::int8_t, 256> values{};
  for (auto& v : values) v = -1;
  for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<std::int8_t>(c - 'a' + 10);
  return values;
}

constexpr std::array<std::int8_t, 256> kHexValues = MakeHexValues();

// The pixel block (rows top-down, each pixel red, green, blue) as a 24-bit
// picture; nullopt when the block does not hold exactly width x height pixels.
std::optional<CImage> PixelBlockImage(const Bytes& pixels, int width, int height) {
  auto blockSize = PixelBlockSize(width, height);
  CImage image;
  if (!blockSize || pixels.size() != *blockSize || !image.Create(width, height, 24)) return std::nullopt;
  const std::uint8_t* in = pixels.data();
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = image.Row(y);
    for (int x = 0; x < width; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
  }
  return image;
}

}  // namespace

std::optional<CImage> FindHexPreview(const std::uint8_t* buffer, std::size_t dataLength) {
  if (!buffer) return std::nullopt;
  auto marker = FindBytes(buffer, "%AI7_Thumbnail:", dataLength);
  if (!marker) return std::nullopt;
  auto header = ScanPreviewHeader(buffer + *marker, buffer + dataLength);
  if (!header || header->count < 0) return std::nullopt;
  // Deliberately searched from the start of the data, not from the header.
  auto hexBytes = FindBytes(buffer, "Hex Bytes", dataLength);
  if (!hexBytes) return std::nullopt;
  // The text starts after "Hex Bytes" and the first byte of its line break.
  std::size_t textStart = *hexBytes + 10;
  std::string_view hexText;
  if (textStart < dataLength) {
    std::size_t textLength = std::min(static_cast<std::size_t>(header->count) + 1, dataLength - textStart);
    hexText = {reinterpret_cast<const char*>(buffer) + textStart, textLength};
  }
  return ConvertHexPreview(hexText, header->width, header->height);
}

std::optional<CImage> ConvertHexPreview(std::string_view hexText, int width, int height) {
  auto blockSize = PixelBlockSize(width, height);
  if (!blockSize) return std::nullopt;
  try {
    return PixelBlockImage(ExpandPalettePixels(DecodeHexDigits(hexText), *blockSize), width, height);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

Bytes DecodeHexDigits(std::string_view text) {
  Bytes bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    int value = kHexValues[static_cast<std::uint8_t>(c)];
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  return bytes;
}

Bytes ExpandPalettePixels(const Bytes& bytes, std::size_t maxBytes) {
  if (bytes.size() < kPaletteBytes) return {};
  const std::uint8_t* palette = bytes.data();
  const std::uint8_t* p = bytes.data() + kPaletteBytes;
  const std::uint8_t* end = bytes.data() + bytes.size();
  Bytes pixels;
  auto append = [&](std::uint8_t index, std::size_t count) {
    if (count > (maxBytes - pixels.size()) / 3) return false;
    const std::uint8_t* entry = palette + 3 * index;
    for (std::size_t i = 0; i < count; ++i) pixels.insert(pixels.end(), entry, entry + 3);
    return true;
  };

  const bool runLength = end - p >= 3 && p[0] == 'R' && p[1] == 'L' && p[2] == 'E';
  if (!runLength) {
    if (static_cast<std::size_t>(end - p) > maxBytes / 3) return {};
    pixels.reserve(static_cast<std::size_t>(end - p) * 3);
    for (; p < end; ++p) append(*p, 1);
    return pixels;
  }
  for (p += 3; p < end;) {
    std::uint8_t code = *p++;
    if (code != kEscape) {
      if (!append(code, 1)) return {};
      continue;
    }
    if (p == end) return {};  // escape with nothing after it
    std::uint8_t count = *p++;
    if (count == kEscape) {
      if (!append(kEscape, 1)) return {};
      continue;
    }
    if (p == end) return {};  // a run without its index
    if (!append(*p++, count)) return {};
  }
  return pixels;
}

}  // namespace glimpses

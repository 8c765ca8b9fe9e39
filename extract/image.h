// The image service: decodes BMP, PNG and JPEG pictures by their content into
// a CImage held in memory, and encodes a CImage in the format a file name's
// extension names. Used wherever a stored picture must become a PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"

namespace glimpses {

enum class ImageFormat { kBmp, kPng, kJpeg };

// The format whose signature starts `data`, or nullopt.
std::optional<ImageFormat> SniffImageFormat(const std::uint8_t* data, std::size_t size);

// The encoder a target path asks for, by its extension ignoring case:
// .png; .jpg/.jpeg/.jpe; .bmp. Nullopt for anything else or no extension.
std::optional<ImageFormat> FormatForExtension(const std::string& path);

enum class ImageStatus { kOk, kFail, kOutOfMemory };

// Pictures above this many pixels (4096 x 4096) are refused. Stored
// thumbnails and previews have a few hundred thousand pixels (the largest
// real one we know, an EPS TIFF preview, 1.2 million); this is ten times
// that with room to spare, and keeps one picture at most 64 MiB at 32 bits,
// so that a hostile header costs a file manager's thumbnail process neither
// gigabytes nor seconds.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{4096} * 4096;

// The depths a picture is held in: 1, 4 and 8 bits through a palette, 16,
// 24 and 32 bits direct.
constexpr bool IsPixelDepth(int bitsPerPixel) {
  return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 ||
         bitsPerPixel == 32;
}

struct PaletteEntry {
  std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
  bool operator==(const PaletteEntry&) const = default;
};

// A picture held in memory. Rows are stored top row first, `Pitch()` bytes
// apart (the row's bytes rounded up to a multiple of 4). Pixels are in BMP
// byte order: B, G, R for 24 bits; B, G, R, A (or X) for 32 bits; 16 bits
// are 5-5-5; 1, 4 and 8 bits are palette indices, most significant bits
// first, with `Palette()` of up to 256 entries.
class CImage {
 public:
  CImage() = default;

  // Allocates a zeroed picture. False (and the picture left empty) for
  // sizes that are not positive, an unsupported depth, or too many bytes.
  bool Create(int width, int height, int bitsPerPixel, bool hasAlpha = false);

  ImageStatus LoadFromFile(const std::string& path);
  ImageStatus LoadFromMemory(const std::uint8_t* data, std::size_t size);

  // Encodes by the extension of `path` (see FormatForExtension) and writes
  // the file whole or not at all; no encoder for the extension: kFail and
  // no file created.
  ImageStatus SaveToFile(const std::string& path) const;
  std::optional<Bytes> Encode(ImageFormat format) const;

  bool IsNull() const { return width_ == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int Pitch() const { return pitch_; }
  bool HasAlpha() const { return hasAlpha_; }
  std::uint8_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * pitch_; }
  const std::uint8_t* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * pitch_; }
  std::vector<PaletteEntry>& Palette() { return palette_; }
  const std::vector<PaletteEntry>& Palette() const { return palette_; }

 private:
  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  int pitch_ = 0;
  bool hasAlpha_ = false;
  Bytes pixels_;
  std::vector<PaletteEntry> palette_;
};

// A 24-bit copy of `image` (palette looked up, 5-5-5 widened, alpha or
// padding byte dropped), for encoders that take only true colour. Empty
// when `image` is empty or memory runs out.
CImage ToBgr24(const CImage& image);

}  // namespace glimpses

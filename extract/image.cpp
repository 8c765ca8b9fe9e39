#include "extract/image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "extract/bmp_codec.h"
#include "extract/jpeg_codec.h"
#include "extract/png_codec.h"

namespace glimpses {

namespace {

// Larger than any picture within kMaxImagePixels needs, with room for BMP
// padding and colour tables; keeps a stray huge file from being read whole.
constexpr std::size_t kMaxImageFileBytes = std::size_t{80} * 1024 * 1024;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// From the last '.' of the last path component on; empty when there is none.
std::string ExtensionOf(const std::string& path) {
  auto slash = path.rfind('/');
  std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  auto dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return "";
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(), LowerAscii);
  return extension;
}

}  // namespace

std::optional<ImageFormat> SniffImageFormat(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (!data) return std::nullopt;
  if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) return ImageFormat::kPng;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::kJpeg;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::kBmp;
  return std::nullopt;
}

std::optional<ImageFormat> FormatForExtension(const std::string& path) {
  std::string extension = ExtensionOf(path);
  if (extension == ".png") return ImageFormat::kPng;
  if (extension == ".jpg" || extension == ".jpeg" || extension == ".jpe") return ImageFormat::kJpeg;
  if (extension == ".bmp") return ImageFormat::kBmp;
  return std::nullopt;
}

bool CImage::Create(int width, int height, int bitsPerPixel, bool hasAlpha) {
  *this = CImage();
  if (!IsPixelDepth(bitsPerPixel)) return false;
  if (width <= 0 || height <= 0) return false;
  if (static_cast<std::int64_t>(width) * height > kMaxImagePixels) return false;
  // Both fit comfortably in 64 bits; the pixel cap keeps the pitch in an int.
  std::uint64_t pitch = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
  std::uint64_t total = pitch * static_cast<std::uint64_t>(height);
  try {
    pixels_.assign(static_cast<std::size_t>(total), 0);
    if (bitsPerPixel <= 8) palette_.assign(std::size_t{1} << bitsPerPixel, PaletteEntry{});
  } catch (const std::bad_alloc&) {
    *this = CImage();
    return false;
  }
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  pitch_ = static_cast<int>(pitch);
  hasAlpha_ = hasAlpha && bitsPerPixel == 32;
  return true;
}

ImageStatus CImage::LoadFromFile(const std::string& path) {
  auto data = ReadWholeFile(path, kMaxImageFileBytes);
  if (!data) {
    *this = CImage();
    return ImageStatus::kFail;
  }
  return LoadFromMemory(data->data(), data->size());
}

ImageStatus CImage::LoadFromMemory(const std::uint8_t* data, std::size_t size) {
  CImage decoded;
  ImageStatus status = ImageStatus::kFail;
  auto format = SniffImageFormat(data, size);
  try {
    if (format == ImageFormat::kBmp) status = DecodeBmp(data, size, decoded);
    if (format == ImageFormat::kPng) status = DecodePng(data, size, decoded);
    if (format == ImageFormat::kJpeg) status = DecodeJpeg(data, size, decoded);
  } catch (const std::bad_alloc&) {
    status = ImageStatus::kOutOfMemory;
  }
  // A half-decoded picture is never kept: the caller gets all or nothing.
  if (status != ImageStatus::kOk || decoded.IsNull()) {
    *this = CImage();
    return status == ImageStatus::kOk ? ImageStatus::kFail : status;
  }
  *this = std::move(decoded);
  return ImageStatus::kOk;
}

std::optional<Bytes> CImage::Encode(ImageFormat format) const {
  if (IsNull()) return std::nullopt;
  try {
    switch (format) {
      case ImageFormat::kBmp:
        return EncodeBmp(*this);
      case ImageFormat::kPng:
        return EncodePng(*this);
      case ImageFormat::kJpeg:
        return EncodeJpeg(*this);
    }
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

ImageStatus CImage::SaveToFile(const std::string& path) const {
  auto format = FormatForExtension(path);
  if (!format || IsNull()) return ImageStatus::kFail;
  auto bytes = Encode(*format);
  if (!bytes) return ImageStatus::kFail;
  return WriteFileAtomically(path, bytes->data(), bytes->size()) ? ImageStatus::kOk : ImageStatus::kFail;
}

CImage ToBgr24(const CImage& image) {
  CImage out;
  if (image.IsNull() || !out.Create(image.Width(), image.Height(), 24)) return CImage();
  const int bits = image.BitsPerPixel();
  const auto& palette = image.Palette();
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* in = image.Row(y);
    std::uint8_t* o = out.Row(y);
    for (int x = 0; x < image.Width(); ++x, o += 3) {
      if (bits <= 8) {
        int perByte = 8 / bits;
        int shift = 8 - bits * (x % perByte + 1);
        std::size_t index = (in[x / perByte] >> shift) & ((1u << bits) - 1);
        PaletteEntry entry = index < palette.size() ? palette[index] : PaletteEntry{};
        o[0] = entry.blue, o[1] = entry.green, o[2] = entry.red;
      } else if (bits == 16) {
        unsigned v = in[2 * x] | (in[2 * x + 1] << 8);
        auto widen = [](unsigned five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
        o[0] = widen(v & 31), o[1] = widen((v >> 5) & 31), o[2] = widen((v >> 10) & 31);
      } else {
        std::memcpy(o, in + static_cast<std::size_t>(x) * (bits / 8), 3);
      }
    }
  }
  return out;
}

}  // namespace glimpses

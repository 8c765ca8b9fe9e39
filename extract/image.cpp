#include "image.h"

namespace glimpses {

std::optional<ImageFormat> SniffImageFormat(const std::uint8_t*, std::size_t) { return std::nullopt; }
std::optional<ImageFormat> FormatForExtension(const std::string&) { return std::nullopt; }
bool CImage::Create(int, int, int, bool) { return false; }
ImageStatus CImage::LoadFromFile(const std::string&) { return ImageStatus::kFail; }
ImageStatus CImage::LoadFromMemory(const std::uint8_t*, std::size_t) { return ImageStatus::kFail; }
ImageStatus CImage::SaveToFile(const std::string&) const { return ImageStatus::kFail; }
std::optional<Bytes> CImage::Encode(ImageFormat) const { return std::nullopt; }
bool ConvertImageFile(const std::string&, const std::string&) { return false; }

}  // namespace glimpses

#include "hex_preview.h"

namespace glimpses {

std::string HexPreviewPath(const std::string& outputPath) {
  std::string base = outputPath.size() >= 4 ? outputPath.substr(0, outputPath.size() - 4) : std::string();
  return base + ".png";
}

bool ExtractHexPreview(const std::uint8_t*, std::size_t, const std::string&) { return false; }

}  // namespace glimpses

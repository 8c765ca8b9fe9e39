// The Illustrator hex preview: a 256-colour palette and (optionally
// run-length coded) indices written as hex digits among the document's
// comments, turned into a PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "file_util.h"

namespace glimpses {

// `outputPath` without its last four characters, followed by ".png":
// "plan.ai_T.jpg" gives "plan.ai_T.png".
std::string HexPreviewPath(const std::string& outputPath);

// Looks for the preview in the first `dataLength` bytes of `buffer` and, when
// it is complete, writes it as a PNG at HexPreviewPath(outputPath). True only
// when that PNG was written.
bool ExtractHexPreview(const std::uint8_t* buffer, std::size_t dataLength, const std::string& outputPath);

bool ConvertHexPreview(std::string_view hexText, int width, int height, const std::string& pngPath);
Bytes DecodeHexDigits(std::string_view text);
Bytes ExpandPalettePixels(const Bytes& bytes);
bool WriteBitmapFile(const Bytes& pixels, int width, int height, const std::string& path);

}  // namespace glimpses

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

// Decodes the hex text into a width x height picture and writes it as a PNG
// at `pngPath`. True only when that PNG was written: a pixel block of any
// other size, a bad run-length code or a size that is not positive writes
// nothing.
bool ConvertHexPreview(std::string_view hexText, int width, int height, const std::string& pngPath);

// The bytes spelt by the hex digits of `text`, two digits a byte, high
// first. Every other byte is skipped; an odd last digit is dropped.
Bytes DecodeHexDigits(std::string_view text);

// The pixel block (3 bytes a pixel, in the palette's red-green-blue order)
// of decoded preview bytes: a 768-byte palette, then indices, run-length
// coded after the marker "RLE" (0xFD n i: n pixels of i; 0xFD 0xFD: one of
// 0xFD). Empty when the palette is short or a code is cut off at the end.
Bytes ExpandPalettePixels(const Bytes& bytes);
// The same, but empty as soon as the block would exceed `maxBytes`: a header
// names the size it expects, and run-length codes can otherwise grow the
// block to hundreds of times the size of the data.
Bytes ExpandPalettePixels(const Bytes& bytes, std::size_t maxBytes);

}  // namespace glimpses

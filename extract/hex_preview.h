// The Illustrator hex preview: a 256-colour palette and (optionally
// run-length coded) indices written as hex digits among the document's
// comments, turned into a PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/file_util.h"
#include "extract/image.h"

namespace glimpses {

// The preview among the first `dataLength` bytes of `buffer`, when it is
// complete; nullopt otherwise.
std::optional<CImage> FindHexPreview(const std::uint8_t* buffer, std::size_t dataLength);

// Decodes the hex text into a width x height picture. Nullopt for a pixel
// block of any other size, a bad run-length code, or a size that is not
// positive or above kMaxImagePixels.
std::optional<CImage> ConvertHexPreview(std::string_view hexText, int width, int height);

// The bytes spelt by the hex digits of `text`, two digits a byte, high
// first. Every other byte is skipped; an odd last digit is dropped.
Bytes DecodeHexDigits(std::string_view text);

// The pixel block (3 bytes a pixel, in the palette's red-green-blue order)
// of decoded preview bytes: a 768-byte palette, then indices, run-length
// coded after the marker "RLE" (0xFD n i: n pixels of i; 0xFD 0xFD: one of
// 0xFD). Empty when the palette is short, a code is cut off at the end, or
// the block would exceed `maxBytes`: a header names the size it expects, and
// run-length codes can otherwise grow the block to hundreds of times the
// size of the data.
Bytes ExpandPalettePixels(const Bytes& bytes, std::size_t maxBytes);

}  // namespace glimpses

// Our own BMP reader and writer. The reader takes the uncompressed Windows
// and OS/2 layouts (1, 4, 8, 16, 24 and 32 bits, colour tables, bottom-up and
// top-down rows, BI_RGB and BI_BITFIELDS); run-length coded BMPs are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "extract/image.h"

namespace glimpses {

// Decodes the BMP file in `data` into `image`. kFail for anything malformed,
// truncated or above kMaxImagePixels; `image` is then left unspecified.
ImageStatus DecodeBmp(const std::uint8_t* data, std::size_t size, CImage& image);

// The BMP file of `image` at its own depth, rows bottom-up; a 32-bit picture
// with alpha gets a V4 header whose masks say so. Nullopt for an empty image.
std::optional<Bytes> EncodeBmp(const CImage& image);

}  // namespace glimpses

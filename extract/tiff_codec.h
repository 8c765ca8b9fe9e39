// TIFF through libtiff, read from memory: the preview pictures that EPS
// files written on Windows carry behind their binary header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "extract/image.h"

namespace glimpses {

// Decodes the first picture of the TIFF in `data` into a 24-bit image, or
// 32 bits when it has an alpha sample. Grey, palette and RGB pictures of 1
// to 16 bits a sample, in strips or tiles, with or without an alpha sample,
// keep their samples as stored, scaled to 8 bits (colour stored multiplied
// by alpha is divided back: PNG keeps the two apart); any other layout
// libtiff's RGBA reader takes (CMYK, YCbCr ...) goes through that reader. Any compression libtiff was built with. kFail
// on damage, on what libtiff refuses, and on pictures above kMaxImagePixels; libtiff's messages are swallowed.
ImageStatus DecodeTiff(const std::uint8_t* data, std::size_t size, CImage& image);

}  // namespace glimpses

// TIFF through libtiff, read from memory: the preview pictures that EPS
// files written on Windows carry behind their binary header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image.h"

namespace glimpses {

// Decodes the first picture of the TIFF in `data` (any layout libtiff's RGBA
// reader takes: bilevel, grey, palette, RGB, CMYK, with or without alpha, in
// any compression libtiff was built with) into a 24-bit image, or 32 bits
// with alpha when the TIFF has an alpha channel. kFail on damage, on what
// libtiff refuses, and on pictures above kMaxImagePixels; libtiff's
// messages are swallowed.
ImageStatus DecodeTiff(const std::uint8_t* data, std::size_t size, CImage& image);

}  // namespace glimpses

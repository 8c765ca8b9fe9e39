// JPEG through libjpeg-turbo, with an error manager that returns to us
// instead of printing and calling exit().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "extract/image.h"

namespace glimpses {

// Decodes the JPEG in `data` into `image`: colour as 24 bits, grey as 8-bit
// indices over a grey ramp, CMYK converted to 24 bits. kFail on damage, and,
// before anything is allocated, on a picture above kMaxImagePixels, a stream
// too short for the size it declares, or a progressive stream whose scans
// would cost more than a dozen passes over the largest picture.
ImageStatus DecodeJpeg(const std::uint8_t* data, std::size_t size, CImage& image);

// True when `data` is one whole JPEG stream, from its start marker at the
// first byte to its end marker at the last, that libjpeg decodes without an
// error or a warning; `image` then holds it. Stale fragments of a stream
// fail here however much of their header survived. With `pixelBudget`, a
// picture of more pixels than it holds is refused unread, and one that is
// tried is taken from it, decoded or not.
bool IsWholeJpeg(const std::uint8_t* data, std::size_t size, CImage& image, std::int64_t* pixelBudget = nullptr);

// The baseline JPEG of `image` at the library's default quality; alpha is
// dropped. Nullopt for an empty image.
std::optional<Bytes> EncodeJpeg(const CImage& image);

}  // namespace glimpses

// PNG through libpng. Palette pictures stay indexed (their transparency is
// dropped), true colour stays 24-bit, anything with alpha becomes 32-bit
// with alpha; errors come back as values, never as a message or an exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "extract/image.h"

namespace glimpses {

// Decodes the PNG in `data` into `image`:
//   palette 1/4/8 bits -> same depth and palette; 2 bits -> 8-bit indices;
//   grey up to 8 bits -> 8-bit indices over a grey ramp;
//   8-bit RGB -> 24 bits; 16-bit grey or RGB -> 32 bits without alpha;
//   any alpha channel or colour-key transparency -> 32 bits with alpha.
// Interlaced files decode like the others. kFail on damage or truncation.
ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image);

// kFast: deflate's fastest level, for files that are kept. kNone: stored
// blocks, for a hand-over file that its reader decodes once and discards (a
// thumbnailer's OUTPUT, which the file manager re-encodes into its cache).
enum class PngCompression { kFast, kNone };

// The PNG of `image`: indexed pictures as palette PNGs of the same depth,
// 32 bits with alpha as RGBA, everything else as 8-bit RGB.
std::optional<Bytes> EncodePng(const CImage& image, PngCompression compression = PngCompression::kFast);

}  // namespace glimpses

// PNG through libpng. Palette pictures stay indexed (their transparency is
// dropped), true colour stays 24-bit, anything with alpha becomes 32-bit
// with alpha; errors come back as values, never as a message or an exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "extract/image.h"

namespace glimpses {

// Decodes the PNG in `data` into `image`:
//   palette 1/4/8 bits -> same depth and palette; 2 bits -> 8-bit indices;
//   grey up to 8 bits -> 8-bit indices over a grey ramp;
//   8-bit RGB -> 24 bits; 16-bit grey or RGB -> 32 bits without alpha;
//   any alpha channel or colour-key transparency -> 32 bits with alpha.
// Interlaced files decode like the others. kFail on damage or truncation.
ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image);

// A text chunk: its keyword and its text as stored (Latin-1 in tEXt and
// zTXt, UTF-8 in iTXt).
struct PngText {
  std::string keyword;
  std::string text;
  bool operator==(const PngText&) const = default;
};

// A text chunk that states more bytes than this, or inflates to more, makes
// the file kFail: libpng allocates what a chunk states before reading it.
inline constexpr std::size_t kMaxPngTextBytes = 64 * 1024;

// DecodePng that also gives every text chunk, before and after the pixels,
// in file order. A file cut short anywhere before its end chunk is kFail.
ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image, std::vector<PngText>& text);

// kFast: deflate's fastest level, for files that are kept. kRunLength:
// deflate finding only runs of one byte, after the Up filter: zlib's
// cheapest sound setting for pictures written by the thousand, which
// bench/thumbcache_bench holds up against the thumbnail cache's own
// encoder. kNone: stored blocks, for a hand-over file that its reader
// decodes once and discards (a thumbnailer's OUTPUT, which the file manager
// re-encodes into its cache).
enum class PngCompression { kFast, kRunLength, kNone };

// The PNG of `image`: indexed pictures as palette PNGs of the same depth,
// 32 bits with alpha as RGBA, everything else as 8-bit RGB; `text` goes
// into tEXt chunks before the pixels (keywords of 1 to 79 Latin-1
// characters, texts without NUL). Nullopt when `text` breaks those rules.
std::optional<Bytes> EncodePng(const CImage& image, PngCompression compression = PngCompression::kFast,
                               const std::vector<PngText>& text = {});

}  // namespace glimpses

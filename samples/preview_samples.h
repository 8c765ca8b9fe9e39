// Builders of documents that carry only the previews read after the XMP
// thumbnail and the hex preview: EPS files with a binary header and a TIFF
// (written by libtiff) or WMF preview, EPSI grey previews, image-resource
// JPEGs, and InDesign documents whose only thumbnail is a short one.
#pragma once

#include <cstdint>
#include <string>

#include "corel_samples.h"
#include "file_util.h"

namespace glimpses {

enum class TiffLayout { kBilevel, kGrey8, kPalette4, kPalette8, kRgb, kRgba };
enum class TiffCompression { kNone, kLzw, kPackBits, kDeflate };

// What a TIFF of `layout` holds at (x, y): black or white for bilevel, a
// grey for grey, one of 16 or 256 palette colours, a colour (with alpha).
Rgba TiffSampleColour(TiffLayout layout, int x, int y);

// True when `a` and `b` look the same over black: equal, or, where they
// are translucent, equal within rounding once multiplied by their alpha.
bool SameVisibleColour(Rgba a, Rgba b);

// A TIFF of `width` x `height` pixels of TiffSampleColour, written by
// libtiff. Empty when libtiff cannot write it.
Bytes BuildTiff(int width, int height, TiffLayout layout, TiffCompression compression);

// The same layout with every pixel zero: quick to write at any size, and
// small once compressed.
Bytes BuildBlankTiff(int width, int height, TiffLayout layout, TiffCompression compression);

// An EPS file with a binary header: the 30-byte header, a small PostScript
// section, then the TIFF and the WMF (either may be empty). `postScript`
// replaces the default PostScript text when not empty.
Bytes BuildDosEps(const Bytes& tiff, const Bytes& wmf = {}, const std::string& postScript = {});

// The value EPSI previews hold at (x, y) for `depth` bits: 0 is white and
// the largest value black.
unsigned EpsiSampleValue(int x, int y, int depth);

// An EPS file whose preview is an EPSI block of `width` x `height` values of
// `depth` bits, its hex lines at most `lineBytes` bytes long.
std::string BuildEpsi(int width, int height, int depth, std::size_t lineBytes = 32);

// An EPS file as image editors save it: the image resources (a print-flags
// resource, then the thumbnail resource holding `jpeg`) in a
// %BeginPhotoshop hex block.
std::string BuildImageResourceEps(const Bytes& jpeg);
// The image resources alone (for damaging them in tests).
Bytes ImageResources(const Bytes& jpeg);
// Their hex block, claiming `claimedSize` bytes.
std::string PhotoshopBlock(const Bytes& resources, std::size_t claimedSize);

}  // namespace glimpses

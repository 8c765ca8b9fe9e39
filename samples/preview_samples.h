// Builders of documents that carry only the previews read after the XMP
// thumbnail and the hex preview: EPS files with a binary header and a TIFF
// (written by libtiff) or WMF preview, EPSI grey previews, image-resource
// JPEGs, and InDesign documents whose only thumbnail is a short one.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_util.h"
#include "samples/corel_samples.h"

namespace glimpses {

// The alpha layouts: kRgba, kGreyAlpha16 (16 bits a sample) and
// kPaletteAlpha (as InDesign writes its previews) with unassociated alpha,
// kRgbaAssociated with colour stored multiplied by alpha.
enum class TiffLayout {
  kBilevel,
  kGrey8,
  kPalette4,
  kPalette8,
  kRgb,
  kRgba,
  kGreyAlpha16,
  kPaletteAlpha,
  kRgbaAssociated
};
enum class TiffCompression { kNone, kLzw, kPackBits, kDeflate };
// Strips of rows top first, strips bottom row first (orientation 4),
// 16 x 16 tiles, or strips holding one sample each (planar configuration 2).
enum class TiffStorage { kStrips, kBottomUp, kTiles, kPlanes };

// What a TIFF of `layout` holds at (x, y): black or white for bilevel, a
// grey for grey, one of 16 or 256 palette colours, a colour; the alpha
// layouts add alpha of every value from 0 (colour apart from alpha, as
// PNG keeps it).
Rgba TiffSampleColour(TiffLayout layout, int x, int y);

// True when `a` and `b` look the same over black: equal, or, where they
// are translucent, equal within rounding once multiplied by their alpha.
bool SameVisibleColour(Rgba a, Rgba b);

// A TIFF of `width` x `height` pixels of TiffSampleColour, written by
// libtiff. Empty when libtiff cannot write it.
Bytes BuildTiff(int width, int height, TiffLayout layout, TiffCompression compression,
                TiffStorage storage = TiffStorage::kStrips);

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

// How an EPSI block is laid out: "%" and the digits of at most `lineBytes`
// bytes a line, then %%EndImage; or as ps2epsi writes it: "% " before the
// digits, a blank "% " line after every row that the header's line count
// leaves out, and no %%EndImage.
enum class EpsiLayout { kPlain, kPs2epsi };

// An EPS file whose preview is an EPSI block of `width` x `height` values of
// `depth` bits, each row broken into hex lines of at most `lineBytes` bytes.
std::string BuildEpsi(int width, int height, int depth, std::size_t lineBytes = 32,
                      EpsiLayout layout = EpsiLayout::kPlain);

// An EPS file as image editors save it: the image resources (a print-flags
// resource, then the thumbnail resource holding `jpeg`) in a
// %BeginPhotoshop hex block.
std::string BuildImageResourceEps(const Bytes& jpeg);
// The image resources alone (for damaging them in tests).
Bytes ImageResources(const Bytes& jpeg);
// Their hex block, claiming `claimedSize` bytes.
std::string PhotoshopBlock(const Bytes& resources, std::size_t claimedSize);

}  // namespace glimpses

// Shrinking pictures for thumbnails: an area-averaging (box) filter, each
// target pixel the mean of the source area it covers, weighed by how much of
// each source pixel falls inside. Fine detail blends instead of aliasing.
#pragma once

#include "extract/image.h"

namespace glimpses {

struct ImageSize {
  int width = 0;
  int height = 0;
  bool operator==(const ImageSize&) const = default;
};

// The size of a width x height picture shrunk, aspect ratio kept, so that
// its longer edge is at most `maxEdge`; the picture's own size when it fits
// already (never larger). No edge becomes shorter than 1. {0, 0} when a
// size or `maxEdge` is not positive.
ImageSize FitWithin(int width, int height, int maxEdge);

// `image` shrunk to FitWithin(..., maxEdge): 32 bits with alpha when the
// source has alpha (averaged with colours weighed by their alpha, so that
// transparent pixels lend no colour), otherwise 24 bits. A picture that fits
// already comes back as an unchanged copy. Empty when `image` is empty,
// `maxEdge` is not positive or memory runs out.
CImage ScaleDownToFit(const CImage& image, int maxEdge);

}  // namespace glimpses

// Shared by the picture fuzzers: a decoded picture goes through every encoder,
// and a PNG or BMP of it must decode again to the same size.
#pragma once

#include <cstdlib>

#include "image.h"

namespace glimpses {

inline void EncodeEveryWay(const CImage& image) {
  for (ImageFormat format : {ImageFormat::kPng, ImageFormat::kBmp, ImageFormat::kJpeg}) {
    auto bytes = image.Encode(format);
    if (!bytes || format == ImageFormat::kJpeg) continue;
    CImage again;
    if (again.LoadFromMemory(bytes->data(), bytes->size()) != ImageStatus::kOk || again.Width() != image.Width() ||
        again.Height() != image.Height()) {
      std::abort();
    }
  }
}

}  // namespace glimpses

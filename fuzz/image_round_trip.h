// Shared by the picture fuzzers: a decoded picture goes through every encoder,
// and a PNG or BMP of it must decode again to the same size. A few hundred
// bytes of JPEG can stand for 15 million pixels, which take seconds to
// encode three times; encoders meet every depth and layout in small
// pictures, so big ones are only decoded.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "extract/image.h"

namespace glimpses {

inline constexpr std::int64_t kMaxRoundTripPixels = 1 << 20;

inline void EncodeEveryWay(const CImage& image) {
  if (std::int64_t{image.Width()} * image.Height() > kMaxRoundTripPixels) return;
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

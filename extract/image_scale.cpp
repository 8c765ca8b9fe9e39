#include "extract/image_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace glimpses {

namespace {

// One target pixel along one axis: the first source pixel it covers and the
// share each covered pixel has in it (the shares sum to 1).
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> SpansFor(int source, int target) {
  std::vector<Span> spans(static_cast<std::size_t>(target));
  const double scale = static_cast<double>(source) / target;
  for (int i = 0; i < target; ++i) {
    const double begin = i * scale;
    const double end = (i + 1) * scale;
    const int first = static_cast<int>(begin);
    const int last = std::min(source, static_cast<int>(std::ceil(end)));
    Span& span = spans[static_cast<std::size_t>(i)];
    span.first = first;
    for (int j = first; j < last; ++j) {
      const double covered = std::min(end, j + 1.0) - std::max(begin, static_cast<double>(j));
      span.weights.push_back(static_cast<float>(covered / scale));
    }
  }
  return spans;
}

std::uint8_t ToByte(float value) { return static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f)); }

// Box filter over a 24-bit (B, G, R) or 32-bit-with-alpha (B, G, R, A)
// source, `Channels` being 3 or 4 so that the inner loops carry no branch.
// With alpha, colours are carried premultiplied while they are summed and
// divided by the summed alpha at the end.
template <int Channels>
class BoxScaler {
 public:
  BoxScaler(const CImage& source, ImageSize target)
      : source_(source),
        columns_(SpansFor(source.Width(), target.width)),
        rows_(SpansFor(source.Height(), target.height)),
        sourceRow_(static_cast<std::size_t>(target.width) * Channels),
        sum_(sourceRow_.size()) {}

  bool Run(CImage& out) {
    const int width = static_cast<int>(columns_.size());
    const int height = static_cast<int>(rows_.size());
    if (!out.Create(width, height, Channels * 8, Channels == 4)) return false;
    for (int y = 0; y < height; ++y) {
      std::fill(sum_.begin(), sum_.end(), 0.0f);
      const Span& span = rows_[static_cast<std::size_t>(y)];
      for (std::size_t k = 0; k < span.weights.size(); ++k) {
        ShrinkRow(span.first + static_cast<int>(k));
        const float weight = span.weights[k];
        for (std::size_t i = 0; i < sum_.size(); ++i) sum_[i] += weight * sourceRow_[i];
      }
      StoreRow(out.Row(y));
    }
    return true;
  }

 private:
  // The source row `y` shrunk horizontally into sourceRow_.
  void ShrinkRow(int y) {
    const std::uint8_t* in = source_.Row(y);
    float* out = sourceRow_.data();
    for (const Span& span : columns_) {
      float b = 0, g = 0, r = 0, a = 0;
      const std::uint8_t* p = in + static_cast<std::size_t>(span.first) * Channels;
      for (float w : span.weights) {
        if constexpr (Channels == 4) w *= p[3] * (1.0f / 255.0f);
        b += w * p[0];
        g += w * p[1];
        r += w * p[2];
        a += w;
        p += Channels;
      }
      *out++ = b, *out++ = g, *out++ = r;
      if constexpr (Channels == 4) *out++ = a;
    }
  }

  void StoreRow(std::uint8_t* row) const {
    for (std::size_t i = 0; i < sum_.size(); i += Channels) {
      const float alpha = Channels == 4 ? sum_[i + 3] : 1.0f;
      const float unpremultiply = alpha > 0 ? 1.0f / alpha : 0.0f;
      for (int c = 0; c < 3; ++c) *row++ = ToByte(sum_[i + c] * unpremultiply);
      if constexpr (Channels == 4) *row++ = ToByte(alpha * 255.0f);
    }
  }

  const CImage& source_;
  const std::vector<Span> columns_;
  const std::vector<Span> rows_;
  std::vector<float> sourceRow_;
  std::vector<float> sum_;
};

}  // namespace

ImageSize FitWithin(int width, int height, int maxEdge) {
  if (width <= 0 || height <= 0 || maxEdge <= 0) return {};
  const int longer = std::max(width, height);
  if (longer <= maxEdge) return {width, height};
  auto shrink = [&](int edge) {
    const std::int64_t scaled = (static_cast<std::int64_t>(edge) * maxEdge + longer / 2) / longer;
    return static_cast<int>(std::max<std::int64_t>(1, scaled));
  };
  return {shrink(width), shrink(height)};
}

CImage ScaleDownToFit(const CImage& image, int maxEdge) {
  const ImageSize target = FitWithin(image.Width(), image.Height(), maxEdge);
  if (image.IsNull() || target.width == 0) return CImage();
  if (target == ImageSize{image.Width(), image.Height()}) return image;
  try {
    // Alpha only ever comes with 32 bits; every other depth is averaged as
    // true colour.
    const bool keepsDepth = image.HasAlpha() || image.BitsPerPixel() == 24;
    const CImage converted = keepsDepth ? CImage() : ToBgr24(image);
    const CImage& source = keepsDepth ? image : converted;
    if (source.IsNull()) return CImage();
    CImage out;
    const bool ok =
        source.BitsPerPixel() == 32 ? BoxScaler<4>(source, target).Run(out) : BoxScaler<3>(source, target).Run(out);
    return ok ? out : CImage();
  } catch (const std::bad_alloc&) {
    return CImage();
  }
}

}  // namespace glimpses

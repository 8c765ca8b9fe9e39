// The thumbnail scaler over whatever the decoders accept. The first two
// bytes (little-endian) are the size asked for; the rest is a picture file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "extract/image.h"
#include "extract/image_scale.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int maxEdge = data[0] | (data[1] & 0x0F) << 8;  // 0 to 4095, as the thumbnailer allows
  glimpses::CImage image;
  // Large pictures only slow the fuzzer down; the arithmetic is the same.
  if (image.LoadFromMemory(data + 2, size - 2) != glimpses::ImageStatus::kOk ||
      static_cast<std::int64_t>(image.Width()) * image.Height() > 4 * 1024 * 1024) {
    return 0;
  }
  glimpses::CImage small = glimpses::ScaleDownToFit(image, maxEdge);
  const glimpses::ImageSize expected = glimpses::FitWithin(image.Width(), image.Height(), maxEdge);
  if (small.Width() != expected.width || small.Height() != expected.height) std::abort();
  if (!small.IsNull()) small.Encode(glimpses::ImageFormat::kPng);
  return 0;
}

// The JPEG decoder from memory, and the encoders over whatever it accepts.
// A few hundred bytes can declare millions of pixels (and a progressive
// picture rescans them all for each of its scans), which takes a fifth of a
// second under the sanitizers: inputs whose frame header declares more than
// 256 x 256 pixels are left out, or the fuzzer would spend nearly all its
// time on them. The code that decodes them is the same that decodes small
// pictures.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "extract/jpeg_codec.h"
#include "fuzz/image_round_trip.h"

namespace {

constexpr std::int64_t kMaxFuzzedPixels = 256 * 256;

// The largest size any frame header (SOF0 to SOF15, not DHT, JPG or DAC)
// declares, in pixels; 0 when there is none. Every one counts, since the
// decoder may settle on a later one than the first.
std::int64_t DeclaredPixels(const std::uint8_t* data, std::size_t size) {
  std::int64_t largest = 0;
  for (std::size_t i = 0; i + 8 < size; ++i) {
    const std::uint8_t marker = data[i + 1];
    if (data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) {
      continue;
    }
    const int height = data[i + 5] << 8 | data[i + 6];
    const int width = data[i + 7] << 8 | data[i + 8];
    largest = std::max(largest, std::int64_t{width} * height);
  }
  return largest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (DeclaredPixels(data, size) > kMaxFuzzedPixels) return -1;
  glimpses::CImage image;
  if (glimpses::DecodeJpeg(data, size, image) == glimpses::ImageStatus::kOk) glimpses::EncodeEveryWay(image);
  return 0;
}

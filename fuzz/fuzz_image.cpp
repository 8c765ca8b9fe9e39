// The picture decoders, and the encoders over whatever they accept.
#include <cstddef>
#include <cstdint>

#include "image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::CImage image;
  if (image.LoadFromMemory(data, size) == glimpses::ImageStatus::kOk) {
    image.Encode(glimpses::ImageFormat::kPng);
    image.Encode(glimpses::ImageFormat::kBmp);
  }
  return 0;
}

// The PNG decoder from memory, and the encoders over whatever it accepts.
#include <cstddef>
#include <cstdint>

#include "image_round_trip.h"
#include "png_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::CImage image;
  if (glimpses::DecodePng(data, size, image) == glimpses::ImageStatus::kOk) glimpses::EncodeEveryWay(image);
  return 0;
}

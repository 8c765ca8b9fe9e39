// The BMP decoder from memory, and the encoders over whatever it accepts.
#include <cstddef>
#include <cstdint>

#include "extract/bmp_codec.h"
#include "fuzz/image_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::CImage image;
  if (glimpses::DecodeBmp(data, size, image) == glimpses::ImageStatus::kOk) glimpses::EncodeEveryWay(image);
  return 0;
}

// The image resources of EPS files saved by image editors: the
// %BeginPhotoshop hex block, its resource blocks and the thumbnail JPEG.
#include <cstddef>
#include <cstdint>

#include "extract/stored_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::FindImageResourceThumbnail(data, size);
  return 0;
}

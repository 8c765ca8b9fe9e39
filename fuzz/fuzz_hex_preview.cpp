// The Illustrator hex preview, straight from memory: the header scan, the
// hex digits, the palette and its run-length codes, the picture made.
#include <cstddef>
#include <cstdint>

#include "extract/hex_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::FindHexPreview(data, size);
  return 0;
}

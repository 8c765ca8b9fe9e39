// The Illustrator hex preview, straight from memory: the header scan, the
// hex digits, the palette and its run-length codes, the PNG written.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "hex_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (glimpses::ExtractHexPreview(data, size, glimpses::FuzzScratch().Path("out_T.jpg"))) {
    glimpses::RemoveFuzzOutput("out_T.png");
  }
  return 0;
}

// The Illustrator hex preview, straight from memory: the header scan, the
// hex digits, the palette and its run-length codes, the PNG written.
#include <cstddef>
#include <cstdint>

#include "hex_preview.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  static const std::string output = scratch.Path("out_T.jpg");
  if (glimpses::ExtractHexPreview(data, size, output)) scratch.Remove(glimpses::HexPreviewPath(output));
  return 0;
}

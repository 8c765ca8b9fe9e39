// Illustrator, EPS, PDF and InDesign documents (told apart by content, not
// by name): the key search over growing reads, the element, attribute and
// wrapped forms of the value, the base64 decoding, and the hex preview the
// route falls back on.
#include <cstddef>
#include <cstdint>

#include "adobe_thumbnail.h"
#include "hex_preview.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  static const std::string output = scratch.Path("out_T.jpg");
  const std::string document = scratch.WriteInput("in.ai", data, size);
  switch (glimpses::ExtractAdobeThumbnailRoute(document, output)) {
    case glimpses::AdobeRoute::kXmp:
      scratch.Remove(output);
      break;
    case glimpses::AdobeRoute::kHexPreview:
      scratch.Remove(glimpses::HexPreviewPath(output));
      break;
    case glimpses::AdobeRoute::kNone:
      break;
  }
  return 0;
}

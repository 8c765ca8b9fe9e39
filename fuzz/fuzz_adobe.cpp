// Illustrator, EPS, InDesign and PDF documents: the XMP search, the base64
// value and the hex preview.
#include <cstddef>
#include <cstdint>

#include "adobe_thumbnail.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  std::string document = scratch.WriteInput("in.ai", data, size);
  std::string output = scratch.Path("out_T.jpg");
  glimpses::ExtractAdobeThumbnail(document, output);
  scratch.Remove("out_T.jpg");
  scratch.Remove("out_T.png");
  return 0;
}

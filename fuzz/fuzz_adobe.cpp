// Illustrator, EPS, InDesign and PDF documents: the XMP search, the base64
// value and the hex preview.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "adobe_thumbnail.h"
#include "scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  std::string document = scratch.Write("in.ai", std::string_view(reinterpret_cast<const char*>(data), size));
  // Without the input on disk every later run would be meaningless.
  if (document.empty()) std::abort();
  std::string output = scratch.Path("out_T.jpg");
  glimpses::ExtractAdobeThumbnail(document, output);
  std::remove(output.c_str());
  std::remove(scratch.Path("out_T.png").c_str());
  return 0;
}

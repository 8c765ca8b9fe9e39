// Illustrator, EPS, PDF and InDesign documents (told apart by content, not
// by name): the key search over growing reads, the element, attribute and
// wrapped forms of the value, the base64 decoding, the hex preview and the
// other stored previews the route falls back on.
#include <cstddef>
#include <cstdint>

#include "extract/adobe_thumbnail.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string document = glimpses::WriteFuzzInput("in.ai", data, size);
  glimpses::ExtractAdobeThumbnail(document, glimpses::FuzzScratch().Path("out_T.jpg"));
  glimpses::RemoveFuzzOutput("out_T.jpg");
  glimpses::RemoveFuzzOutput("out_T.png");
  return 0;
}

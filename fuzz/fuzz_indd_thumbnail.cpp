// InDesign documents: the XMP thumbnail search with its 10,240-byte rule and
// the check that lets a shorter value through only as a whole JPEG. The
// input follows the InDesign signature, so every run takes that path.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "extract/adobe_thumbnail.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> document = {0x06, 0x06, 0xED, 0xF5};
  document.insert(document.end(), data, data + size);
  std::string path = glimpses::WriteFuzzInput("in.indd", document.data(), document.size());
  glimpses::ExtractAdobeThumbnail(path, glimpses::FuzzScratch().Path("out_T.jpg"));
  glimpses::RemoveFuzzOutput("out_T.jpg");
  glimpses::RemoveFuzzOutput("out_T.png");
  return 0;
}

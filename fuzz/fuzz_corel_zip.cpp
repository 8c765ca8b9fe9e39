// ZIP-generation CorelDRAW documents: the archive reader, the lookup of both
// thumbnail entries and whatever picture they hold, converted to PNG.
#include <cstddef>
#include <cstdint>

#include "extract/corel_thumbnail.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string document = glimpses::WriteFuzzInput("in.cdr", data, size);
  glimpses::ExtractCorelThumbnail(document, glimpses::FuzzScratch().Path("out.png"));
  glimpses::RemoveFuzzOutput("out.png");
  return 0;
}

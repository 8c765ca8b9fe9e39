// RIFF-generation CorelDRAW documents: the version probe, the chunk walk,
// the bitmap built from the DISP chunk and its conversion to PNG.
#include <cstddef>
#include <cstdint>

#include "extract/corel_thumbnail.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string document = glimpses::WriteFuzzInput("in.cdr", data, size);
  glimpses::BuildDispBitmap(document);
  glimpses::ExtractCorelThumbnail(document, glimpses::FuzzScratch().Path("out.png"));
  glimpses::RemoveFuzzOutput("out.png");
  return 0;
}

// RIFF-generation CorelDRAW documents: the version probe, the chunk walk,
// the bitmap built from the DISP chunk and its conversion to PNG.
#include <cstddef>
#include <cstdint>

#include "corel_thumbnail.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  static const std::string output = scratch.Path("out.png");
  const std::string document = scratch.WriteInput("in.cdr", data, size);
  glimpses::BuildDispBitmap(document);
  if (glimpses::ExtractCorelThumbnail(document, output)) scratch.Remove(output);
  return 0;
}

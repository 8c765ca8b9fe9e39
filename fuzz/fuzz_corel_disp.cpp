// RIFF-generation CorelDRAW documents: the chunk walk, the bitmap built from
// the DISP chunk and its conversion.
#include <cstddef>
#include <cstdint>

#include "corel_thumbnail.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  std::string document = scratch.WriteInput("in.cdr", data, size);
  glimpses::ProbeCorelVersion(document);
  glimpses::ExtractDispBitmap(document, scratch.Path("disp.bmp"));
  glimpses::ExtractCorelThumbnail(document, scratch.Path("out.png"));
  scratch.Remove("disp.bmp");
  scratch.Remove("out.png");
  return 0;
}

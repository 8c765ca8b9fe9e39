// RIFF-generation CorelDRAW documents: the chunk walk, the bitmap built from
// the DISP chunk and its conversion.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "corel_thumbnail.h"
#include "scratch_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  std::string document = scratch.Write("in.cdr", std::string_view(reinterpret_cast<const char*>(data), size));
  // Without the input on disk every later run would be meaningless.
  if (document.empty()) std::abort();
  glimpses::ProbeCorelVersion(document);
  glimpses::BuildDispBitmap(document);
  glimpses::ExtractCorelThumbnail(document, scratch.Path("out.png"));
  std::remove(scratch.Path("out.png").c_str());
  return 0;
}

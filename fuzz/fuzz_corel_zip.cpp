// ZIP-generation CorelDRAW documents: the archive reader, the lookup of both
// thumbnail entries and whatever picture they hold, converted to PNG.
#include <cstddef>
#include <cstdint>

#include "corel_thumbnail.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  static const std::string output = scratch.Path("out.png");
  const std::string document = scratch.WriteInput("in.cdr", data, size);
  if (glimpses::ExtractCorelThumbnail(document, output)) scratch.Remove(output);
  return 0;
}

// ZIP-generation CorelDRAW documents: the archive reader, the entry copy
// and the conversion of whatever picture the entry holds.
#include <cstddef>
#include <cstdint>

#include "corel_thumbnail.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const glimpses::ScratchFolder scratch;
  std::string document = scratch.WriteInput("in.cdr", data, size);
  glimpses::ExtractZipEntry(document, "previews/thumbnail.png", scratch.Path("entry.bin"));
  glimpses::ExtractCorelThumbnail(document, scratch.Path("out.png"));
  scratch.Remove("entry.bin");
  scratch.Remove("out.png");
  return 0;
}

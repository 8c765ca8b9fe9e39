// EPSI previews: the %%BeginPreview header and its lines of hex digits.
#include <cstddef>
#include <cstdint>

#include "extract/stored_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::FindEpsiPreview(data, size);
  return 0;
}

// The binary header of EPS files written on Windows and the TIFF preview it
// points at, decoded by libtiff from memory.
#include <cstddef>
#include <cstdint>

#include "extract/stored_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glimpses::DocumentBytes document{
      data, size, true, static_cast<std::int64_t>(size),
      [&](std::int64_t offset, std::size_t length) -> std::optional<glimpses::Bytes> {
        if (offset < 0 || static_cast<std::size_t>(offset) > size || length > size - static_cast<std::size_t>(offset)) {
          return std::nullopt;
        }
        return glimpses::Bytes(data + offset, data + offset + length);
      }};
  glimpses::FindEpsTiffPreview(document);
  return 0;
}

// The metadata reader over any bytes: the packet search, the packets handed
// to the XMP parser and the choice among them, the PostScript header
// comments, the PDF header and CorelDRAW's RIFF forms. The first byte picks
// the name the document is read under.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "metadata/document_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr const char* kNames[] = {"in.pdf", "in.ai", "in.eps", "in.indd", "in.cdr"};
  const char* name = kNames[data[0] % (sizeof kNames / sizeof kNames[0])];
  const std::string document = glimpses::WriteFuzzInput(name, data + 1, size - 1);
  if (auto metadata = glimpses::ReadDocumentMetadata(document)) glimpses::VersionLabel(*metadata);
  glimpses::RemoveFuzzOutput(name);
  return 0;
}

// A stored JPEG on its way to a contact sheet: decoded for its pixels, its
// header read to decide whether the PDF carries it as it is, and then read
// again by cairo, which embeds it.
#include <cstddef>
#include <cstdint>

#include "contact_sheet/contact_sheet.h"
#include "fuzz/fuzz_input.h"
#include "samples/adobe_samples.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const glimpses::Bytes document = glimpses::BuildAdobeDocument(glimpses::Bytes(data, data + size), {});
  const std::string path = glimpses::WriteFuzzInput("in.pdf", document.data(), document.size());
  glimpses::ContactSheetHeader header;
  header.date = "2024-05-17";  // no clock reading in the loop
  glimpses::WriteContactSheet({path}, header, {}, glimpses::FuzzScratch().Path("sheet.pdf"));
  glimpses::RemoveFuzzOutput("sheet.pdf");
  return 0;
}

// A catalogue built elsewhere (--catalogue FILE) is read only, but it is
// bytes from outside all the same: any file opens as a catalogue or is
// refused with a reason, and what opens answers every question asked of it
// without a crash, an endless loop or an allocation it does not hold. A
// refused file must say why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/catalogue_store.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = glimpses::WriteFuzzInput("catalogue.sqlite", data, size);
  std::string error;
  const std::unique_ptr<glimpses::CatalogueStore> store =
      glimpses::CatalogueStore::Open(path, glimpses::CatalogueMode::kReadOnly, &error);
  if (!store) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::vector<std::pair<std::string, glimpses::FileStamp>> stamps = store->Reload();
  for (const auto& [stored, stamp] : stamps) {
    store->Find(stored);
    store->MakerOf(stored);
  }
  for (int field = 1; field <= static_cast<int>(glimpses::MetadataField::kLink); ++field) {
    for (const char* pattern : {"a", "*", "he?", "[x"})
      store->DocumentsWith(static_cast<glimpses::MetadataField>(field), pattern);
  }
  // What is read meanwhile goes into memory beside the file.
  glimpses::DocumentMetadata metadata;
  metadata.fonts = {{"Helvetica", "Helvetica", "", "", ""}};
  metadata.pages = 3;
  const std::string added = stamps.empty() ? std::string("/new.pdf") : stamps.front().first;
  if (store->Apply({{added, {1, 2, 3}, metadata}}, {}, &error)) {
    const std::optional<glimpses::CataloguedDocument> found = store->Find(added);
    if (!found || found->pages != 3) std::abort();
  }
  return 0;
}

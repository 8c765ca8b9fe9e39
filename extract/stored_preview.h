// Previews that documents store besides the XMP thumbnail and the hex
// preview: the TIFF behind an EPS binary header, EPSI grey bitmaps, the
// image-resource JPEG of EPS files saved by image editors, and small
// InDesign thumbnails. They are looked at only when those found nothing;
// of several, the one with the most pixels wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "extract/bytes.h"
#include "extract/stored_picture.h"

namespace glimpses {

// Reads `size` bytes at `offset` of the document; nullopt on a read error or
// when fewer bytes arrive.
using RangeReader = std::function<std::optional<Bytes>(std::int64_t offset, std::size_t size)>;

// The bytes of the document already read, from offset 0 unless the document
// is a large InDesign file (then no binary header is looked for).
struct DocumentBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool fromStart = true;
  std::int64_t fileSize = 0;
  RangeReader readRange;
};

// Looks for every stored preview in `document` and gives the largest of them
// and `found` (what the caller found first, which wins a tie). Readers are
// asked one after another and only the largest picture so far is kept, so a
// document holding several large previews costs the memory of two. When
// there is none, the most telling failure.
PictureRead FindStoredPreview(const DocumentBytes& document, PictureRead found);

// Where the PostScript of `data` (a document's first bytes) starts: 0 when it
// starts with "%!", the section an EPS binary header names when that fits
// `fileSize`, else nullopt.
std::optional<std::size_t> PostScriptStart(const std::uint8_t* data, std::size_t size, std::int64_t fileSize);

// The readers FindStoredPreview asks, each on its own (the fuzzers call
// them on bytes in memory).
PictureRead FindEpsTiffPreview(const DocumentBytes& document);
PictureRead FindEpsiPreview(const std::uint8_t* data, std::size_t size);
PictureRead FindImageResourceThumbnail(const std::uint8_t* data, std::size_t size);

}  // namespace glimpses

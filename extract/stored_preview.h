// Previews that documents store besides the XMP thumbnail and the hex
// preview: the TIFF behind an EPS binary header, EPSI grey bitmaps, the
// image-resource JPEG of EPS files saved by image editors, and small
// InDesign thumbnails. They are looked at only when those found nothing;
// of several, the one with the most pixels is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"
#include "extract_result.h"
#include "image.h"

namespace glimpses {

// One stored preview, ready to be written.
struct StoredPreview {
  ExtractRoute route = ExtractRoute::kNone;
  Bytes jpeg;    // a JPEG written exactly as stored; empty when `image` is the picture
  CImage image;  // decoded pixels; for a JPEG, what the check decoded
};

// What one reader found: a preview, or a failure saying why there is none.
struct PreviewFind {
  std::optional<StoredPreview> preview;
  ExtractResult failure;

  static PreviewFind Found(StoredPreview preview) { return {std::move(preview), {}}; }
  static PreviewFind Failed(ExtractStatus status, std::string detail = {}) {
    return {std::nullopt, ExtractResult::Failed(status, std::move(detail))};
  }
};

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

// Looks for every stored preview in `document` (plus `more`, found by the
// caller) and writes the largest: a stored JPEG at `outputPath`, a decoded
// picture as a PNG at HexPreviewPath(outputPath). When there is none, the
// most telling failure.
ExtractResult ExtractStoredPreview(const DocumentBytes& document, std::vector<PreviewFind> more,
                                   const std::string& outputPath);

// The readers ExtractStoredPreview asks, each on its own (the fuzzers call
// them on bytes in memory).
PreviewFind FindEpsTiffPreview(const DocumentBytes& document);
PreviewFind FindEpsiPreview(const std::uint8_t* data, std::size_t size);
PreviewFind FindImageResourceThumbnail(const std::uint8_t* data, std::size_t size);

}  // namespace glimpses

// A document's stored picture held in memory, and the one writer that turns
// it into the picture file the export and the command line write.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "base/file_util.h"
#include "extract/extract_result.h"
#include "extract/image.h"

namespace glimpses {

// One stored picture: a JPEG exactly as the document stores it, or a raster
// to be encoded.
struct StoredPicture {
  ExtractRoute route = ExtractRoute::kNone;
  Bytes jpeg;    // a stored JPEG, written byte for byte; empty for a raster
  CImage image;  // the raster; for a JPEG, its pixels when a check decoded them (else empty)

  bool IsJpeg() const { return !jpeg.empty(); }
  // Pixels, for choosing the larger of two pictures (0 when not decoded).
  std::int64_t Pixels() const { return std::int64_t{image.Width()} * image.Height(); }
};

// What a reader found: a picture, or a failure saying why there is none.
struct PictureRead {
  std::optional<StoredPicture> picture;
  ExtractResult failure;

  static PictureRead Found(StoredPicture picture) { return {std::move(picture), {}}; }
  static PictureRead Failed(ExtractStatus status, std::string detail = {}) {
    return {std::nullopt, ExtractResult::Failed(status, std::move(detail))};
  }
};

// Keeps in `best` the larger picture of the two (`best` wins a tie), or,
// when neither has one, the more telling failure.
void KeepLarger(PictureRead& best, PictureRead next);

// The PNG a raster picture is written as when a JPEG was asked for: a known
// picture extension (.jpg .jpeg .jpe .png .bmp, any case) of `outputPath`'s
// file name replaced by ".png", or ".png" appended when it has none
// ("plan.ai_T.jpg" gives "plan.ai_T.png", "thumbnail.jpeg" "thumbnail.png",
// "sub/pic" "sub/pic.png").
std::string PngSiblingPath(const std::string& outputPath);

// Whether the writer may replace an existing file at a name other than the
// one asked for (the PNG sibling). The batch export may: those names are its
// own. A single extraction may not: only the file the user named is replaced.
enum class SiblingReplace { kAllowed, kRefused };

// Writes the picture: a JPEG at `outputPath` exactly as stored; a CorelDRAW
// raster in the format `outputPath`'s extension names (PNG, JPEG, BMP; any
// other extension writes nothing); any other raster as a PNG at
// PngSiblingPath(outputPath). Whole or not at all. On failure, kCannotWrite
// or kOutputFull with the path and the system's reason.
ExtractResult WriteStoredPicture(const StoredPicture& picture, const std::string& outputPath,
                                 SiblingReplace siblings = SiblingReplace::kAllowed);

// The picture's pixels, decoding a stored JPEG when no check decoded it yet.
// Empty when the JPEG does not decode or is larger than kMaxImagePixels.
CImage PicturePixels(const StoredPicture& picture);

}  // namespace glimpses

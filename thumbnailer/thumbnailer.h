// What glimpses-thumbnailer and the KDE thumbnail plugin do for a file
// manager: the picture stored in a document, shrunk to the size asked for,
// and (for the program) written as a PNG that appears whole or not at all,
// with evince-thumbnailer as the fallback for documents it can draw.
#pragma once

#include <optional>
#include <string>

#include "base/document_kind.h"
#include "extract/image.h"
#include "thumbnailer/fallback_renderer.h"

namespace glimpses {

// The values are the program's exit codes.
enum class ThumbnailStatus { kWritten = 0, kNoPicture = 1, kError = 2 };

inline constexpr int kMaxThumbnailSize = 4096;

// By the ending of the file name in any case of letters, or, for a name
// without one, by the document's first bytes. kNone when neither tells or
// the document cannot be read.
DocumentKind DocumentKindOf(const std::string& documentPath);

struct StoredThumbnail {
  ThumbnailStatus status = ThumbnailStatus::kNoPicture;
  std::string message;  // why there is no picture; empty with one
  DocumentKind kind = DocumentKind::kNone;
  CImage image;  // shrunk to fit `size`, never enlarged
};

// The document's stored picture shrunk so that its longer edge is at most
// `size`, read in memory: no file is written. Every reader works within
// fixed budgets of bytes, pixels and tries, so a hostile document costs
// milliseconds and tens of MiB. kError when the document cannot be read;
// kNoPicture when it holds no picture that decodes.
StoredThumbnail LoadStoredThumbnail(const std::string& documentPath, int size);

struct ThumbnailRequest {
  std::string documentPath;
  std::string outputPath;
  int size = 256;
  // Asked for documents without a stored picture, of the kinds it handles.
  std::optional<FallbackRenderer> renderer;
};

struct ThumbnailResult {
  ThumbnailStatus status = ThumbnailStatus::kNoPicture;
  std::string message;  // one line for standard error; empty on success
};

// Writes the PNG thumbnail of the request's document to its output path,
// through a file without a name beside it, so that an existing file there is
// replaced whole or left as it was and nothing stays behind. kError, before
// anything is read, when OUTPUT is the document itself, a folder, or in a
// folder that cannot be written.
ThumbnailResult WriteThumbnail(const ThumbnailRequest& request);

// Lowers this process's soft limits on address space and CPU time, so that
// a document that drives a reader astray ends the process instead of the
// machine's patience. Hard limits stay; the fallback renderer gets limits of
// its own (see RenderWith). The address-space limit is left out under AddressSanitizer,
// which reserves terabytes of it up front.
bool LimitResources();

}  // namespace glimpses

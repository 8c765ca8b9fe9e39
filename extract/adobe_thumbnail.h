// Thumbnails of Illustrator, EPS, InDesign and PDF documents: the base64
// JPEG of the XMP property xmpGImg:image, found by a byte search in at most
// 1 MiB of the document, with the Illustrator hex preview as the fallback
// and the other stored previews (see stored_preview.h) after it.
#pragma once

#include <cstddef>
#include <string>

#include "extract_result.h"

namespace glimpses {

// Writes the document's stored thumbnail and says which route wrote it and
// where: the XMP JPEG at `outputPath` exactly as decoded, the hex preview as
// a PNG at HexPreviewPath(outputPath), then the stored previews (a JPEG at
// `outputPath`, anything converted at HexPreviewPath(outputPath)). When
// nothing was written, why.
ExtractResult ExtractAdobeThumbnailResult(const std::string& documentPath, const std::string& outputPath);

// True when a picture was written (see ExtractAdobeThumbnailResult).
bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath);

// True when `path` ends in ".ai", ".AI", ".indd", ".INDD", ".Indd", ".eps",
// ".EPS", ".Eps", ".pdf" or ".PDF" with at least one byte before the dot and
// no line break (CR or LF) anywhere before it.
bool IsAdobeDocumentName(const std::string& path);

// The first read takes this many bytes of the 1 MiB window; later reads
// double it until the answer no longer depends on unread bytes.
inline constexpr std::size_t kAdobeFirstReadSize = 64 * 1024;

}  // namespace glimpses

// Thumbnails of Illustrator, EPS, InDesign and PDF documents: the base64
// JPEG of the XMP property xmpGImg:image, found by a byte search in at most
// 1 MiB of the document, with the Illustrator hex preview as the fallback.
#pragma once

#include <cstddef>
#include <string>

namespace glimpses {

enum class AdobeRoute { kNone, kXmp, kHexPreview };

// Writes the document's stored thumbnail and says which route wrote it: the
// XMP JPEG under `outputPath` exactly as decoded, or the hex preview as a PNG
// under HexPreviewPath(outputPath). kNone when nothing was written.
AdobeRoute ExtractAdobeThumbnailRoute(const std::string& documentPath, const std::string& outputPath);

// True when a picture was written (see ExtractAdobeThumbnailRoute).
bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath);

// True when `path` ends in ".ai", ".AI", ".indd", ".INDD", ".Indd", ".eps",
// ".EPS", ".Eps", ".pdf" or ".PDF" with at least one byte before the dot and
// no line break (CR or LF) anywhere before it.
bool IsAdobeDocumentName(const std::string& path);

// The first read takes this many bytes of the 1 MiB window; later reads
// double it until the answer no longer depends on unread bytes.
inline constexpr std::size_t kAdobeFirstReadSize = 64 * 1024;

}  // namespace glimpses

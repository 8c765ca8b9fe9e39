// Thumbnails of Illustrator, EPS, InDesign and PDF documents: the base64
// JPEG of the XMP property xmpGImg:image, found by a byte search in at most
// 1 MiB of the document, with the Illustrator hex preview as the fallback.
#pragma once

#include <string>

namespace glimpses {

enum class AdobeRoute { kNone, kXmp, kHexPreview };

// Writes the document's stored thumbnail and says which route wrote it: the
// XMP JPEG under `outputPath` exactly as decoded, or the hex preview as a PNG
// under HexPreviewPath(outputPath). kNone when nothing was written.
AdobeRoute ExtractAdobeThumbnailRoute(const std::string& documentPath, const std::string& outputPath);

// True when a picture was written (see ExtractAdobeThumbnailRoute).
bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath);

}  // namespace glimpses

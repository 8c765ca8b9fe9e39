// Thumbnails of Illustrator, EPS, InDesign and PDF documents: the base64
// JPEG of the XMP property xmpGImg:image, found by a byte search in at most
// 1 MiB of the document, with the Illustrator hex preview as the fallback
// and the other stored previews (see stored_preview.h) after it.
#pragma once

#include <cstddef>
#include <string>

#include "extract/stored_picture.h"

namespace glimpses {

// The document's stored picture, whatever its name: the XMP JPEG exactly as
// decoded, else the hex preview, else the largest of the other stored
// previews. When there is none, why.
PictureRead ReadAdobePicture(const std::string& documentPath);

// Writes the stored picture of a document whose name has one of the Adobe
// endings (KindOfName with NameUse::kRead) as WriteStoredPicture does: the
// XMP JPEG at `outputPath`, a converted picture as the PNG beside it. True
// only when a picture was written.
bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath);

// The first read takes this many bytes of the 1 MiB window; later reads
// double it until the answer no longer depends on unread bytes.
inline constexpr std::size_t kAdobeFirstReadSize = 64 * 1024;

}  // namespace glimpses

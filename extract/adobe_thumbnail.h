// Thumbnails of Illustrator, EPS, InDesign and PDF documents: the base64
// JPEG of the XMP property xmpGImg:image, found by a byte search in at most
// 1 MiB of the document, with the Illustrator hex preview as the fallback
// and the other stored previews (see stored_preview.h) after it.
#pragma once

#include <cstddef>
#include <cstdint>
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

// How much of a document the reader looks at: its first bytes, or the last
// ones of an InDesign document this large or larger.
inline constexpr std::size_t kAdobeWindowSize = 1 << 20;

// True when `data` starts as an InDesign document does.
bool StartsAsInDesign(const std::uint8_t* data, std::size_t size);

// True when `window` (the bytes ReadAdobePicture looks at, all of them) holds
// the XMP thumbnail that reader's first route takes: a value that decodes to
// some bytes. The picture itself is not decoded.
bool HasXmpThumbnail(const std::uint8_t* window, std::size_t size, bool indd);

// The first read takes this many bytes of the 1 MiB window; later reads
// double it until the answer no longer depends on unread bytes.
inline constexpr std::size_t kAdobeFirstReadSize = 64 * 1024;

}  // namespace glimpses

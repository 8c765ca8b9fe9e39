// Builders of Illustrator, EPS, InDesign and PDF documents that carry their
// thumbnails the ways real files do, for the tests, the benchmarks and the
// sample folder that `make run` shows.
#pragma once

#include <cstddef>
#include <string>

#include "base/document_kind.h"
#include "base/file_util.h"

namespace glimpses {

// How the base64 JPEG stands in the XMP packet.
enum class XmpForm {
  kElement,       // Adobe: <xmpGImg:image> on one line, pieces joined by "&#xA;"
  kAttribute,     // xmpGImg:image="..." on one line, pieces joined by "&#xA;"
  kWrapped,       // exiftool: element form, base64 wrapped with real line breaks
  kSingleQuoted,  // exiftool shorthand: xmpGImg:image='...' wrapped with real line breaks
};

// A real JPEG of a smooth, colourful picture; `seed` varies it. Falls back to
// JPEG-shaped bytes when no encoder is available.
Bytes SampleJpeg(int width, int height, int seed);

// The base64 text of `data` in lines of `lineLength` characters joined by
// `separator`.
std::string WrappedBase64(const Bytes& data, std::size_t lineLength, const std::string& separator);

// A whole XMP packet holding `jpeg` as its thumbnail in the given form.
std::string XmpPacket(const Bytes& jpeg, XmpForm form, int width, int height);

struct AdobeSampleOptions {
  DocumentKind kind = DocumentKind::kPdf;
  XmpForm form = XmpForm::kElement;
  int thumbnailWidth = 256;
  int thumbnailHeight = 192;
  // Where the XMP packet starts; 0 puts it right after the header. An offset
  // the header does not leave room for is taken as 0.
  std::size_t xmpOffset = 0;
  // The document is padded to at least this many bytes.
  std::size_t totalSize = 0;
};

// A document of `options.kind` holding `jpeg` as its XMP thumbnail.
Bytes BuildAdobeDocument(const Bytes& jpeg, const AdobeSampleOptions& options);

// A document of `kind` with an XMP packet but no thumbnail, padded to at
// least `totalSize` bytes.
Bytes BuildDocumentWithoutThumbnail(DocumentKind kind, std::size_t totalSize);

// The text of an Illustrator hex preview (header, "Hex Bytes" line and data
// lines) of a width × height picture, its indices run-length coded or not.
std::string HexPreviewText(int width, int height, bool runLength);

// A PostScript Illustrator document carrying only a hex preview; with
// `xmpJpeg` non-empty it also carries that XMP thumbnail (element form).
Bytes BuildHexPreviewAi(int width, int height, bool runLength, const Bytes& xmpJpeg = {});

}  // namespace glimpses

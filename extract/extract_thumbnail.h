// The extraction front end: the one entry point that finds any AI, EPS,
// INDD, PDF or CDR document's stored picture in memory, and the calls that
// write it under the name the caller gives or under the batch export's names.
#pragma once

#include <string>

#include "base/document_kind.h"
#include "extract/stored_picture.h"

namespace glimpses {

// The document's stored picture, read as a document of `kind`: the Adobe
// reader for Illustrator, EPS, InDesign and PDF, the CorelDRAW reader for
// CorelDRAW. kUnsupported for kNone.
PictureRead ReadStoredPicture(const std::string& documentPath, DocumentKind kind);
// The same with the kind its name gives (KindOfName with NameUse::kRead).
PictureRead ReadStoredPicture(const std::string& documentPath);

// Reads the picture and writes it at `outputPath` as WriteStoredPicture
// does; a converted picture written as a PNG beside `outputPath` never
// replaces an existing file of that name. Says which route wrote which file,
// or why no picture was written.
ExtractResult TryExtractThumbnail(const std::string& documentPath, const std::string& outputPath);

// True only when a picture file was written (see TryExtractThumbnail).
bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath);

// Writes the picture into `folder` under the batch export's names:
// `fileName` followed by "_T.jpg" for a stored JPEG, or "_T.png" for a
// picture converted to PNG (a previous picture of that name is replaced).
ExtractResult TryExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                      const std::string& fileName);

}  // namespace glimpses

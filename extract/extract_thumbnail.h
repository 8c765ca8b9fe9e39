// The extraction front end: one call that writes the stored thumbnail of any
// AI, EPS, INDD, PDF or CDR document, under the name the caller gives or
// under the batch export's names.
#pragma once

#include <optional>
#include <string>

#include "extract_result.h"

namespace glimpses {

// Tries the Adobe extractor, then the CorelDRAW one, with the same output
// path. True only when a picture file was written. Note that the Adobe hex
// preview route writes the ".png" sibling of a ".jpg" output name.
bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath);

// Like ExtractThumbnail, but says which route wrote which file, or why no
// picture was written: no stored picture, a damaged one (with what was
// wrong), an unreadable document, a kind of picture or document we do not
// read, or an output that could not be written. The pictures that documents
// store besides the XMP thumbnail and the hex preview (stored_preview.h) are
// written as "_T.jpg"/".jpg" when stored as JPEG and as the ".png" sibling
// when converted, like the hex preview.
ExtractResult TryExtractThumbnail(const std::string& documentPath, const std::string& outputPath);
ExtractResult TryExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                      const std::string& fileName);

// Like ExtractThumbnail, but gives the path of the picture it wrote, or
// nullopt when none was written.
std::optional<std::string> ExtractThumbnailFile(const std::string& documentPath, const std::string& outputPath);

// Writes the thumbnail into `folder` under the batch export's names:
// `fileName` followed by "_T.jpg" for the Adobe try (its hex preview lands as
// "_T.png"), or, when that writes nothing, by "_T.png" for the CorelDRAW try.
// The path written, or nullopt.
std::optional<std::string> ExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                                const std::string& fileName);

}  // namespace glimpses

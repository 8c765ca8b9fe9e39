// Thumbnails of CorelDRAW documents: a picture entry of the ZIP archive that
// newer documents are, or the DISP bitmap chunk of older RIFF documents,
// converted to the format the output name's extension asks for.
#pragma once

#include <string>

namespace glimpses {

// True when the output picture was written.
bool ExtractCorelThumbnail(const std::string& documentPath, const std::string& outputPath);

}  // namespace glimpses

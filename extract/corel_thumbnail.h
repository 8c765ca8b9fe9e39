// Thumbnails of CorelDRAW documents: a picture entry of the ZIP archive that
// newer documents are, or the DISP bitmap chunk of older RIFF documents,
// converted to the format the output name's extension asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "extract_result.h"
#include "file_util.h"

namespace glimpses {

// Versions ProbeCorelVersion gives besides the document's own number.
constexpr int kCorelUnreadable = -1;  // the document cannot be opened
constexpr int kCorelNoVersion = -2;   // not "PK" and shorter than 22 bytes
// Every ZIP document counts as this version, whatever it says inside.
constexpr int kCorelZipVersion = 1400;

// Stored pictures larger than this are refused: no thumbnail is that big, and
// a document could otherwise make us allocate or inflate gigabytes.
constexpr std::uint64_t kMaxCorelPictureBytes = 64u << 20;

// True when `path` ends in ".cdr", ".CDR", ".Cdr", ".CDr" or ".cdR" (exactly
// these spellings) with at least one byte before the dot and no line break
// (CR or LF) anywhere before it.
bool HasCorelExtension(const std::string& path);

// Writes the stored thumbnail of the document as a picture in the format
// `outputPath`'s extension names. True only when that picture was written;
// on false an existing file at `outputPath` is left as it was. The stored
// picture is converted in memory: no intermediate file is written.
bool ExtractCorelThumbnail(const std::string& documentPath, const std::string& outputPath);
// The same, saying where the picture went or why none was written.
ExtractResult ExtractCorelThumbnailResult(const std::string& documentPath, const std::string& outputPath);

// kCorelZipVersion when the document starts with "PK"; otherwise the 16-bit
// little-endian number at offset 20; kCorelUnreadable or kCorelNoVersion.
int ProbeCorelVersion(const std::string& documentPath);

// The stored picture, exactly as stored (BMP or PNG bytes), by the route
// the version selects: ZIP entries from 1400 on, nothing for 1301 to 1399,
// the DISP chunk up to 1300. Nullopt when the route finds no picture.
std::optional<Bytes> ReadCorelPreview(const std::string& documentPath);

// The uncompressed data of the archive entry named `entryName` (ASCII
// letters compared without regard to case, every other byte exactly), read
// in 8 KiB blocks. Nullopt when the document is no archive, the entry is
// missing, unreadable, or above kMaxCorelPictureBytes.
std::optional<Bytes> ReadZipEntry(const std::string& documentPath, const std::string& entryName);

// A BMP file built from the first top-level "DISP" chunk of a RIFF document
// (the chunks after its 22-byte header). Nullopt when there is no such chunk
// or its length does not fit the document, is too short to hold the bit
// count, or exceeds kMaxCorelPictureBytes.
std::optional<Bytes> BuildDispBitmap(const std::string& documentPath);

}  // namespace glimpses

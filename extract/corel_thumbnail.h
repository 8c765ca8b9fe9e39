// Thumbnails of CorelDRAW documents: a picture entry of the ZIP archive that
// newer documents are, or the DISP bitmap chunk of older RIFF documents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/file_util.h"
#include "extract/stored_picture.h"

namespace glimpses {

// Versions ProbeCorelVersion gives besides the document's own number.
constexpr int kCorelUnreadable = -1;  // the document cannot be opened
constexpr int kCorelNoVersion = -2;   // not "PK" and shorter than 22 bytes
// Every ZIP document counts as this version, whatever it says inside.
constexpr int kCorelZipVersion = 1400;

// Stored pictures larger than this are refused: no thumbnail is that big, and
// a document could otherwise make us allocate or inflate gigabytes.
constexpr std::uint64_t kMaxCorelPictureBytes = 64u << 20;

// The bytes of a stored picture, exactly as stored, or why there are none.
struct BytesRead {
  std::optional<Bytes> bytes;
  ExtractResult failure;

  static BytesRead Found(Bytes bytes) { return {std::move(bytes), {}}; }
  static BytesRead Failed(ExtractStatus status, std::string detail = {}) {
    return {std::nullopt, ExtractResult::Failed(status, std::move(detail))};
  }
};

// The document's stored picture, decoded (route kCorel), whatever its name.
// When there is none, why: a thumbnail entry that does not inflate, fails
// its checksum or does not decode is damaged, not missing.
PictureRead ReadCorelPicture(const std::string& documentPath);

// Writes the stored picture of a document whose name ends in ".cdr", ".CDR",
// ".Cdr", ".CDr" or ".cdR" (KindOfName with NameUse::kRead) in the format
// `outputPath`'s extension names. True only when that picture was written;
// on false an existing file at `outputPath` is left as it was.
bool ExtractCorelThumbnail(const std::string& documentPath, const std::string& outputPath);

// kCorelZipVersion when the document starts with "PK"; otherwise the 16-bit
// little-endian number at offset 20; kCorelUnreadable or kCorelNoVersion.
int ProbeCorelVersion(const std::string& documentPath);

// The stored picture, exactly as stored (BMP or PNG bytes), by the route
// the version selects: ZIP entries from 1400 on (the bitmap entry first),
// nothing for 1301 to 1399, the DISP chunk up to 1300.
BytesRead ReadCorelPreview(const std::string& documentPath);

// The uncompressed data of the archive entry named `entryName` (ASCII
// letters compared without regard to case, every other byte exactly), read
// in 8 KiB blocks. kNoPicture when the entry is missing; damaged when the
// document is no archive, or the entry does not inflate, fails its checksum
// or is above `limit` bytes.
BytesRead ReadZipEntry(const std::string& documentPath, const std::string& entryName,
                       std::uint64_t limit = kMaxCorelPictureBytes);

// The first `size` bytes of the entry `entryName` (fewer when it is
// shorter), without inflating the rest; failures as ReadZipEntry's.
BytesRead ReadZipEntryStart(const std::string& documentPath, const std::string& entryName, std::size_t size);

// A BMP file built from the first top-level "DISP" chunk of a RIFF document
// (the chunks after its 22-byte header). kNoPicture when there is no such
// chunk; damaged when its length does not fit the document, is too short to
// hold the bit count, or exceeds kMaxCorelPictureBytes.
BytesRead BuildDispBitmap(const std::string& documentPath);

}  // namespace glimpses

#include "corel_thumbnail.h"

#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "bytes.h"
#include "file_util.h"
#include "image.h"

namespace glimpses {

namespace {

constexpr std::size_t kHeaderBytes = 22;
constexpr std::size_t kCopyBlock = 8192;
constexpr int kLastDispVersion = 1300;
constexpr const char* kBmpEntry = "metadata/thumbnails/thumbnail.bmp";
constexpr const char* kPngEntry = "previews/thumbnail.png";
// minizip's argument for comparing ASCII letters without regard to case;
// 0 would mean case-sensitive on this platform.
constexpr int kCaseInsensitive = 2;

// The DISP data is laid at this file offset, its 4-byte lead standing in for
// the pixel-data offset field of the BMP file header.
constexpr std::size_t kDispDataOffset = 10;
// The bit count sits at offset 18 of the chunk data; shorter data cannot say
// how its pixels are laid out.
constexpr std::uint32_t kMinDispLength = 20;

// The start of the pixel data for a full colour table at the bit depths
// the application stores; zero (left as it is) for any other depth.
std::uint16_t PixelDataOffset(std::uint16_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
      return 62;
    case 4:
      return 118;
    case 8:
      return 1078;
    case 24:
      return 54;
    default:
      return 0;
  }
}

struct UnzipCloser {
  void operator()(void* archive) const { unzClose(archive); }
};
using UnzipArchive = std::unique_ptr<void, UnzipCloser>;

// Reads the open entry of `archive` in blocks, refusing more than the
// picture limit whatever the entry claims, and data whose checksum fails.
std::optional<Bytes> ReadCurrentEntry(unzFile archive, std::uint64_t declaredSize) {
  Bytes data;
  data.reserve(static_cast<std::size_t>(declaredSize));
  std::array<std::uint8_t, kCopyBlock> block;
  for (;;) {
    int n = unzReadCurrentFile(archive, block.data(), static_cast<unsigned>(block.size()));
    if (n < 0) return std::nullopt;
    // At the end, the entry's checksum: a damaged picture is no thumbnail.
    if (n == 0) return unzCloseCurrentFile(archive) == UNZ_OK ? std::optional<Bytes>(std::move(data)) : std::nullopt;
    if (data.size() + static_cast<std::size_t>(n) > kMaxCorelPictureBytes) return std::nullopt;
    data.insert(data.end(), block.begin(), block.begin() + n);
  }
}

struct DispChunk {
  std::uint64_t dataOffset = 0;
  std::uint32_t length = 0;
};

// Walks the top-level chunks after the header. Each step moves forward by at
// least the 8-byte chunk header, so the walk ends at the end of the file.
std::optional<DispChunk> FindDispChunk(std::FILE* document, std::uint64_t fileSize) {
  std::uint8_t header[kHeaderBytes];
  if (std::fread(header, 1, sizeof header, document) != sizeof header) return std::nullopt;
  std::uint64_t position = kHeaderBytes;
  while (position + 8 <= fileSize) {
    std::uint8_t chunk[8];
    if (fseeko(document, static_cast<off_t>(position), SEEK_SET) != 0 ||
        std::fread(chunk, 1, sizeof chunk, document) != sizeof chunk) {
      return std::nullopt;
    }
    std::uint32_t length = ReadLe32(chunk + 4);
    if (std::memcmp(chunk, "DISP", 4) == 0) return DispChunk{position + 8, length};
    position += 8 + static_cast<std::uint64_t>(length);
  }
  return std::nullopt;
}

}  // namespace

bool HasCorelExtension(const std::string& path) {
  if (path.size() < 5 || path[path.size() - 4] != '.') return false;
  std::string_view extension = std::string_view(path).substr(path.size() - 3);
  for (std::string_view accepted : {"cdr", "CDR", "Cdr", "CDr", "cdR"}) {
    // A line break before the dot makes no document name, as for the other kinds.
    if (extension == accepted) return path.find_first_of("\r\n") == std::string::npos;
  }
  return false;
}

ExtractResult ExtractCorelThumbnailResult(const std::string& documentPath, const std::string& outputPath) {
  if (!HasCorelExtension(documentPath)) {
    return ExtractResult::Failed(ExtractStatus::kUnsupported, "not a CorelDRAW document");
  }
  std::optional<Bytes> stored = ReadCorelPreview(documentPath);
  if (!stored) {
    // Only now tell an unreadable document from one without a picture,
    // without reading it again.
    if (!IsRegularFile(documentPath)) return ExtractResult::Failed(ExtractStatus::kUnreadable, "not a regular file");
    if (access(documentPath.c_str(), R_OK) != 0) {
      return ExtractResult::Failed(ExtractStatus::kUnreadable, std::strerror(errno));
    }
    return ExtractResult::Failed(ExtractStatus::kNoPicture);
  }
  CImage picture;
  if (picture.LoadFromMemory(stored->data(), stored->size()) != ImageStatus::kOk) {
    return ExtractResult::Failed(ExtractStatus::kDamaged, "stored CorelDRAW picture does not decode");
  }
  if (picture.SaveToFile(outputPath) != ImageStatus::kOk) {
    return ExtractResult::Failed(ExtractStatus::kCannotWrite, outputPath);
  }
  return ExtractResult::Written(ExtractRoute::kCorel, outputPath);
}

bool ExtractCorelThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return ExtractCorelThumbnailResult(documentPath, outputPath).written();
}

int ProbeCorelVersion(const std::string& documentPath) {
  File document = File::Open(documentPath, "rb");
  if (!document) return kCorelUnreadable;
  std::uint8_t header[kHeaderBytes];
  std::size_t got = std::fread(header, 1, sizeof header, document.get());
  if (got >= 2 && header[0] == 'P' && header[1] == 'K') return kCorelZipVersion;
  if (got < sizeof header) return kCorelNoVersion;
  return ReadLe16(header + 20);
}

std::optional<Bytes> ReadCorelPreview(const std::string& documentPath) {
  // Opening a FIFO or a device for reading could block or never end.
  if (!IsRegularFile(documentPath)) return std::nullopt;
  int version = ProbeCorelVersion(documentPath);
  if (version >= kCorelZipVersion) {
    if (auto bmp = ReadZipEntry(documentPath, kBmpEntry)) return bmp;
    return ReadZipEntry(documentPath, kPngEntry);
  }
  if (version > kLastDispVersion || version == kCorelNoVersion) return std::nullopt;
  return BuildDispBitmap(documentPath);
}

std::optional<Bytes> ReadZipEntry(const std::string& documentPath, const std::string& entryName) {
  UnzipArchive archive(unzOpen64(documentPath.c_str()));
  if (!archive) return std::nullopt;
  if (unzLocateFile(archive.get(), entryName.c_str(), kCaseInsensitive) != UNZ_OK) return std::nullopt;
  unz_file_info64 info;
  char name[260];
  if (unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return std::nullopt;
  }
  if (info.uncompressed_size > kMaxCorelPictureBytes) return std::nullopt;
  if (unzOpenCurrentFile(archive.get()) != UNZ_OK) return std::nullopt;
  return ReadCurrentEntry(archive.get(), info.uncompressed_size);
}

std::optional<Bytes> BuildDispBitmap(const std::string& documentPath) {
  File document = File::Open(documentPath, "rb");
  if (!document) return std::nullopt;
  struct stat st;
  if (fstat(fileno(document.get()), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  auto fileSize = static_cast<std::uint64_t>(st.st_size);

  auto chunk = FindDispChunk(document.get(), fileSize);
  if (!chunk) return std::nullopt;
  std::uint32_t length = chunk->length;
  // The length is untrusted: check it against the data before allocating.
  if (length < kMinDispLength || length > kMaxCorelPictureBytes || length > fileSize - chunk->dataOffset) {
    return std::nullopt;
  }

  Bytes bitmap(length + kDispDataOffset);
  if (fseeko(document.get(), static_cast<off_t>(chunk->dataOffset), SEEK_SET) != 0 ||
      std::fread(bitmap.data() + kDispDataOffset, 1, length, document.get()) != length) {
    return std::nullopt;
  }
  std::memset(bitmap.data(), 0, 12);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  if (std::uint16_t offset = PixelDataOffset(ReadLe16(bitmap.data() + 28))) WriteLe16(bitmap.data() + 10, offset);
  WriteLe32(bitmap.data() + 2, static_cast<std::uint32_t>(bitmap.size()));
  return bitmap;
}

}  // namespace glimpses

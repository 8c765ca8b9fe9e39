#include "extract/corel_thumbnail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/document_kind.h"
#include "base/file_handle.h"
#include "base/file_util.h"
#include "extract/bytes.h"
#include "extract/image.h"

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

BytesRead Damaged(std::string detail) { return BytesRead::Failed(ExtractStatus::kDamaged, std::move(detail)); }

// Reads the open entry of `archive` in blocks, refusing more than the
// picture limit whatever the entry claims, and data that does not inflate or
// whose checksum fails: a damaged picture is no thumbnail.
BytesRead ReadCurrentEntry(unzFile archive, std::uint64_t declaredSize, std::uint64_t limit) {
  Bytes data;
  data.reserve(static_cast<std::size_t>(declaredSize));
  std::array<std::uint8_t, kCopyBlock> block;
  for (;;) {
    int n = unzReadCurrentFile(archive, block.data(), static_cast<unsigned>(block.size()));
    if (n < 0) return Damaged("thumbnail entry does not inflate (minizip error " + std::to_string(n) + ")");
    if (n == 0) {
      if (unzCloseCurrentFile(archive) != UNZ_OK) return Damaged("thumbnail entry fails its checksum");
      return BytesRead::Found(std::move(data));
    }
    if (data.size() + static_cast<std::size_t>(n) > limit) {
      return Damaged("thumbnail entry inflates past " + std::to_string(limit >> 20) + " MiB");
    }
    data.insert(data.end(), block.begin(), block.begin() + n);
  }
}

// `size` bytes at `offset`, all of them, or nullopt.
bool ReadAt(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = pread(fd, out + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Real documents have a few dozen top-level chunks; a walk through more
// reads a document built to keep us reading.
constexpr int kMaxRiffChunks = 65536;

struct DispChunk {
  std::uint64_t dataOffset = 0;
  std::uint32_t length = 0;
};

// Walks the top-level chunks after the header. Each step moves forward by at
// least the 8-byte chunk header, and the walk ends at the end of the file,
// after kMaxRiffChunks chunks, or at a chunk whose name is four NUL bytes:
// that is no chunk but a hole (a sparse file of gigabytes reads as zeros).
std::optional<DispChunk> FindDispChunk(int fd, std::uint64_t fileSize) {
  std::uint64_t position = kHeaderBytes;
  for (int walked = 0; position + 8 <= fileSize && walked < kMaxRiffChunks; ++walked) {
    std::uint8_t chunk[8];
    if (!ReadAt(fd, position, chunk, sizeof chunk)) return std::nullopt;
    if (std::memcmp(chunk, "\0\0\0\0", 4) == 0) return std::nullopt;
    std::uint32_t length = ReadLe32(chunk + 4);
    if (std::memcmp(chunk, "DISP", 4) == 0) return DispChunk{position + 8, length};
    position += 8 + static_cast<std::uint64_t>(length);
  }
  return std::nullopt;
}

PictureRead DecodeStored(const BytesRead& stored) {
  if (!stored.bytes) return {std::nullopt, stored.failure};
  StoredPicture picture{ExtractRoute::kCorel, {}, {}};
  if (picture.image.LoadFromMemory(stored.bytes->data(), stored.bytes->size()) != ImageStatus::kOk) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "stored CorelDRAW picture does not decode");
  }
  return PictureRead::Found(std::move(picture));
}

}  // namespace

PictureRead ReadCorelPicture(const std::string& documentPath) {
  // Opening a FIFO or a device for reading could block or never end.
  if (!IsRegularFile(documentPath)) {
    return PictureRead::Failed(ExtractStatus::kUnreadable,
                               FileExists(documentPath) ? "not a regular file" : "no such file");
  }
  if (access(documentPath.c_str(), R_OK) != 0)
    return PictureRead::Failed(ExtractStatus::kUnreadable, std::strerror(errno));
  return DecodeStored(ReadCorelPreview(documentPath));
}

bool ExtractCorelThumbnail(const std::string& documentPath, const std::string& outputPath) {
  if (KindOfName(documentPath, NameUse::kRead) != DocumentKind::kCorelDraw) return false;
  PictureRead read = ReadCorelPicture(documentPath);
  return read.picture && WriteStoredPicture(*read.picture, outputPath).written();
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

BytesRead ReadCorelPreview(const std::string& documentPath) {
  if (!IsRegularFile(documentPath)) return BytesRead::Failed(ExtractStatus::kUnreadable, "not a regular file");
  int version = ProbeCorelVersion(documentPath);
  if (version == kCorelUnreadable) return BytesRead::Failed(ExtractStatus::kUnreadable, std::strerror(errno));
  if (version >= kCorelZipVersion) {
    BytesRead bmp = ReadZipEntry(documentPath, kBmpEntry);
    if (bmp.bytes) return bmp;
    BytesRead png = ReadZipEntry(documentPath, kPngEntry);
    if (png.bytes) return png;
    return {std::nullopt, MoreTelling(bmp.failure, png.failure)};
  }
  if (version > kLastDispVersion || version == kCorelNoVersion) return BytesRead::Failed(ExtractStatus::kNoPicture);
  return BuildDispBitmap(documentPath);
}

// The archive with `entryName` its current entry, or why not.
std::variant<UnzipArchive, BytesRead> OpenEntry(const std::string& documentPath, const std::string& entryName) {
  UnzipArchive archive(unzOpen64(documentPath.c_str()));
  if (!archive) return Damaged("not a readable ZIP archive");
  if (unzLocateFile(archive.get(), entryName.c_str(), kCaseInsensitive) != UNZ_OK) {
    return BytesRead::Failed(ExtractStatus::kNoPicture);
  }
  return archive;
}

BytesRead ReadZipEntryStart(const std::string& documentPath, const std::string& entryName, std::size_t size) {
  auto opened = OpenEntry(documentPath, entryName);
  if (auto* failed = std::get_if<BytesRead>(&opened)) return std::move(*failed);
  unzFile archive = std::get<UnzipArchive>(opened).get();
  if (unzOpenCurrentFile(archive) != UNZ_OK) return Damaged("entry cannot be opened");
  Bytes data(size);
  std::size_t got = 0;
  while (got < size) {
    int n = unzReadCurrentFile(archive, data.data() + got, static_cast<unsigned>(size - got));
    if (n < 0) return Damaged("entry does not inflate (minizip error " + std::to_string(n) + ")");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  return BytesRead::Found(std::move(data));
}

BytesRead ReadZipEntry(const std::string& documentPath, const std::string& entryName, std::uint64_t limit) {
  auto opened = OpenEntry(documentPath, entryName);
  if (auto* failed = std::get_if<BytesRead>(&opened)) return std::move(*failed);
  UnzipArchive archive = std::move(std::get<UnzipArchive>(opened));
  unz_file_info64 info;
  char name[260];
  if (unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return Damaged("thumbnail entry cannot be read");
  }
  if (info.uncompressed_size > limit) return Damaged("thumbnail entry claims more than " + std::to_string(limit >> 20) + " MiB");
  if (unzOpenCurrentFile(archive.get()) != UNZ_OK) return Damaged("thumbnail entry cannot be opened");
  return ReadCurrentEntry(archive.get(), info.uncompressed_size, limit);
}

BytesRead BuildDispBitmap(const std::string& documentPath) {
  UniqueFd fd = UniqueFd::Open(documentPath, O_RDONLY | O_NONBLOCK);
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return BytesRead::Failed(ExtractStatus::kUnreadable, "not a readable regular file");
  }
  auto fileSize = static_cast<std::uint64_t>(st.st_size);
  auto chunk = FindDispChunk(fd.get(), fileSize);
  if (!chunk) return BytesRead::Failed(ExtractStatus::kNoPicture);
  std::uint32_t length = chunk->length;
  // The length is untrusted: check it against the data before allocating.
  if (length < kMinDispLength || length > kMaxCorelPictureBytes || length > fileSize - chunk->dataOffset) {
    return Damaged("DISP chunk length does not fit the document");
  }
  Bytes bitmap(length + kDispDataOffset);
  if (!ReadAt(fd.get(), chunk->dataOffset, bitmap.data() + kDispDataOffset, length)) {
    return BytesRead::Failed(ExtractStatus::kUnreadable, "cannot read the DISP chunk");
  }
  std::memset(bitmap.data(), 0, 12);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  if (std::uint16_t offset = PixelDataOffset(ReadLe16(bitmap.data() + 28))) WriteLe16(bitmap.data() + 10, offset);
  WriteLe32(bitmap.data() + 2, static_cast<std::uint32_t>(bitmap.size()));
  return BytesRead::Found(std::move(bitmap));
}

}  // namespace glimpses

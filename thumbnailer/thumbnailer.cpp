#include "thumbnailer/thumbnailer.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/document_kind.h"
#include "base/file_handle.h"
#include "base/file_util.h"
#include "extract/extract_thumbnail.h"
#include "extract/image_scale.h"
#include "extract/png_codec.h"

#if defined(__SANITIZE_ADDRESS__)
#define GLIMPSES_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLIMPSES_UNDER_ASAN 1
#endif
#endif

namespace glimpses {

namespace {

namespace fs = std::filesystem;

// Far above what reading a stored thumbnail takes (a few MiB, a few
// milliseconds), far below what hurts a desktop.
constexpr rlim_t kAddressSpaceLimit = rlim_t{1} << 30;
constexpr rlim_t kCpuSecondsLimit = 10;

StoredThumbnail Failure(ThumbnailStatus status, std::string message, DocumentKind kind = DocumentKind::kNone) {
  StoredThumbnail result;
  result.status = status;
  result.message = std::move(message);
  result.kind = std::move(kind);
  return result;
}

// The stored picture's pixels shrunk to fit `size`.
StoredThumbnail Shrink(const StoredPicture& picture, int size, DocumentKind kind) {
  const CImage pixels = PicturePixels(picture);
  if (pixels.IsNull()) return Failure(ThumbnailStatus::kNoPicture, "stored picture does not decode", kind);
  StoredThumbnail result;
  result.image = ScaleDownToFit(pixels, size);
  if (result.image.IsNull()) return Failure(ThumbnailStatus::kError, "out of memory while scaling", kind);
  result.status = ThumbnailStatus::kWritten;
  result.kind = kind;
  return result;
}

// Writes `png` so that it appears at `outputPath` whole or not at all. An
// empty regular file there is written in place instead of replaced: tumbler
// creates it and reads the picture back through the descriptor it keeps
// open, which a rename would leave on the old, empty file. A failed write
// cuts it back to empty.
bool WriteOutput(const std::string& outputPath, const Bytes& png) {
  struct stat status;
  if (lstat(outputPath.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size != 0) {
    return WriteFileAtomically(outputPath, png.data(), png.size());
  }
  UniqueFd fd = UniqueFd::Open(outputPath, O_WRONLY | O_NOFOLLOW);
  if (!fd) return false;
  std::size_t done = 0;
  while (done < png.size()) {
    ssize_t n = write(fd.get(), png.data() + done, png.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool ok = done == png.size();
  if (!ok && ftruncate(fd.get(), 0) != 0) {
    // Cutting back failed too; the false below is all we can report.
  }
  return fd.Close() && ok;
}

// Encodes `picture` and writes it to OUTPUT, whichever route made it. The
// file manager decodes OUTPUT once and re-encodes it into its cache:
// compressing it would be work thrown away.
ThumbnailResult Deliver(const std::string& outputPath, const CImage& picture) {
  auto png = EncodePng(picture, PngCompression::kNone);
  if (!png) return {ThumbnailStatus::kError, "cannot encode the thumbnail"};
  if (WriteOutput(outputPath, *png)) return {ThumbnailStatus::kWritten, ""};
  return {ThumbnailStatus::kError, "cannot write " + outputPath + ": " + std::strerror(errno)};
}

std::string ParentFolder(const std::string& path) {
  std::string parent = fs::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

// Why OUTPUT cannot be written, or nullopt: checked before any reading, so a
// document whose picture could never be delivered costs nothing, and is
// told as an error rather than as a document without a picture.
std::optional<std::string> OutputProblem(const ThumbnailRequest& request) {
  struct stat input, output;
  if (stat(request.outputPath.c_str(), &output) == 0) {
    if (stat(request.documentPath.c_str(), &input) == 0 && input.st_dev == output.st_dev &&
        input.st_ino == output.st_ino) {
      return "OUTPUT is the document itself";
    }
    if (S_ISDIR(output.st_mode)) return "OUTPUT is a folder";
    // An empty file the caller made is filled in place (see WriteOutput).
    if (S_ISREG(output.st_mode) && output.st_size == 0 && access(request.outputPath.c_str(), W_OK) == 0) {
      return std::nullopt;
    }
  }
  if (access(ParentFolder(request.outputPath).c_str(), W_OK | X_OK) != 0) {
    return "cannot write " + request.outputPath + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

}  // namespace

DocumentKind DocumentKindOf(const std::string& documentPath) {
  const DocumentKind byName = KindOfName(fs::path(documentPath).filename().string(), NameUse::kAnyCase);
  if (byName != DocumentKind::kNone) return byName;
  auto head = ReadFileRange(documentPath, 0, 16);
  return head ? KindOfContent(head->data(), head->size()) : DocumentKind::kNone;
}

StoredThumbnail LoadStoredThumbnail(const std::string& documentPath, int size) {
  if (!IsRegularFile(documentPath) || access(documentPath.c_str(), R_OK) != 0) {
    return Failure(ThumbnailStatus::kError, "cannot read the document");
  }
  if (size < 1 || size > kMaxThumbnailSize) return Failure(ThumbnailStatus::kError, "size out of range");
  const DocumentKind kind = DocumentKindOf(documentPath);
  if (kind == DocumentKind::kNone) return Failure(ThumbnailStatus::kNoPicture, "not a document of a known kind");
  const PictureRead read = ReadStoredPicture(documentPath, kind);
  if (!read.picture) {
    const bool unreadable = read.failure.status == ExtractStatus::kUnreadable;
    return Failure(unreadable ? ThumbnailStatus::kError : ThumbnailStatus::kNoPicture, DescribeFailure(read.failure),
                   kind);
  }
  return Shrink(*read.picture, size, kind);
}

ThumbnailResult WriteThumbnail(const ThumbnailRequest& request) {
  if (auto problem = OutputProblem(request)) return {ThumbnailStatus::kError, *problem};
  StoredThumbnail stored = LoadStoredThumbnail(request.documentPath, request.size);
  if (stored.status == ThumbnailStatus::kNoPicture && request.renderer &&
      RendererHandles(std::string(KindName(stored.kind)))) {
    Rendered rendered = RenderWith(*request.renderer, request.documentPath, request.size);
    switch (rendered.status) {
      case RenderStatus::kWritten:
        return Deliver(request.outputPath, rendered.picture);
      case RenderStatus::kTimedOut:
        return {ThumbnailStatus::kNoPicture, "no stored picture, and the renderer timed out"};
      case RenderStatus::kFailed:
      case RenderStatus::kNotStarted:
        return {ThumbnailStatus::kNoPicture, "no stored picture, and the renderer made none"};
    }
  }
  if (stored.status != ThumbnailStatus::kWritten) return {stored.status, stored.message};
  return Deliver(request.outputPath, stored.image);
}

bool LimitResources() {
  auto lower = [](int resource, rlim_t value) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0) return false;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? value : std::min(value, limit.rlim_max);
    return setrlimit(resource, &limit) == 0;
  };
  bool ok = lower(RLIMIT_CPU, kCpuSecondsLimit);
#ifndef GLIMPSES_UNDER_ASAN
  ok = lower(RLIMIT_AS, kAddressSpaceLimit) && ok;
#endif
  return ok;
}

}  // namespace glimpses

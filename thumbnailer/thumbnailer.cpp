#include "thumbnailer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "extract_thumbnail.h"
#include "file_handle.h"
#include "file_util.h"
#include "image_scale.h"
#include "png_codec.h"
#include "temp_folder.h"

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

std::string KindByName(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  for (const char* kind : {"ai", "indd", "eps", "pdf", "cdr"}) {
    if (extension == kind) return extension;
  }
  return "";
}

std::string KindByContent(const std::string& path) {
  constexpr std::string_view kInDesignId("\x06\x06\xED\xF5\xD8\x1D\x46\xE5\xBD\x31\xEF\xE7\xFE\x74\xB7\x1D", 16);
  constexpr std::string_view kDosEps("\xC5\xD0\xD3\xC6", 4);
  auto head = ReadFileRange(path, 0, 16);
  if (!head) return "";
  const std::string_view text(reinterpret_cast<const char*>(head->data()), head->size());
  if (text.starts_with("%PDF")) return "pdf";
  if (text.starts_with("%!PS") || text.starts_with(kDosEps)) return "eps";
  if (text.starts_with(kInDesignId)) return "indd";
  if (text.starts_with("PK\x03\x04")) return "cdr";
  if (text.starts_with("RIFF") && text.size() >= 11 && (text.substr(8, 3) == "CDR" || text.substr(8, 3) == "cdr")) {
    return "cdr";
  }
  return "";
}

StoredThumbnail Failure(ThumbnailStatus status, std::string message, std::string kind = "") {
  StoredThumbnail result;
  result.status = status;
  result.message = std::move(message);
  result.kind = std::move(kind);
  return result;
}

// The picture file at `path`, decoded and shrunk to fit `size`.
StoredThumbnail Shrink(const std::string& path, int size, const std::string& kind) {
  CImage picture;
  ImageStatus loaded = picture.LoadFromFile(path);
  if (loaded == ImageStatus::kOutOfMemory) return Failure(ThumbnailStatus::kError, "out of memory", kind);
  if (loaded != ImageStatus::kOk) return Failure(ThumbnailStatus::kNoPicture, "stored picture does not decode", kind);
  StoredThumbnail result;
  result.image = ScaleDownToFit(picture, size);
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

ThumbnailResult Deliver(const std::string& outputPath, const Bytes& png) {
  if (WriteOutput(outputPath, png)) return {ThumbnailStatus::kWritten, ""};
  return {ThumbnailStatus::kError, "cannot write " + outputPath + ": " + std::strerror(errno)};
}

std::string ParentFolder(const std::string& path) {
  std::string parent = fs::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

// Where the picture is taken out of the document on its way to OUTPUT: the
// session's runtime folder, a tmpfs where files cost no disk writes, when
// there is one; otherwise beside OUTPUT (inside GNOME's sandbox a tmpfs too).
std::string ScratchParent(const std::string& outputPath) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && access(runtime, W_OK | X_OK) == 0) return runtime;
  return ParentFolder(outputPath);
}

}  // namespace

std::string DocumentKindOf(const std::string& documentPath) {
  std::string kind = KindByName(documentPath);
  return kind.empty() ? KindByContent(documentPath) : kind;
}

StoredThumbnail LoadStoredThumbnail(const std::string& documentPath, int size, const std::string& scratchFolder) {
  if (!IsRegularFile(documentPath) || access(documentPath.c_str(), R_OK) != 0) {
    return Failure(ThumbnailStatus::kError, "cannot read the document");
  }
  if (size < 1 || size > kMaxThumbnailSize) return Failure(ThumbnailStatus::kError, "size out of range");
  const std::string kind = DocumentKindOf(documentPath);
  if (kind.empty()) return Failure(ThumbnailStatus::kNoPicture, "not a document of a known kind");

  auto folder = TempFolder::CreateIn(scratchFolder, ".glimpses-thumbnailer-");
  if (!folder) return Failure(ThumbnailStatus::kError, "cannot make a private folder in " + scratchFolder, kind);
  // The extractors choose their reader by the name's extension, spelt
  // exactly; a link under a name we choose lets "PLAN.Ai" or a name without
  // extension be read like "plan.ai".
  std::error_code error;
  const std::string link = folder->Path("document." + kind);
  fs::create_symlink(fs::absolute(documentPath, error), link, error);
  if (error) return Failure(ThumbnailStatus::kError, "cannot link the document: " + error.message(), kind);

  auto written = ExtractThumbnailFile(link, folder->Path("picture.png"));
  if (!written) return Failure(ThumbnailStatus::kNoPicture, "no stored picture", kind);
  return Shrink(*written, size, kind);
}

ThumbnailResult WriteThumbnail(const ThumbnailRequest& request) {
  StoredThumbnail stored = LoadStoredThumbnail(request.documentPath, request.size, ScratchParent(request.outputPath));
  if (stored.status == ThumbnailStatus::kNoPicture && request.renderer && RendererHandles(stored.kind)) {
    Rendered rendered = RenderWith(*request.renderer, request.documentPath, request.size);
    switch (rendered.status) {
      case RenderStatus::kWritten:
        return Deliver(request.outputPath, rendered.png);
      case RenderStatus::kTimedOut:
        return {ThumbnailStatus::kNoPicture, "no stored picture, and the renderer timed out"};
      case RenderStatus::kFailed:
      case RenderStatus::kNotStarted:
        return {ThumbnailStatus::kNoPicture, "no stored picture, and the renderer made none"};
    }
  }
  if (stored.status != ThumbnailStatus::kWritten) return {stored.status, stored.message};
  // The file manager decodes OUTPUT once and re-encodes it into its cache:
  // compressing it would be work thrown away.
  auto png = EncodePng(stored.image, PngCompression::kNone);
  if (!png) return {ThumbnailStatus::kError, "cannot encode the thumbnail"};
  return Deliver(request.outputPath, *png);
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

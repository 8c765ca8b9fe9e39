#include "thumbcache/desktop_thumbnails.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/file_uri.h"
#include "base/file_util.h"
#include "base/path.h"
#include "extract/extract_thumbnail.h"
#include "extract/image_scale.h"
#include "extract/stored_picture.h"
#include "base/user_folders.h"
#include "thumbcache/thumbnail_png.h"

namespace glimpses {

namespace {

// In the order of the enum, smallest first.
constexpr struct {
  ThumbnailFolder folder;
  int edge;
  std::string_view name;
} kFolders[] = {{ThumbnailFolder::kNormal, 128, "normal"},
                {ThumbnailFolder::kLarge, 256, "large"},
                {ThumbnailFolder::kXLarge, 512, "x-large"},
                {ThumbnailFolder::kXXLarge, 1024, "xx-large"}};
constexpr std::string_view kSoftware = "Glimpses " GLIMPSES_VERSION;
constexpr std::string_view kFailFolder = "fail/glimpses-" GLIMPSES_VERSION;
// Far above an xx-large thumbnail stored uncompressed (4 MiB): a file larger
// than this is no thumbnail, and is not read.
constexpr std::size_t kMaxCacheFileBytes = 32 << 20;

// "<MD5 of the URI in lower-case hex>.png", the name every size folder and
// the failure folders use; empty when MD5 is not available (a FIPS-only
// system), which leaves the cache alone.
std::string CacheFileName(std::string_view uri) {
  static EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (md5 == nullptr || EVP_Digest(uri.data(), uri.size(), digest, &length, md5, nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name;
  for (unsigned int i = 0; i < length; ++i) {
    name.push_back(kHex[digest[i] >> 4]);
    name.push_back(kHex[digest[i] & 15]);
  }
  return name + ".png";
}

// The document's URI, time and size, taken before its bytes are read: a
// change made while it is read leaves a thumbnail stamped with the earlier
// time, found stale next time rather than valid for the wrong picture.
std::optional<DocumentStamp> StampOf(const std::string& documentPath) {
  struct stat st;
  if (stat(documentPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  DocumentStamp stamp{FileUri(documentPath), st.st_mtim.tv_sec, st.st_size};
  if (stamp.uri.empty()) return std::nullopt;
  return stamp;
}

// A cache file read whole; nullopt when missing, unreadable or damaged.
std::optional<ThumbnailPng> ReadCacheFile(const std::string& path) {
  auto bytes = ReadWholeFile(path, kMaxCacheFileBytes);
  if (!bytes) return std::nullopt;
  return ReadThumbnailPng(bytes->data(), bytes->size());
}

// Each missing folder on the way to `folder`, made private to the user.
void MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    mkdir(folder.substr(0, slash).c_str(), 0700);
  }
  mkdir(folder.c_str(), 0700);
}

// A file beside `path`, its folders made when missing (once per folder in
// practice, so the common case costs no mkdir).
std::optional<TempFile> TempFileBeside(const std::string& path) {
  if (auto temp = TempFile::CreateUnnamedBeside(path)) return temp;
  if (errno != ENOENT) return std::nullopt;
  MakeFolders(path.substr(0, path.rfind('/')));
  return TempFile::CreateUnnamedBeside(path);
}

// Thumbnails show what the user's documents hold: only the user may read
// them. Written beside the target without a name and linked or renamed into
// place, so that a reader sees the old file or the whole new one.
bool WriteCacheFile(const std::string& path, const Bytes& png) {
  auto temp = TempFileBeside(path);
  return temp && fchmod(fileno(temp->stream()), 0600) == 0 && temp->Write(png.data(), png.size()) &&
         temp->CommitTo(path);
}

// The failures worth remembering until the document changes; a document
// that could not be read may be readable in a minute.
constexpr struct {
  ExtractStatus status;
  std::string_view word;
} kRecordedFailures[] = {
    {ExtractStatus::kNoPicture, "no-picture"},
    {ExtractStatus::kDamaged, "damaged"},
    {ExtractStatus::kUnsupported, "unsupported"},
};

// "damaged: <detail>", or nothing for a failure that is not recorded.
std::string FailureText(const ExtractResult& failure) {
  for (const auto& recorded : kRecordedFailures) {
    if (recorded.status != failure.status) continue;
    return std::string(recorded.word) + (failure.detail.empty() ? "" : ": " + failure.detail);
  }
  return {};
}

// The failure a record states; "no picture" for a record without one.
ExtractResult FailureOf(const std::string& text) {
  for (const auto& recorded : kRecordedFailures) {
    if (!text.starts_with(recorded.word)) continue;
    std::string_view rest = std::string_view(text).substr(recorded.word.size());
    if (rest.empty()) return ExtractResult::Failed(recorded.status);
    if (rest.starts_with(": ")) return ExtractResult::Failed(recorded.status, std::string(rest.substr(2)));
  }
  return ExtractResult::Failed(ExtractStatus::kNoPicture);
}

// The document's files in the cache.
struct CacheFiles {
  CacheFiles(const std::string& root, const std::string& name) : root(root), name(name) {}
  std::string Thumbnail(ThumbnailFolder folder) const { return JoinPath(JoinPath(root, FolderName(folder)), name); }
  std::string FailureRecord() const { return JoinPath(JoinPath(root, kFailFolder), name); }

  std::string root;
  std::string name;
};

// A valid thumbnail in `folder` or a larger one, shrunk to `folder`'s edge.
std::optional<CImage> FromCache(const CacheFiles& files, ThumbnailFolder folder, const DocumentStamp& document) {
  for (const auto& candidate : kFolders) {
    if (candidate.folder < folder) continue;
    auto thumbnail = ReadCacheFile(files.Thumbnail(candidate.folder));
    if (!thumbnail || !Describes(*thumbnail, document)) continue;
    CImage picture = ScaleDownToFit(thumbnail->picture, EdgeOf(folder));
    if (!picture.IsNull()) return picture;
  }
  return std::nullopt;
}

CachedThumbnail FromDocument(const std::string& documentPath, ThumbnailFolder folder) {
  PictureRead read = ReadStoredPicture(documentPath);
  if (!read.picture) return {ThumbnailSource::kNone, {}, read.failure, {}};
  CImage pixels = PicturePixels(*read.picture);
  if (pixels.IsNull()) return {ThumbnailSource::kNone, {}, ExtractResult::Failed(ExtractStatus::kDamaged), {}};
  return {ThumbnailSource::kDocument, ScaleDownToFit(pixels, EdgeOf(folder)), {}, {}};
}

// The thumbnail, or the failure record, for what was just read; a failure
// record (stale, or damaged) goes once the document gives a picture.
bool Remember(const CachedThumbnail& made, const CacheFiles& files, ThumbnailFolder folder) {
  if (made.source == ThumbnailSource::kDocument) {
    auto png = EncodeThumbnailPng(made.picture, made.document, std::string(kSoftware));
    if (!png || !WriteCacheFile(files.Thumbnail(folder), *png)) return false;
    unlink(files.FailureRecord().c_str());
    return true;
  }
  const std::string failure = FailureText(made.failure);
  CImage blank;
  if (failure.empty() || !blank.Create(1, 1, 32, true)) return false;
  auto png = EncodeThumbnailPng(blank, made.document, std::string(kSoftware), failure);
  return png && WriteCacheFile(files.FailureRecord(), *png);
}

}  // namespace

int EdgeOf(ThumbnailFolder folder) { return kFolders[static_cast<int>(folder)].edge; }

std::string_view FolderName(ThumbnailFolder folder) { return kFolders[static_cast<int>(folder)].name; }

std::optional<ThumbnailFolder> FolderNamed(std::string_view name) {
  for (const auto& candidate : kFolders) {
    if (candidate.name == name) return candidate.folder;
  }
  return std::nullopt;
}

ThumbnailFolder FolderForEdge(int edge) {
  for (const auto& candidate : kFolders) {
    if (edge <= candidate.edge) return candidate.folder;
  }
  return ThumbnailFolder::kXXLarge;
}

std::string ThumbnailRoot(const ThumbnailCacheOptions& options) {
  if (!options.root.empty()) return options.root;
  // The XDG rules say a relative value is invalid and must be ignored.
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return JoinPath(cache, "thumbnails");
  return JoinPath(JoinPath(HomeDir(), ".cache"), "thumbnails");
}

std::string ThumbnailPath(const std::string& documentPath, ThumbnailFolder folder,
                          const ThumbnailCacheOptions& options) {
  const std::string name = CacheFileName(FileUri(documentPath));
  return name.empty() ? name : CacheFiles(ThumbnailRoot(options), name).Thumbnail(folder);
}

std::string FailureRecordPath(const std::string& documentPath, const ThumbnailCacheOptions& options) {
  const std::string name = CacheFileName(FileUri(documentPath));
  return name.empty() ? name : CacheFiles(ThumbnailRoot(options), name).FailureRecord();
}

std::optional<CachedThumbnail> FindCachedThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                                                   const ThumbnailCacheOptions& options) {
  auto document = StampOf(documentPath);
  const std::string name = document ? CacheFileName(document->uri) : std::string();
  // Without a stamp the reader says best why the document cannot be read.
  if (name.empty()) return std::nullopt;

  const CacheFiles files(ThumbnailRoot(options), name);
  if (auto picture = FromCache(files, folder, *document)) {
    return CachedThumbnail{ThumbnailSource::kCache, std::move(*picture), {}, *document};
  }
  auto record = ReadCacheFile(files.FailureRecord());
  if (record && Describes(*record, *document)) {
    return CachedThumbnail{ThumbnailSource::kNone, {}, FailureOf(record->failure), *document};
  }
  return std::nullopt;
}

CachedThumbnail ReadThumbnail(const std::string& documentPath, ThumbnailFolder folder) {
  const std::optional<DocumentStamp> document = StampOf(documentPath);
  CachedThumbnail made = FromDocument(documentPath, folder);
  if (document) made.document = *document;
  return made;
}

bool StoreThumbnail(const std::string& documentPath, const CachedThumbnail& made, ThumbnailFolder folder,
                    const ThumbnailCacheOptions& options) {
  const std::optional<DocumentStamp> now = StampOf(documentPath);
  if (made.source == ThumbnailSource::kCache || !now || *now != made.document) return false;
  const std::string name = CacheFileName(now->uri);
  return !name.empty() && Remember(made, CacheFiles(ThumbnailRoot(options), name), folder);
}

CachedThumbnail LoadThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                              const ThumbnailCacheOptions& options) {
  if (auto found = FindCachedThumbnail(documentPath, folder, options)) return std::move(*found);
  CachedThumbnail made = ReadThumbnail(documentPath, folder);
  if (options.write) StoreThumbnail(documentPath, made, folder, options);
  return made;
}

}  // namespace glimpses

// Thumbnails shared with the desktop: a document's picture at the size a
// view asks for, taken from the freedesktop thumbnail cache
// ($XDG_CACHE_HOME/thumbnails) when the file manager or an earlier run
// already made it, otherwise read from the document's stored picture and
// written back there for the next one, at once (LoadThumbnail) or later
// (FindCachedThumbnail, ReadThumbnail, then StoreThumbnail). Safe to call
// from several threads at once, for the same document too: every file
// appears whole, by a rename.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "extract/extract_result.h"
#include "extract/image.h"
#include "thumbcache/thumbnail_png.h"

namespace glimpses {

// The cache's size folders: normal (128), large (256), x-large (512),
// xx-large (1024).
enum class ThumbnailFolder { kNormal, kLarge, kXLarge, kXXLarge };

int EdgeOf(ThumbnailFolder folder);
// The smallest folder whose pictures are at least `edge` pixels.
ThumbnailFolder FolderForEdge(int edge);
// The folder's name in the cache ("normal", "large", "x-large", "xx-large"),
// and the folder of such a name (nullopt for any other).
std::string_view FolderName(ThumbnailFolder folder);
std::optional<ThumbnailFolder> FolderNamed(std::string_view name);

struct ThumbnailCacheOptions {
  std::string root;   // the "thumbnails" folder; empty: $XDG_CACHE_HOME/thumbnails
  bool write = true;  // false: read the cache, never change it
};

enum class ThumbnailSource { kCache, kDocument, kNone };

struct CachedThumbnail {
  ThumbnailSource source = ThumbnailSource::kNone;
  CImage picture;          // at most EdgeOf(folder) on its longer edge
  ExtractResult failure;   // why there is none, for kNone
  DocumentStamp document;  // the document as it was before it was read; no URI when it could not be stat'ed
};

// The document's picture for `folder`:
// - kCache: a thumbnail in `folder`, or else in a larger folder (shrunk),
//   made from the document as it is now (its URI, modification time and,
//   when the thumbnail states it, size); the document is not opened;
// - kNone without opening the document when our failure record for it is
//   that recent: it stores no picture (or a damaged or unsupported one);
// - otherwise the document's stored picture, shrunk (kDocument), or why
//   there is none (kNone). With options.write the thumbnail, or the failure
//   record, is then written to the cache (mode 0600, missing folders 0700),
//   replacing a stale or damaged one; a document that cannot be read
//   leaves no record, as that may pass without the document changing.
CachedThumbnail LoadThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                              const ThumbnailCacheOptions& options = {});

// LoadThumbnail's first step, the cache alone: kCache or a recorded kNone
// as above, without opening the document; nullopt when the document must
// be read.
std::optional<CachedThumbnail> FindCachedThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                                                   const ThumbnailCacheOptions& options = {});
// The next: the document's stored picture shrunk for `folder` (kDocument),
// or why there is none (kNone), stamped with the document as it was before
// it was read. Writes nothing.
CachedThumbnail ReadThumbnail(const std::string& documentPath, ThumbnailFolder folder);
// The last, at any later time: what ReadThumbnail made goes into the cache,
// the thumbnail in `folder` (our failure record for the document removed),
// or a failure record for a failure worth one. Nothing is written, and
// false returned, when the document is no longer as `made` stamps it (it
// changed meanwhile, or was never stat'ed), or for a failure not recorded.
bool StoreThumbnail(const std::string& documentPath, const CachedThumbnail& made, ThumbnailFolder folder,
                    const ThumbnailCacheOptions& options = {});

// options.root, or $XDG_CACHE_HOME/thumbnails ($HOME/.cache/thumbnails when
// that is unset or relative).
std::string ThumbnailRoot(const ThumbnailCacheOptions& options);

// Where the cache keeps the document's thumbnail for `folder`:
// <root>/<folder>/<MD5 of its URI in hex>.png; empty when no URI can be made.
std::string ThumbnailPath(const std::string& documentPath, ThumbnailFolder folder,
                          const ThumbnailCacheOptions& options = {});
// Where our failure record for it is kept: <root>/fail/glimpses-<version>/<MD5>.png.
std::string FailureRecordPath(const std::string& documentPath, const ThumbnailCacheOptions& options = {});

}  // namespace glimpses

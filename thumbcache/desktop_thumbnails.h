// Thumbnails shared with the desktop: a document's picture at the size a
// view asks for, taken from the freedesktop thumbnail cache
// ($XDG_CACHE_HOME/thumbnails) when the file manager or an earlier run
// already made it, otherwise read from the document's stored picture and
// written back there for the next one.
#pragma once

#include <string>

#include "extract/extract_result.h"
#include "extract/image.h"

namespace glimpses {

// The cache's size folders: normal (128), large (256), x-large (512),
// xx-large (1024).
enum class ThumbnailFolder { kNormal, kLarge, kXLarge, kXXLarge };

int EdgeOf(ThumbnailFolder folder);
// The smallest folder whose pictures are at least `edge` pixels.
ThumbnailFolder FolderForEdge(int edge);

struct ThumbnailCacheOptions {
  std::string root;   // the "thumbnails" folder; empty: $XDG_CACHE_HOME/thumbnails
  bool write = true;  // false: read the cache, never change it
};

enum class ThumbnailSource { kCache, kDocument, kNone };

struct CachedThumbnail {
  ThumbnailSource source = ThumbnailSource::kNone;
  CImage picture;          // at most EdgeOf(folder) on its longer edge
  ExtractResult failure;   // why there is none, for kNone
};

// The document's picture for `folder`.
CachedThumbnail LoadThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                              const ThumbnailCacheOptions& options = {});

}  // namespace glimpses

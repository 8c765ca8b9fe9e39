#include "thumbcache/desktop_thumbnails.h"

#include "extract/extract_thumbnail.h"
#include "extract/image_scale.h"
#include "extract/stored_picture.h"

namespace glimpses {

int EdgeOf(ThumbnailFolder folder) {
  switch (folder) {
    case ThumbnailFolder::kNormal:
      return 128;
    case ThumbnailFolder::kLarge:
      return 256;
    case ThumbnailFolder::kXLarge:
      return 512;
    case ThumbnailFolder::kXXLarge:
      return 1024;
  }
  return 256;
}

ThumbnailFolder FolderForEdge(int edge) {
  for (ThumbnailFolder folder : {ThumbnailFolder::kNormal, ThumbnailFolder::kLarge, ThumbnailFolder::kXLarge}) {
    if (edge <= EdgeOf(folder)) return folder;
  }
  return ThumbnailFolder::kXXLarge;
}

CachedThumbnail LoadThumbnail(const std::string& documentPath, ThumbnailFolder folder,
                              const ThumbnailCacheOptions& /*options*/) {
  PictureRead read = ReadStoredPicture(documentPath);
  if (!read.picture) return {ThumbnailSource::kNone, {}, read.failure};
  CImage pixels = PicturePixels(*read.picture);
  if (pixels.IsNull()) return {ThumbnailSource::kNone, {}, ExtractResult::Failed(ExtractStatus::kDamaged)};
  return {ThumbnailSource::kDocument, ScaleDownToFit(pixels, EdgeOf(folder)), {}};
}

}  // namespace glimpses

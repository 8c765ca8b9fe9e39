// The desktop thumbnail cache's reader, over files anyone may have put in
// the cache: the picture and the text chunks that say which document it
// stands for. A file that reads is written again and must read back with
// the same stamp.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/image_round_trip.h"
#include "thumbcache/thumbnail_png.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto thumbnail = glimpses::ReadThumbnailPng(data, size);
  if (!thumbnail) return 0;
  const glimpses::DocumentStamp stamp{thumbnail->uri, thumbnail->mtime.value_or(0), thumbnail->size.value_or(0)};
  glimpses::Describes(*thumbnail, stamp);
  const glimpses::CImage& picture = thumbnail->picture;
  if (std::int64_t{picture.Width()} * picture.Height() > glimpses::kMaxRoundTripPixels) return 0;
  // Texts holding a NUL byte cannot be written as tEXt: nothing to compare.
  auto png = glimpses::EncodeThumbnailPng(picture, stamp, thumbnail->software, thumbnail->failure);
  if (!png) return 0;
  auto again = glimpses::ReadThumbnailPng(png->data(), png->size());
  if (!again || again->uri != stamp.uri || again->mtime != stamp.mtime || again->size != stamp.size ||
      again->failure != thumbnail->failure || again->picture.Width() != picture.Width()) {
    std::abort();
  }
  return 0;
}

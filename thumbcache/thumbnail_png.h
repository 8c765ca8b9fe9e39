// One file of the desktop's thumbnail cache: a PNG whose text chunks name
// the document it was made from (Thumb::URI), that document's modification
// time and size when it was made (Thumb::MTime, Thumb::Size), and the
// program that made it (Software). Read from bytes anyone may have written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/file_util.h"
#include "extract/image.h"

namespace glimpses {

// What a thumbnail must match to stand for a document.
struct DocumentStamp {
  std::string uri;         // as FileUri gives it
  std::int64_t mtime = 0;  // whole seconds since the epoch
  std::int64_t size = 0;   // bytes
  bool operator==(const DocumentStamp&) const = default;
};

struct ThumbnailPng {
  CImage picture;
  std::string uri;                    // empty when absent
  std::optional<std::int64_t> mtime;  // nullopt when absent or not a whole decimal number
  std::optional<std::int64_t> size;   // likewise
  std::string software;
  std::string failure;  // Glimpses::Failure of our failure records: why the document gave no picture
};

// The cache file in `data`; nullopt when it is not a whole PNG (cut short,
// a bad checksum in the pixels, a picture above kMaxImagePixels).
std::optional<ThumbnailPng> ReadThumbnailPng(const std::uint8_t* data, std::size_t size);

// True when the thumbnail was made from the document as it is now: the same
// URI, the same modification time, and the same size unless it names none.
bool Describes(const ThumbnailPng& thumbnail, const DocumentStamp& document);

// The PNG of `picture` (8-bit RGB, or RGBA when it has alpha) stamped for
// `document` (URI, time and size), with `software` and, when not empty,
// `failure`. Nullopt when it cannot be encoded (a failure text holding a NUL
// byte, say).
std::optional<Bytes> EncodeThumbnailPng(const CImage& picture, const DocumentStamp& document,
                                        const std::string& software, const std::string& failure = {});

}  // namespace glimpses

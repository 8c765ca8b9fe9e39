#include "thumbcache/thumbnail_png.h"

#include <charconv>
#include <vector>

#include "extract/png_codec.h"

namespace glimpses {

namespace {

constexpr char kUri[] = "Thumb::URI";
constexpr char kMTime[] = "Thumb::MTime";
constexpr char kSize[] = "Thumb::Size";
constexpr char kSoftware[] = "Software";
constexpr char kFailure[] = "Glimpses::Failure";

// Strictly a decimal number, as the writers put it: "12abc" or " 12" is no
// time, where atol would read 12 and call a stale thumbnail valid.
std::optional<std::int64_t> WholeNumber(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ThumbnailPng> ReadThumbnailPng(const std::uint8_t* data, std::size_t size) {
  ThumbnailPng thumbnail;
  std::vector<PngText> text;
  if (DecodePng(data, size, thumbnail.picture, text) != ImageStatus::kOk) return std::nullopt;
  // A key stated twice keeps its first text, as GNOME's reader does: read
  // backwards, the first is assigned last.
  for (auto item = text.rbegin(); item != text.rend(); ++item) {
    if (item->keyword == kUri) thumbnail.uri = item->text;
    if (item->keyword == kMTime) thumbnail.mtime = WholeNumber(item->text);
    if (item->keyword == kSize) thumbnail.size = WholeNumber(item->text);
    if (item->keyword == kSoftware) thumbnail.software = item->text;
    if (item->keyword == kFailure) thumbnail.failure = item->text;
  }
  return thumbnail;
}

bool Describes(const ThumbnailPng& thumbnail, const DocumentStamp& document) {
  return !thumbnail.uri.empty() && thumbnail.uri == document.uri && thumbnail.mtime == document.mtime &&
         (!thumbnail.size || *thumbnail.size == document.size);
}

std::optional<Bytes> EncodeThumbnailPng(const CImage& picture, const DocumentStamp& document,
                                        const std::string& software, const std::string& failure) {
  std::vector<PngText> text = {{kUri, document.uri},
                               {kMTime, std::to_string(document.mtime)},
                               {kSize, std::to_string(document.size)},
                               {kSoftware, software}};
  if (!failure.empty()) text.push_back({kFailure, failure});
  return EncodePng(picture, PngCompression::kRunLength, text);
}

}  // namespace glimpses

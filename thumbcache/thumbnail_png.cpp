#include "thumbcache/thumbnail_png.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <charconv>
#include <string_view>
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

void AppendBigEndian(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Opens a chunk of `type`; CloseChunk stamps its length and checksum once
// its data follows.
std::size_t OpenChunk(Bytes& png, std::string_view type) {
  const std::size_t start = png.size();
  AppendBigEndian(png, 0);
  png.insert(png.end(), type.begin(), type.end());
  return start;
}

void CloseChunk(Bytes& png, std::size_t start) {
  const std::size_t length = png.size() - start - 8;
  for (int i = 0; i < 4; ++i) png[start + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
  AppendBigEndian(png, crc32_gzip_refl(0, png.data() + start + 4, length + 4));
}

void AppendHeader(Bytes& png, const CImage& image, bool alpha) {
  const std::size_t chunk = OpenChunk(png, "IHDR");
  AppendBigEndian(png, static_cast<std::uint32_t>(image.Width()));
  AppendBigEndian(png, static_cast<std::uint32_t>(image.Height()));
  // 8 bits a sample, RGB or RGBA, deflate, the standard filters, not interlaced.
  png.insert(png.end(), {8, static_cast<std::uint8_t>(alpha ? 6 : 2), 0, 0, 0});
  CloseChunk(png, chunk);
}

// False for a text holding a NUL byte, which would end it early.
bool AppendText(Bytes& png, const PngText& item) {
  if (item.text.find('\0') != std::string::npos) return false;
  const std::size_t chunk = OpenChunk(png, "tEXt");
  png.insert(png.end(), item.keyword.c_str(), item.keyword.c_str() + item.keyword.size() + 1);  // and its NUL
  png.insert(png.end(), item.text.begin(), item.text.end());
  CloseChunk(png, chunk);
  return true;
}

// Every row as PNG stores it: the Up filter's type byte, then each byte of
// R, G, B (and A) less the one above it. `image` is 24-bit B, G, R or 32-bit
// B, G, R, A.
template <int kChannels>
Bytes UpFilteredRows(const CImage& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(image.Width()) * kChannels;
  Bytes rows((rowBytes + 1) * static_cast<std::size_t>(image.Height()));
  Bytes above(rowBytes, 0), current(rowBytes);
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* in = image.Row(y);
    for (std::size_t x = 0; x < rowBytes; x += kChannels) {
      current[x] = in[x + 2];
      current[x + 1] = in[x + 1];
      current[x + 2] = in[x];
      if constexpr (kChannels == 4) current[x + 3] = in[x + 3];
    }
    std::uint8_t* out = rows.data() + (rowBytes + 1) * static_cast<std::size_t>(y);
    out[0] = 2;  // Up
    for (std::size_t i = 0; i < rowBytes; ++i) out[i + 1] = static_cast<std::uint8_t>(current[i] - above[i]);
    above.swap(current);
  }
  return rows;
}

// `rows` deflated as a zlib stream at the end of `png`; false when ISA-L
// refuses (it never should: the room left holds them stored).
//
// Thumbnails are written by the thousand, and deflating them was most of
// that work. ISA-L's fastest level after the Up filter, per 256 px picture
// (bench/thumbcache_bench): photographs 0.50 ms and 68.7 KB where zlib's
// run-length strategy took 1.19 ms for 67.5 KB, flat artwork 0.17 ms and
// 11.6 KB where it took 0.51 ms for 13.2 KB. zlib's Huffman-only strategy
// and libdeflate's fastest level came within a tenth of run-length's time;
// the Paeth or adaptive filters make photographs a tenth smaller for half as
// much time again. Read back through libpng, photographs cost 0.63 ms where
// run-length's took 0.55, artwork 0.22 where it took 0.34. libpng deflates
// only through zlib, so the few chunks around the pixels are written here.
bool AppendZlibStream(Bytes& png, const Bytes& rows) {
  const std::size_t start = png.size();
  png.resize(start + rows.size() + rows.size() / 1024 + 1024);
  isal_zstream stream;
  isal_deflate_stateless_init(&stream);
  stream.next_in = const_cast<std::uint8_t*>(rows.data());  // read only
  stream.avail_in = static_cast<std::uint32_t>(rows.size());
  stream.next_out = png.data() + start;
  stream.avail_out = static_cast<std::uint32_t>(png.size() - start);
  stream.end_of_stream = 1;
  stream.flush = NO_FLUSH;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.level = 1;
  if (isal_deflate_stateless(&stream) != COMP_OK) return false;
  png.resize(start + stream.total_out);
  return true;
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
  const bool alpha = picture.HasAlpha() && picture.BitsPerPixel() == 32;
  const CImage widened = alpha || picture.BitsPerPixel() == 24 ? CImage() : ToBgr24(picture);
  const CImage& image = widened.IsNull() ? picture : widened;
  if (image.IsNull() || (!alpha && image.BitsPerPixel() != 24)) return std::nullopt;

  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  Bytes png(std::begin(kSignature), std::end(kSignature));
  AppendHeader(png, image, alpha);
  for (const PngText& item : text) {
    if (!AppendText(png, item)) return std::nullopt;
  }
  const std::size_t chunk = OpenChunk(png, "IDAT");
  if (!AppendZlibStream(png, alpha ? UpFilteredRows<4>(image) : UpFilteredRows<3>(image))) return std::nullopt;
  CloseChunk(png, chunk);
  CloseChunk(png, OpenChunk(png, "IEND"));
  return png;
}

}  // namespace glimpses

#include "tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace glimpses {

namespace {

// The bytes libtiff reads through its client callbacks.
struct MemoryStream {
  const std::uint8_t* data;
  toff_t size;
  toff_t position = 0;
};

tmsize_t ReadStream(thandle_t handle, void* buffer, tmsize_t wanted) {
  auto* stream = static_cast<MemoryStream*>(handle);
  if (wanted < 0 || stream->position >= stream->size) return 0;
  toff_t count = std::min<toff_t>(static_cast<toff_t>(wanted), stream->size - stream->position);
  std::memcpy(buffer, stream->data + stream->position, count);
  stream->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteStream(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekStream(thandle_t handle, toff_t offset, int whence) {
  auto* stream = static_cast<MemoryStream*>(handle);
  toff_t base = whence == SEEK_CUR ? stream->position : whence == SEEK_END ? stream->size : 0;
  // Offsets are unsigned: a "negative" one wraps, and anything past the end
  // is refused rather than remembered.
  toff_t target = base + offset;
  if (target > stream->size) return static_cast<toff_t>(-1);
  stream->position = target;
  return target;
}

int CloseStream(thandle_t) { return 0; }
toff_t StreamSize(thandle_t handle) { return static_cast<MemoryStream*>(handle)->size; }
int MapStream(thandle_t, void**, toff_t*) { return 0; }
void UnmapStream(thandle_t, void*, toff_t) {}

int Swallow(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// No stored preview needs more than this in one allocation; a damaged
// header must not make libtiff ask for gigabytes.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{256} << 20;

bool HasAlpha(TIFF* tiff) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) != 1) return false;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (kinds[i] == EXTRASAMPLE_ASSOCALPHA || kinds[i] == EXTRASAMPLE_UNASSALPHA) return true;
  }
  return false;
}

// libtiff's RGBA reader multiplies colour by alpha; PNG wants it apart.
void Unpremultiply(std::uint8_t* bgra, std::uint8_t alpha) {
  bgra[3] = alpha;
  if (alpha == 0 || alpha == 255) return;
  for (int i = 0; i < 3; ++i) bgra[i] = static_cast<std::uint8_t>(std::min(255, (bgra[i] * 255 + alpha / 2) / alpha));
}

// libtiff's raster (bottom byte red, rows top first) into `image`, already
// created at its size with 24 or 32 bits.
void CopyRaster(const std::vector<std::uint32_t>& raster, CImage& image) {
  const bool alpha = image.HasAlpha();
  const int channels = alpha ? 4 : 3;
  const auto width = static_cast<std::size_t>(image.Width());
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* out = image.Row(y);
    const std::uint32_t* in = raster.data() + static_cast<std::size_t>(y) * width;
    for (std::size_t x = 0; x < width; ++x, out += channels) {
      out[0] = static_cast<std::uint8_t>(TIFFGetB(in[x]));
      out[1] = static_cast<std::uint8_t>(TIFFGetG(in[x]));
      out[2] = static_cast<std::uint8_t>(TIFFGetR(in[x]));
      if (alpha) Unpremultiply(out, static_cast<std::uint8_t>(TIFFGetA(in[x])));
    }
  }
}

}  // namespace

ImageStatus DecodeTiff(const std::uint8_t* data, std::size_t size, CImage& image) {
  MemoryStream stream{data, size};
  std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
  if (!options) return ImageStatus::kOutOfMemory;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Swallow, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Swallow, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
  // "m": never map the stream; "r": read only.
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt("preview", "rm", &stream, ReadStream, WriteStream,
                                                           SeekStream, CloseStream, StreamSize, MapStream, UnmapStream,
                                                           options.get()));
  if (!tiff) return ImageStatus::kFail;
  std::uint32_t width = 0, height = 0;
  if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0 ||
      std::int64_t{width} * height > kMaxImagePixels) {
    return ImageStatus::kFail;
  }
  char message[1024];
  if (TIFFRGBAImageOK(tiff.get(), message) != 1) return ImageStatus::kFail;

  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (TIFFReadRGBAImageOriented(tiff.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1) != 1) {
    return ImageStatus::kFail;
  }
  bool alpha = HasAlpha(tiff.get());
  if (!image.Create(static_cast<int>(width), static_cast<int>(height), alpha ? 32 : 24, alpha)) {
    return ImageStatus::kOutOfMemory;
  }
  CopyRaster(raster, image);
  return ImageStatus::kOk;
}

}  // namespace glimpses

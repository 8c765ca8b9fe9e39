#include "tiff_codec.h"

#include <dlfcn.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace glimpses {

namespace {

// libtiff is opened at the first TIFF preview rather than linked: it brings
// six compression libraries with it, and glimpses-thumbnailer, started once
// for every file a folder view shows, would load all seven for each document
// (a millisecond) although few documents hold a TIFF preview.
struct Libtiff {
  decltype(&TIFFClientOpenExt) clientOpenExt;
  decltype(&TIFFClose) close;
  decltype(&TIFFGetField) getField;
  decltype(&TIFFOpenOptionsAlloc) optionsAlloc;
  decltype(&TIFFOpenOptionsFree) optionsFree;
  decltype(&TIFFOpenOptionsSetErrorHandlerExtR) setErrorHandler;
  decltype(&TIFFOpenOptionsSetWarningHandlerExtR) setWarningHandler;
  decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) setMaxSingleMemAlloc;
  decltype(&TIFFRGBAImageOK) rgbaImageOk;
  decltype(&TIFFReadRGBAImageOriented) readRgbaImageOriented;
};

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

std::optional<Libtiff> OpenLibtiff() {
  void* library = dlopen(GLIMPSES_LIBTIFF_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  Libtiff api{};
  if (Bind(library, "TIFFClientOpenExt", api.clientOpenExt) && Bind(library, "TIFFClose", api.close) &&
      Bind(library, "TIFFGetField", api.getField) && Bind(library, "TIFFOpenOptionsAlloc", api.optionsAlloc) &&
      Bind(library, "TIFFOpenOptionsFree", api.optionsFree) &&
      Bind(library, "TIFFOpenOptionsSetErrorHandlerExtR", api.setErrorHandler) &&
      Bind(library, "TIFFOpenOptionsSetWarningHandlerExtR", api.setWarningHandler) &&
      Bind(library, "TIFFOpenOptionsSetMaxSingleMemAlloc", api.setMaxSingleMemAlloc) &&
      Bind(library, "TIFFRGBAImageOK", api.rgbaImageOk) &&
      Bind(library, "TIFFReadRGBAImageOriented", api.readRgbaImageOriented)) {
    return api;  // stays loaded for the life of the process
  }
  dlclose(library);
  return std::nullopt;
}

// Null when libtiff cannot be loaded.
const Libtiff* LoadLibtiff() {
  static const std::optional<Libtiff> api = OpenLibtiff();
  return api ? &*api : nullptr;
}

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
  void operator()(TIFF* tiff) const { LoadLibtiff()->close(tiff); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* options) const { LoadLibtiff()->optionsFree(options); }
};

// No stored preview needs more than this in one allocation; a damaged
// header must not make libtiff ask for gigabytes.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{256} << 20;

bool HasAlpha(const Libtiff& libtiff, TIFF* tiff) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (libtiff.getField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) != 1) return false;
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
  const Libtiff* libtiff = LoadLibtiff();
  if (libtiff == nullptr) return ImageStatus::kFail;
  MemoryStream stream{data, size};
  std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(libtiff->optionsAlloc());
  if (!options) return ImageStatus::kOutOfMemory;
  libtiff->setErrorHandler(options.get(), Swallow, nullptr);
  libtiff->setWarningHandler(options.get(), Swallow, nullptr);
  libtiff->setMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
  // "m": never map the stream; "r": read only.
  std::unique_ptr<TIFF, TiffCloser> tiff(libtiff->clientOpenExt("preview", "rm", &stream, ReadStream, WriteStream,
                                                           SeekStream, CloseStream, StreamSize, MapStream, UnmapStream,
                                                           options.get()));
  if (!tiff) return ImageStatus::kFail;
  std::uint32_t width = 0, height = 0;
  if (libtiff->getField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      libtiff->getField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0 ||
      std::int64_t{width} * height > kMaxImagePixels) {
    return ImageStatus::kFail;
  }
  char message[1024];
  if (libtiff->rgbaImageOk(tiff.get(), message) != 1) return ImageStatus::kFail;

  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (libtiff->readRgbaImageOriented(tiff.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1) != 1) {
    return ImageStatus::kFail;
  }
  bool alpha = HasAlpha(*libtiff, tiff.get());
  if (!image.Create(static_cast<int>(width), static_cast<int>(height), alpha ? 32 : 24, alpha)) {
    return ImageStatus::kOutOfMemory;
  }
  CopyRaster(raster, image);
  return ImageStatus::kOk;
}

}  // namespace glimpses

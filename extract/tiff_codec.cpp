#include "extract/tiff_codec.h"

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
  decltype(&TIFFGetFieldDefaulted) getFieldDefaulted;
  decltype(&TIFFIsTiled) isTiled;
  decltype(&TIFFComputeStrip) computeStrip;
  decltype(&TIFFComputeTile) computeTile;
  decltype(&TIFFReadEncodedStrip) readEncodedStrip;
  decltype(&TIFFReadEncodedTile) readEncodedTile;
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
      Bind(library, "TIFFGetField", api.getField) && Bind(library, "TIFFGetFieldDefaulted", api.getFieldDefaulted) &&
      Bind(library, "TIFFIsTiled", api.isTiled) && Bind(library, "TIFFComputeStrip", api.computeStrip) &&
      Bind(library, "TIFFComputeTile", api.computeTile) &&
      Bind(library, "TIFFReadEncodedStrip", api.readEncodedStrip) &&
      Bind(library, "TIFFReadEncodedTile", api.readEncodedTile) &&
      Bind(library, "TIFFOpenOptionsAlloc", api.optionsAlloc) &&
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

// --- Layouts read sample by sample --------------------------------------
//
// libtiff's RGBA reader drops the alpha sample of a palette picture and
// multiplies colour by an unassociated alpha, losing what PNG could keep.
// The layouts previews are written in are therefore read here, sample by
// sample, from the decoded strips or tiles.

// What one sample of a pixel becomes; the first four are the byte of the
// BGRA pixel they fill.
enum class Role : std::uint8_t { kBlue, kGreen, kRed, kAlpha, kGrey, kIndex, kSkip };

struct Rgb {
  std::uint8_t red, green, blue;
};

struct Layout {
  std::uint32_t width = 0, height = 0;
  unsigned bits = 0;
  std::vector<Role> roles;  // one for each sample of a pixel
  bool planar = false;      // one plane for each sample
  bool alpha = false, associated = false;
  bool flipX = false, flipY = false;
  std::vector<std::uint8_t> levels;  // sample value to 0..255
  std::vector<std::uint8_t> greys;   // grey value to 0..255, white made 255
  std::vector<Rgb> palette;
};

// A strip or a tile: the rectangle one read decodes, in one plane.
struct Block {
  std::uint32_t width = 0, height = 0;
  std::size_t rowBytes = 0;
  bool tiled = false;
};

// The colour samples' roles for `photometric`; empty for the kinds left to
// the RGBA reader (CMYK, YCbCr, CIE Lab ...).
std::vector<Role> ColourRoles(std::uint16_t photometric) {
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      return {Role::kGrey};
    case PHOTOMETRIC_PALETTE:
      return {Role::kIndex};
    case PHOTOMETRIC_RGB:
      return {Role::kRed, Role::kGreen, Role::kBlue};
    default:
      return {};
  }
}

// The first alpha among the extra samples counts; the others are skipped.
void AddExtraRoles(const Libtiff& libtiff, TIFF* tiff, std::uint16_t samples, Layout& layout) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (libtiff.getField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) != 1) count = 0;
  for (std::size_t i = 0; layout.roles.size() < samples; ++i) {
    const std::uint16_t kind = i < count ? kinds[i] : EXTRASAMPLE_UNSPECIFIED;
    const bool alpha = !layout.alpha && (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA);
    layout.roles.push_back(alpha ? Role::kAlpha : Role::kSkip);
    layout.alpha = layout.alpha || alpha;
    layout.associated = layout.associated || (alpha && kind == EXTRASAMPLE_ASSOCALPHA);
  }
}

// Each colour as 8 bits; like the RGBA reader, a map whose entries all fit
// 8 bits is taken as written by a program that forgot to widen them.
bool ReadPalette(const Libtiff& libtiff, TIFF* tiff, Layout& layout) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (libtiff.getField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1) return false;
  const std::size_t entries = std::size_t{1} << layout.bits;
  bool eightBit = true;
  for (std::size_t i = 0; i < entries; ++i) eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const int shift = eightBit ? 0 : 8;
  layout.palette.resize(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    layout.palette[i] = {std::uint8_t(red[i] >> shift), std::uint8_t(green[i] >> shift),
                         std::uint8_t(blue[i] >> shift)};
  }
  return true;
}

void FillLevels(std::uint16_t photometric, Layout& layout) {
  const std::uint32_t top = (std::uint32_t{1} << layout.bits) - 1;
  layout.levels.resize(top + 1);
  for (std::uint32_t v = 0; v <= top; ++v) layout.levels[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
  layout.greys = layout.levels;
  if (photometric == PHOTOMETRIC_MINISWHITE) {
    for (std::uint8_t& grey : layout.greys) grey = static_cast<std::uint8_t>(255 - grey);
  }
}

// Like the RGBA reader, orientations 5 to 8 are taken as their unrotated
// counterparts.
void SetFlips(std::uint16_t orientation, Layout& layout) {
  const int kind = (orientation - 1) % 4;  // top-left, top-right, bottom-right, bottom-left
  layout.flipX = kind == 1 || kind == 2;
  layout.flipY = kind == 2 || kind == 3;
}

// Nullopt for the layouts left to the RGBA reader.
std::optional<Layout> ReadLayout(const Libtiff& libtiff, TIFF* tiff, std::uint32_t width, std::uint32_t height) {
  std::uint16_t photometric = 0, bits = 0, samples = 0, planar = 0, format = 0, orientation = 0;
  if (libtiff.getField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
      libtiff.getFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits) != 1 ||
      libtiff.getFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples) != 1 ||
      libtiff.getFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar) != 1 ||
      libtiff.getFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format) != 1 ||
      libtiff.getFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation) != 1) {
    return std::nullopt;
  }
  Layout layout;
  layout.width = width;
  layout.height = height;
  layout.bits = bits;
  layout.roles = ColourRoles(photometric);
  // Beyond eight samples a pixel is no preview; the RGBA reader judges it.
  if (layout.roles.empty() || bits < 1 || bits > 16 || samples < layout.roles.size() || samples > 8 ||
      format != SAMPLEFORMAT_UINT || orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT) {
    return std::nullopt;
  }
  AddExtraRoles(libtiff, tiff, samples, layout);
  layout.planar = planar == PLANARCONFIG_SEPARATE;
  if (photometric == PHOTOMETRIC_PALETTE && !ReadPalette(libtiff, tiff, layout)) return std::nullopt;
  FillLevels(photometric, layout);
  SetFlips(orientation, layout);
  return layout;
}

std::optional<Block> BlockOf(const Libtiff& libtiff, TIFF* tiff, const Layout& layout) {
  Block block;
  block.tiled = libtiff.isTiled(tiff) != 0;
  if (block.tiled) {
    if (libtiff.getField(tiff, TIFFTAG_TILEWIDTH, &block.width) != 1 ||
        libtiff.getField(tiff, TIFFTAG_TILELENGTH, &block.height) != 1) {
      return std::nullopt;
    }
  } else {
    std::uint32_t rows = 0;
    if (libtiff.getFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows) != 1) return std::nullopt;
    block.width = layout.width;
    block.height = std::min(rows, layout.height);
  }
  const std::uint64_t samplesInPlane = layout.planar ? 1 : layout.roles.size();
  const std::uint64_t rowBytes = (std::uint64_t{block.width} * samplesInPlane * layout.bits + 7) / 8;
  // A damaged tile size must not overflow the product.
  if (block.width == 0 || block.height == 0 || rowBytes > std::uint64_t{kMaxTiffAllocation} / block.height) {
    return std::nullopt;
  }
  block.rowBytes = static_cast<std::size_t>(rowBytes);
  return block;
}

// Sample `index` of a row of `bits`-bit samples, high bits first (libtiff
// has already put 16-bit samples in the machine's order). Reads up to two
// bytes past the sample's last.
std::uint32_t SampleAt(const std::uint8_t* row, std::size_t index, unsigned bits) {
  if (bits == 8) return row[index];
  if (bits == 16) {
    std::uint16_t value;
    std::memcpy(&value, row + 2 * index, sizeof value);
    return value;
  }
  const std::size_t bit = index * bits;
  const std::uint8_t* p = row + bit / 8;
  const std::uint32_t window = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
  return (window >> (24 - bits - bit % 8)) & ((1u << bits) - 1);
}

// The layout's tables as plain pointers: through a byte written to the
// picture the compiler would reload them from the vectors at every sample.
struct Tables {
  const std::uint8_t* levels;
  const std::uint8_t* greys;
  const Rgb* palette;
};

// Where one decoded row goes: sample `sample` of each of `columns` pixels
// of `samples` samples, stored at `first` and every `step` bytes after.
struct RowSpan {
  const std::uint8_t* in;
  std::uint32_t columns;
  std::size_t samples, sample;
  unsigned bits;
  std::uint8_t* first;
  std::ptrdiff_t step;
};

template <typename Store>
void ForEachSample(const RowSpan& row, Store store) {
  std::uint8_t* out = row.first;
  if (row.bits == 8) {
    for (std::uint32_t c = 0; c < row.columns; ++c, out += row.step) store(row.in[c * row.samples + row.sample], out);
    return;
  }
  for (std::uint32_t c = 0; c < row.columns; ++c, out += row.step) {
    store(SampleAt(row.in, c * row.samples + row.sample, row.bits), out);
  }
}

// One sample of every pixel of a row, by its role; one pass a sample keeps
// the role's choice out of the loop over pixels.
void StoreRowSample(Tables tables, Role role, const RowSpan& row) {
  switch (role) {
    case Role::kGrey:
      ForEachSample(row, [&](std::uint32_t v, std::uint8_t* out) { out[0] = out[1] = out[2] = tables.greys[v]; });
      return;
    case Role::kIndex:
      ForEachSample(row, [&](std::uint32_t v, std::uint8_t* out) {
        const Rgb colour = tables.palette[v];
        out[0] = colour.blue;
        out[1] = colour.green;
        out[2] = colour.red;
      });
      return;
    case Role::kSkip:
      return;
    default: {
      const auto channel = static_cast<int>(role);
      ForEachSample(row, [&](std::uint32_t v, std::uint8_t* out) { out[channel] = tables.levels[v]; });
    }
  }
}

// The decoded rows of the block whose top left pixel is (x0, y0), into
// `image`.
void StoreBlock(const Layout& layout, const Block& block, const std::uint8_t* data, std::uint32_t x0, std::uint32_t y0,
                std::uint16_t plane, CImage& image) {
  const Tables tables{layout.levels.data(), layout.greys.data(), layout.palette.data()};
  const std::size_t samples = layout.planar ? 1 : layout.roles.size();
  const auto channels = static_cast<std::ptrdiff_t>(layout.alpha ? 4 : 3);
  const std::uint32_t rows = std::min(block.height, layout.height - y0);
  const std::uint32_t columns = std::min(block.width, layout.width - x0);
  const std::uint32_t firstX = layout.flipX ? layout.width - 1 - x0 : x0;
  for (std::uint32_t r = 0; r < rows; ++r) {
    const std::uint32_t y = layout.flipY ? layout.height - 1 - (y0 + r) : y0 + r;
    RowSpan row{data + r * block.rowBytes,
                columns,
                samples,
                0,
                layout.bits,
                image.Row(static_cast<int>(y)) + firstX * channels,
                layout.flipX ? -channels : channels};
    for (; row.sample < samples; ++row.sample) {
      StoreRowSample(tables, layout.roles[layout.planar ? plane : row.sample], row);
    }
  }
}

// PNG keeps colour apart from alpha.
void Unassociate(CImage& image) {
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* pixel = image.Row(y);
    for (int x = 0; x < image.Width(); ++x, pixel += 4) {
      const unsigned alpha = pixel[3];
      if (alpha == 255) continue;
      for (int i = 0; i < 3; ++i) {
        pixel[i] = alpha == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (pixel[i] * 255 + alpha / 2) / alpha));
      }
    }
  }
}

// Every strip or tile of every plane, decoded by libtiff and stored.
bool ReadBlocks(const Libtiff& libtiff, TIFF* tiff, const Layout& layout, const Block& block, CImage& image) {
  // Two bytes to spare for SampleAt.
  std::vector<std::uint8_t> buffer(block.rowBytes * block.height + 2);
  const std::size_t planes = layout.planar ? layout.roles.size() : 1;
  for (std::uint16_t plane = 0; plane < planes; ++plane) {
    for (std::uint32_t y = 0; y < layout.height; y += block.height) {
      for (std::uint32_t x = 0; x < layout.width; x += block.width) {
        const auto wanted = static_cast<tmsize_t>(block.rowBytes * std::min(block.height, layout.height - y));
        const tmsize_t read =
            block.tiled
                ? libtiff.readEncodedTile(tiff, libtiff.computeTile(tiff, x, y, 0, plane), buffer.data(), wanted)
                : libtiff.readEncodedStrip(tiff, libtiff.computeStrip(tiff, y, plane), buffer.data(), wanted);
        if (read != wanted) return false;
        StoreBlock(layout, block, buffer.data(), x, y, plane, image);
      }
    }
  }
  if (layout.associated) Unassociate(image);
  return true;
}

// libtiff reads an uncompressed strip from its offset whatever its byte
// count says, so strips that all point at the same few bytes would make a
// picture of any size, and as much work, out of a tiny damaged file.
// Uncompressed pixels must be in the file.
bool HoldsItsPixels(const Libtiff& libtiff, TIFF* tiff, const Layout& layout, const Block& block,
                    std::size_t streamSize) {
  std::uint16_t compression = 0;
  if (libtiff.getFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression) != 1) return false;
  if (compression != COMPRESSION_NONE) return true;
  const std::uint64_t planes = layout.planar ? layout.roles.size() : 1;
  const std::uint64_t blocksAcross = (std::uint64_t{layout.width} + block.width - 1) / block.width;
  return std::uint64_t{block.rowBytes} * layout.height * blocksAcross * planes <= streamSize;
}

ImageStatus DecodeLayout(const Libtiff& libtiff, TIFF* tiff, const Layout& layout, std::size_t streamSize,
                         CImage& image) {
  std::optional<Block> block = BlockOf(libtiff, tiff, layout);
  if (!block || !HoldsItsPixels(libtiff, tiff, layout, *block, streamSize)) return ImageStatus::kFail;
  if (!image.Create(static_cast<int>(layout.width), static_cast<int>(layout.height), layout.alpha ? 32 : 24,
                    layout.alpha)) {
    return ImageStatus::kOutOfMemory;
  }
  return ReadBlocks(libtiff, tiff, layout, *block, image) ? ImageStatus::kOk : ImageStatus::kFail;
}

// --- Other layouts, through the RGBA reader ------------------------------

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

ImageStatus DecodeRgba(const Libtiff& libtiff, TIFF* tiff, std::uint32_t width, std::uint32_t height, CImage& image) {
  char message[1024];
  if (libtiff.rgbaImageOk(tiff, message) != 1) return ImageStatus::kFail;
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
  if (libtiff.readRgbaImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 1) != 1) {
    return ImageStatus::kFail;
  }
  bool alpha = HasAlpha(libtiff, tiff);
  if (!image.Create(static_cast<int>(width), static_cast<int>(height), alpha ? 32 : 24, alpha)) {
    return ImageStatus::kOutOfMemory;
  }
  CopyRaster(raster, image);
  return ImageStatus::kOk;
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
                                                                SeekStream, CloseStream, StreamSize, MapStream,
                                                                UnmapStream, options.get()));
  if (!tiff) return ImageStatus::kFail;
  std::uint32_t width = 0, height = 0;
  if (libtiff->getField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      libtiff->getField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0 ||
      std::int64_t{width} * height > kMaxImagePixels) {
    return ImageStatus::kFail;
  }
  if (std::optional<Layout> layout = ReadLayout(*libtiff, tiff.get(), width, height)) {
    return DecodeLayout(*libtiff, tiff.get(), *layout, size, image);
  }
  return DecodeRgba(*libtiff, tiff.get(), width, height, image);
}

}  // namespace glimpses

#include "extract/png_codec.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

namespace glimpses {

namespace {

// libpng reports errors by calling back, and the callback must not return.
// We longjmp, silently, back into the one function that set the jump; those
// functions create no C++ objects, so the jump skips no destructor.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, std::size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->position) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->position, length);
  reader->position += length;
}

void WriteToMemory(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  bool ok = true;
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) png_error(png, "out of memory");  // outside the handler: longjmp must not leave a catch
}

void FlushNothing(png_structp) {}

// Owns a libpng read or write struct and its info struct.
class PngHandle {
 public:
  enum class Mode { kRead, kWrite };
  explicit PngHandle(Mode mode) : mode_(mode) {
    png_ = mode == Mode::kRead ? png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning)
                               : png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngHandle() {
    if (mode_ == Mode::kRead) {
      png_destroy_read_struct(&png_, &info_, nullptr);
    } else {
      png_destroy_write_struct(&png_, &info_);
    }
  }
  PngHandle(const PngHandle&) = delete;
  PngHandle& operator=(const PngHandle&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  explicit operator bool() const { return png_ && info_; }

 private:
  Mode mode_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

enum Transform : unsigned {
  kPacking = 1u << 0,
  kGrayTo8 = 1u << 1,
  kTrnsToAlpha = 1u << 2,
  kStrip16 = 1u << 3,
  kGrayToRgb = 1u << 4,
  kBgr = 1u << 5,
  kFiller = 1u << 6,
};

bool ReadInfo(png_structp png, png_infop info, MemoryReader* reader) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, reader, ReadFromMemory);
  // libpng allocates and clears whatever length a text or profile chunk
  // states before reading it: 1.3 GB for a 44-byte file. None of them is
  // used, so they are skipped unread.
  static constexpr png_byte kUnusedChunks[] = "eXIf\0iCCP\0iTXt\0pCAL\0sCAL\0sPLT\0tEXt\0zTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, 8);
  png_read_info(png, info);
  return true;
}

bool ReadRows(png_structp png, png_infop info, unsigned transforms, png_bytepp rows, std::size_t pitch) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (transforms & kPacking) png_set_packing(png);
  if (transforms & kGrayTo8) png_set_expand_gray_1_2_4_to_8(png);
  if (transforms & kTrnsToAlpha) png_set_tRNS_to_alpha(png);
  if (transforms & kStrip16) png_set_strip_16(png);
  if (transforms & kGrayToRgb) png_set_gray_to_rgb(png);
  if (transforms & kBgr) png_set_bgr(png);
  if (transforms & kFiller) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) > pitch) return false;
  png_read_image(png, rows);
  return true;
}

struct HeldFormat {
  int bits = 0;
  bool alpha = false;
  unsigned transforms = 0;
};

HeldFormat ChooseHeldFormat(int colorType, int bitDepth, bool transparent) {
  const bool gray = !(colorType & PNG_COLOR_MASK_COLOR);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    // Palette transparency is dropped; 2-bit indices have no BMP depth.
    return bitDepth == 2 ? HeldFormat{8, false, kPacking} : HeldFormat{bitDepth, false, 0};
  }
  if ((colorType & PNG_COLOR_MASK_ALPHA) || transparent) {
    unsigned t = kStrip16 | kBgr | (transparent ? kTrnsToAlpha : 0u);
    if (gray) t |= kGrayToRgb | (bitDepth < 8 ? kGrayTo8 : 0u);
    return {32, true, t};
  }
  if (gray)
    return bitDepth <= 8 ? HeldFormat{8, false, bitDepth < 8 ? kGrayTo8 : 0u}
                         : HeldFormat{32, false, kStrip16 | kGrayToRgb | kFiller};
  return bitDepth == 8 ? HeldFormat{24, false, kBgr} : HeldFormat{32, false, kStrip16 | kBgr | kFiller};
}

struct WriteParams {
  int width, height, bitDepth, colorType;
  const png_color* palette;
  int paletteSize;
  bool bgr, stripFiller;
  PngCompression compression = PngCompression::kFast;
};

bool WriteAll(png_structp png, png_infop info, const WriteParams* p, png_bytepp rows, Bytes* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, WriteToMemory, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p->width), static_cast<png_uint_32>(p->height), p->bitDepth,
               p->colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (p->palette) png_set_PLTE(png, info, p->palette, p->paletteSize);
  // Exported thumbnails are small and many: the fastest deflate level with
  // the Sub filter encodes several times faster than the defaults for files
  // about a fifth larger. Palette pictures keep libpng's choice (no filter).
  // Without compression, filtering only costs time.
  const bool stored = p->compression == PngCompression::kNone;
  png_set_compression_level(png, stored ? Z_NO_COMPRESSION : Z_BEST_SPEED);
  if (!p->palette) png_set_filter(png, PNG_FILTER_TYPE_BASE, stored ? PNG_FILTER_NONE : PNG_FILTER_SUB);
  png_write_info(png, info);
  if (p->bgr) png_set_bgr(png);
  if (p->stripFiller) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

// The highest palette index any pixel uses: the PNG palette must reach it.
int MaxPaletteIndex(const CImage& image) {
  const int bits = image.BitsPerPixel();
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  int highest = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      int shift = 8 - bits * (x % perByte + 1);
      highest = std::max(highest, static_cast<int>((row[x / perByte] >> shift) & mask));
    }
  }
  return highest;
}

std::vector<png_bytep> RowPointers(const CImage& image) {
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.Height()));
  // libpng copies each row before transforming it, so handing it our const rows is safe.
  for (int y = 0; y < image.Height(); ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(image.Row(y));
  return rows;
}

}  // namespace

ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image) {
  PngHandle reader(PngHandle::Mode::kRead);
  if (!reader) return ImageStatus::kOutOfMemory;
  MemoryReader source{data, size, 0};
  if (!ReadInfo(reader.png(), reader.info(), &source)) return ImageStatus::kFail;

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(reader.png(), reader.info(), &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  if (width > INT_MAX || height > INT_MAX) return ImageStatus::kFail;
  bool transparent = png_get_valid(reader.png(), reader.info(), PNG_INFO_tRNS) != 0;
  HeldFormat held = ChooseHeldFormat(colorType, bitDepth, transparent);
  if (!image.Create(static_cast<int>(width), static_cast<int>(height), held.bits, held.alpha))
    return ImageStatus::kFail;

  auto& palette = image.Palette();
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (!png_get_PLTE(reader.png(), reader.info(), &entries, &count) || count < 1 || count > 256)
      return ImageStatus::kFail;
    palette.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) palette[i] = {entries[i].blue, entries[i].green, entries[i].red, 0};
  } else if (held.bits == 8) {
    for (int i = 0; i < 256; ++i) palette[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
  }

  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = image.Row(static_cast<int>(y));
  if (!ReadRows(reader.png(), reader.info(), held.transforms, rows.data(), static_cast<std::size_t>(image.Pitch()))) {
    return ImageStatus::kFail;
  }
  return ImageStatus::kOk;
}

std::optional<Bytes> EncodePng(const CImage& source, PngCompression compression) {
  if (source.IsNull()) return std::nullopt;
  // 5-5-5 pixels have no PNG form; they go out as 8-bit RGB.
  CImage widened;
  if (source.BitsPerPixel() == 16) {
    widened = ToBgr24(source);
    if (widened.IsNull()) return std::nullopt;
  }
  const CImage& image = widened.IsNull() ? source : widened;
  const int bits = image.BitsPerPixel();

  WriteParams params{image.Width(), image.Height(), 8, PNG_COLOR_TYPE_RGB, nullptr, 0, true, false};
  std::vector<png_color> palette;
  if (bits <= 8) {
    std::size_t count = std::max(image.Palette().size(), static_cast<std::size_t>(MaxPaletteIndex(image)) + 1);
    palette.resize(count, png_color{0, 0, 0});
    for (std::size_t i = 0; i < image.Palette().size() && i < count; ++i) {
      palette[i] = {image.Palette()[i].red, image.Palette()[i].green, image.Palette()[i].blue};
    }
    params = {image.Width(),  image.Height(),          bits,  PNG_COLOR_TYPE_PALETTE,
              palette.data(), static_cast<int>(count), false, false};
  } else if (bits == 32) {
    params.colorType = image.HasAlpha() ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    params.stripFiller = !image.HasAlpha();
  }

  params.compression = compression;
  PngHandle writer(PngHandle::Mode::kWrite);
  if (!writer) return std::nullopt;
  std::vector<png_bytep> rows = RowPointers(image);
  Bytes out;
  if (!WriteAll(writer.png(), writer.info(), &params, rows.data(), &out)) return std::nullopt;
  return out;
}

}  // namespace glimpses

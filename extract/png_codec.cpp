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

bool ReadInfo(png_structp png, png_infop info, MemoryReader* reader, bool keepText) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, reader, ReadFromMemory);
  // libpng allocates and clears whatever length a text or profile chunk
  // states before reading it: 1.3 GB for a 44-byte file. Chunks that are not
  // used are skipped unread; text, when asked for, is bounded in what it
  // states and in what it inflates to.
  static constexpr png_byte kUnusedChunks[] = "eXIf\0iCCP\0pCAL\0sCAL\0sPLT\0iTXt\0tEXt\0zTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, keepText ? 5 : 8);
  if (keepText) {
    png_set_chunk_malloc_max(png, kMaxPngTextBytes);
    // Over the limit is only a "benign" error, a warning by default, after
    // which libpng allocates and clears the stated length all the same.
    png_set_benign_errors(png, 0);
  }
  png_read_info(png, info);
  return true;
}

bool ReadRows(png_structp png, png_infop info, unsigned transforms, png_bytepp rows, std::size_t pitch,
              bool toTheEnd) {
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
  if (toTheEnd) png_read_end(png, info);
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
  std::vector<png_text> text = {};
};

bool WriteAll(png_structp png, png_infop info, const WriteParams* p, png_bytepp rows, Bytes* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, WriteToMemory, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p->width), static_cast<png_uint_32>(p->height), p->bitDepth,
               p->colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (p->palette) png_set_PLTE(png, info, p->palette, p->paletteSize);
  if (!p->text.empty()) png_set_text(png, info, p->text.data(), static_cast<int>(p->text.size()));
  // Exported thumbnails are small and many: the fastest deflate level with
  // the Sub filter encodes several times faster than the defaults for files
  // about a fifth larger. Palette pictures keep libpng's choice (no filter).
  // Without compression, filtering only costs time.
  const bool stored = p->compression == PngCompression::kNone;
  const bool runs = p->compression == PngCompression::kRunLength;
  png_set_compression_level(png, stored ? Z_NO_COMPRESSION : Z_BEST_SPEED);
  if (runs) png_set_compression_strategy(png, Z_RLE);
  if (!p->palette) {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, stored ? PNG_FILTER_NONE : runs ? PNG_FILTER_UP : PNG_FILTER_SUB);
  }
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

// libpng's view of `text`, pointing into it; empty when a keyword or a text
// breaks tEXt's rules (libpng would only warn and drop it).
std::optional<std::vector<png_text>> TextChunks(const std::vector<PngText>& text) {
  std::vector<png_text> chunks;
  for (const PngText& item : text) {
    if (item.keyword.empty() || item.keyword.size() > 79 || item.text.find('\0') != std::string::npos ||
        item.keyword.find('\0') != std::string::npos) {
      return std::nullopt;
    }
    png_text chunk{};
    chunk.compression = PNG_TEXT_COMPRESSION_NONE;
    chunk.key = const_cast<png_charp>(item.keyword.c_str());  // libpng copies, never writes
    chunk.text = const_cast<png_charp>(item.text.c_str());
    chunk.text_length = item.text.size();
    chunks.push_back(chunk);
  }
  return chunks;
}

std::vector<PngText> TextOf(png_structp png, png_infop info) {
  png_textp chunks = nullptr;
  const int count = png_get_text(png, info, &chunks, nullptr);
  std::vector<PngText> text;
  for (int i = 0; i < count; ++i) {
    const png_text& chunk = chunks[i];
    const bool international = chunk.compression >= PNG_ITXT_COMPRESSION_NONE;
    const std::size_t length = international ? chunk.itxt_length : chunk.text_length;
    text.push_back({chunk.key, chunk.text != nullptr ? std::string(chunk.text, length) : std::string()});
  }
  return text;
}

ImageStatus Decode(const std::uint8_t* data, std::size_t size, CImage& image, std::vector<PngText>* text) {
  PngHandle reader(PngHandle::Mode::kRead);
  if (!reader) return ImageStatus::kOutOfMemory;
  MemoryReader source{data, size, 0};
  if (!ReadInfo(reader.png(), reader.info(), &source, text != nullptr)) return ImageStatus::kFail;

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
  if (!ReadRows(reader.png(), reader.info(), held.transforms, rows.data(), static_cast<std::size_t>(image.Pitch()),
                text != nullptr)) {
    return ImageStatus::kFail;
  }
  if (text) *text = TextOf(reader.png(), reader.info());
  return ImageStatus::kOk;
}

}  // namespace

ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image) {
  return Decode(data, size, image, nullptr);
}

ImageStatus DecodePng(const std::uint8_t* data, std::size_t size, CImage& image, std::vector<PngText>& text) {
  text.clear();
  return Decode(data, size, image, &text);
}

std::optional<Bytes> EncodePng(const CImage& source, PngCompression compression, const std::vector<PngText>& text) {
  auto chunks = TextChunks(text);
  if (source.IsNull() || !chunks) return std::nullopt;
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
  params.text = std::move(*chunks);
  PngHandle writer(PngHandle::Mode::kWrite);
  if (!writer) return std::nullopt;
  std::vector<png_bytep> rows = RowPointers(image);
  Bytes out;
  if (!WriteAll(writer.png(), writer.info(), &params, rows.data(), &out)) return std::nullopt;
  return out;
}

}  // namespace glimpses

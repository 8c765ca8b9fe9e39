#include "extract/jpeg_codec.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace glimpses {

namespace {

// libjpeg's default error handler prints and calls exit(). Ours jumps back
// into the one function that set the jump; those functions create no C++
// objects, so the jump skips no destructor.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  bool warningsAreErrors = false;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr cinfo, int level) {
  // A stream that ends early decodes as grey filler with only a warning;
  // we would rather have no picture than a half-grey one.
  if (level < 0 &&
      (cinfo->err->msg_code == JWRN_JPEG_EOF || reinterpret_cast<ErrorManager*>(cinfo->err)->warningsAreErrors)) {
    OnJpegError(cinfo);
  }
}

void Silence(j_common_ptr) {}

// A progressive stream can be built from a thousand tiny scans, each of
// which costs a pass over the whole picture: the scans times the pixels may
// not exceed what a dozen scans of the largest picture cost (ordinary
// progressive JPEGs have ten scans or fewer).
constexpr std::int64_t kMaxScanPixels = 12 * kMaxImagePixels;

// Huffman-coded data holds at least one bit for each 8 x 8 block of the
// first component (its DC code), so a stream shorter than this for its
// declared size is cut short or lying about its size; refusing it before
// anything is allocated keeps a 100-byte header from costing a large picture.
constexpr std::int64_t kMaxPixelsPerByte = 64 * 8;

// What libjpeg may allocate for one picture: the coefficients of a
// progressive picture of kMaxImagePixels, with room to spare.
constexpr long kMaxJpegMemory = 256L * 1024 * 1024;

// The scans in the stream: its start-of-scan markers. Entropy-coded data
// never holds 0xFF followed by 0xDA, so none is counted twice; a marker in
// embedded metadata may be counted, which only errs on the safe side.
std::int64_t CountScans(const std::uint8_t* data, std::size_t size) {
  std::int64_t scans = 0;
  for (const std::uint8_t* p = data; size >= 2;) {
    const void* hit = std::memchr(p, 0xFF, size - 1);
    if (!hit) break;
    const auto* ff = static_cast<const std::uint8_t*>(hit);
    if (ff[1] == 0xDA) ++scans;
    size -= static_cast<std::size_t>(ff + 1 - p);
    p = ff + 1;
  }
  return scans;
}

// Why the decoder must not go on with this header: too large, too much
// work, or too few bytes for its size. Nullptr when it may.
const char* RefusedBySize(const jpeg_decompress_struct* cinfo, const std::uint8_t* data, std::size_t size,
                          std::int64_t maxPixels) {
  const std::int64_t pixels = std::int64_t{cinfo->image_width} * cinfo->image_height;
  if (pixels > std::min(maxPixels, kMaxImagePixels)) return "too large";
  if (!cinfo->arith_code && static_cast<std::int64_t>(size) * kMaxPixelsPerByte < pixels) return "cut short";
  if (cinfo->progressive_mode && CountScans(data, size) * pixels > kMaxScanPixels) return "too many scans";
  return nullptr;
}

void InitErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.base);
  errors.base.error_exit = OnJpegError;
  errors.base.emit_message = OnJpegMessage;
  errors.base.output_message = Silence;
}

class Decompressor {
 public:
  Decompressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InitErrors(errors_);
    cinfo_.err = &errors_.base;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  jpeg_decompress_struct* cinfo() { return &cinfo_; }
  ErrorManager* errors() { return &errors_; }

 private:
  jpeg_decompress_struct cinfo_;
  ErrorManager errors_;
};

bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* errors, const std::uint8_t* data, std::size_t size) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxJpegMemory;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}

void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, unsigned width, bool inverted) {
  for (unsigned x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    // Adobe writes CMYK inverted (0 = full ink); everyone else does not.
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    bgr[0] = static_cast<std::uint8_t>(y * k / 255);
    bgr[1] = static_cast<std::uint8_t>(m * k / 255);
    bgr[2] = static_cast<std::uint8_t>(c * k / 255);
  }
}

// A progressive stream is read whole here, before any picture is allocated:
// a stream cut short fails now.
bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  return jpeg_start_decompress(cinfo) == TRUE;
}

// `scratch` holds one CMYK row when the output is CMYK, else it is unused.
bool ReadScanlines(jpeg_decompress_struct* cinfo, ErrorManager* errors, std::uint8_t** rows, std::uint8_t* scratch) {
  if (setjmp(errors->jump)) return false;
  const bool cmyk = cinfo->out_color_space == JCS_CMYK;
  while (cinfo->output_scanline < cinfo->output_height) {
    std::uint8_t* row = rows[cinfo->output_scanline];
    JSAMPROW target = cmyk ? scratch : row;
    if (jpeg_read_scanlines(cinfo, &target, 1) != 1) return false;
    if (cmyk) CmykToBgr(scratch, row, cinfo->output_width, cinfo->saw_Adobe_marker);
  }
  return true;
}

struct MemoryDestination {
  jpeg_destination_mgr base;
  Bytes* out;
  std::uint8_t buffer[16384];
};

bool Append(MemoryDestination* dest, std::size_t count) {
  try {
    dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + count);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->base.next_output_byte = dest->buffer;
  dest->base.free_in_buffer = sizeof dest->buffer;
}

boolean EmptyDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  if (!Append(dest, sizeof dest->buffer)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  if (!Append(dest, sizeof dest->buffer - dest->base.free_in_buffer)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

class Compressor {
 public:
  explicit Compressor(Bytes* out) {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InitErrors(errors_);
    cinfo_.err = &errors_.base;
    dest_.base.init_destination = InitDestination;
    dest_.base.empty_output_buffer = EmptyDestination;
    dest_.base.term_destination = TermDestination;
    dest_.out = out;
  }
  ~Compressor() { jpeg_destroy_compress(&cinfo_); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  jpeg_compress_struct* cinfo() { return &cinfo_; }
  ErrorManager* errors() { return &errors_; }
  MemoryDestination* dest() { return &dest_; }

 private:
  jpeg_compress_struct cinfo_;
  ErrorManager errors_;
  MemoryDestination dest_{};
};

bool WriteScanlines(jpeg_compress_struct* cinfo, ErrorManager* errors, MemoryDestination* dest, int width, int height,
                    J_COLOR_SPACE space, int components, std::uint8_t** rows) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_compress(cinfo);
  cinfo->dest = &dest->base;
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = components;
  cinfo->in_color_space = space;
  jpeg_set_defaults(cinfo);
  jpeg_start_compress(cinfo, TRUE);
  jpeg_write_scanlines(cinfo, rows, static_cast<JDIMENSION>(height));
  jpeg_finish_compress(cinfo);
  return true;
}

ImageStatus Decode(const std::uint8_t* data, std::size_t size, CImage& image, bool warningsAreErrors,
                   std::int64_t* pixelBudget) {
  Decompressor decompressor;
  decompressor.errors()->warningsAreErrors = warningsAreErrors;
  jpeg_decompress_struct* cinfo = decompressor.cinfo();
  if (!ReadHeader(cinfo, decompressor.errors(), data, size)) return ImageStatus::kFail;
  const std::int64_t maxPixels = pixelBudget ? *pixelBudget : kMaxImagePixels;
  if (RefusedBySize(cinfo, data, size, maxPixels)) return ImageStatus::kFail;
  if (pixelBudget) *pixelBudget -= std::int64_t{cinfo->image_width} * cinfo->image_height;

  int bits = 24;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      bits = 8;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      break;
    default:
      cinfo->out_color_space = JCS_EXT_BGR;
      break;
  }
  if (!StartDecompress(cinfo, decompressor.errors())) return ImageStatus::kFail;
  if (!image.Create(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height), bits))
    return ImageStatus::kFail;
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) image.Palette()[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
  }
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) rows[static_cast<std::size_t>(y)] = image.Row(y);
  std::vector<std::uint8_t> scratch(cinfo->out_color_space == JCS_CMYK ? static_cast<std::size_t>(image.Width()) * 4
                                                                       : 0);
  if (!ReadScanlines(cinfo, decompressor.errors(), rows.data(), scratch.data())) return ImageStatus::kFail;
  return ImageStatus::kOk;
}

}  // namespace

ImageStatus DecodeJpeg(const std::uint8_t* data, std::size_t size, CImage& image) {
  return Decode(data, size, image, false, nullptr);
}

bool IsWholeJpeg(const std::uint8_t* data, std::size_t size, CImage& image, std::int64_t* pixelBudget) {
  constexpr std::uint8_t kStart[] = {0xFF, 0xD8}, kEnd[] = {0xFF, 0xD9};
  return size >= 4 && std::memcmp(data, kStart, 2) == 0 && std::memcmp(data + size - 2, kEnd, 2) == 0 &&
         Decode(data, size, image, true, pixelBudget) == ImageStatus::kOk;
}

std::optional<Bytes> EncodeJpeg(const CImage& source) {
  if (source.IsNull()) return std::nullopt;
  CImage widened;
  if (source.BitsPerPixel() != 24 && source.BitsPerPixel() != 32) {
    widened = ToBgr24(source);
    if (widened.IsNull()) return std::nullopt;
  }
  const CImage& image = widened.IsNull() ? source : widened;
  const bool four = image.BitsPerPixel() == 32;

  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(image.Height()));
  // libjpeg only reads the rows it is given; its API just is not const-correct.
  for (int y = 0; y < image.Height(); ++y) rows[static_cast<std::size_t>(y)] = const_cast<std::uint8_t*>(image.Row(y));
  Bytes out;
  Compressor compressor(&out);
  if (!WriteScanlines(compressor.cinfo(), compressor.errors(), compressor.dest(), image.Width(), image.Height(),
                      four ? JCS_EXT_BGRX : JCS_EXT_BGR, four ? 4 : 3, rows.data())) {
    return std::nullopt;
  }
  return out;
}

}  // namespace glimpses

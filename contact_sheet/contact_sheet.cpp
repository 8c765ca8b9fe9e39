#include "contact_sheet/contact_sheet.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>

#include "base/document_kind.h"
#include "base/file_util.h"
#include "base/utf8.h"
#include "extract/extract_thumbnail.h"
#include "extract/image_scale.h"

namespace glimpses {
namespace {

// ---- Owners of the C libraries' objects ----

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct GObjectFree {
  void operator()(void* o) const { g_object_unref(o); }
};
struct FontFree {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using Context = std::unique_ptr<cairo_t, ContextFree>;
using FontMap = std::unique_ptr<PangoFontMap, GObjectFree>;
using TextContext = std::unique_ptr<PangoContext, GObjectFree>;
using Layout = std::unique_ptr<PangoLayout, GObjectFree>;
using Font = std::unique_ptr<PangoFontDescription, FontFree>;

// ---- Page geometry, in points ----

struct Rgb {
  double r, g, b;
};

constexpr Rgb kInk = {0.13, 0.13, 0.13};
constexpr Rgb kQuiet = {0.45, 0.45, 0.45};
constexpr Rgb kRule = {0.80, 0.80, 0.80};

// The Noto CJK faces carry Latin too, so a name mixing scripts keeps one
// look; the generic family covers a machine without them.
constexpr char kFontFamily[] = "Noto Sans CJK SC, Sans";

constexpr double kMargin = 36;
constexpr double kHeaderHeight = 30;
constexpr double kFooterHeight = 18;
// A picture box a little lower than wide: most stored pictures are pages in
// portrait, but A4 then holds five rows of four instead of four.
constexpr double kBoxAspect = 0.85;
// Pictures are kept at up to this resolution in their box, or this many
// pixels when that is more (a stored JPEG of the usual 256 then goes in as
// it is even into the narrow cells of twelve columns): sharp in print, while
// a 4096-pixel preview neither bloats the file nor fills the memory.
constexpr double kPictureDpi = 300;
constexpr int kPictureEdge = 512;

struct Grid {
  double pageWidth = 0, pageHeight = 0;
  int columns = 0, rows = 0;
  double gap = 0, cellWidth = 0, boxHeight = 0, cellHeight = 0;
  double nameSize = 0, folderSize = 0;
  double top = 0;  // of the first row

  int PerPage() const { return columns * rows; }
  double CellX(int column) const { return kMargin + column * (cellWidth + gap); }
  double CellY(int row) const { return top + row * (cellHeight + gap); }
};

Grid MakeGrid(SheetPage page, int columns) {
  Grid grid;
  grid.pageWidth = page == SheetPage::kA4 ? 595.276 : 612;
  grid.pageHeight = page == SheetPage::kA4 ? 841.890 : 792;
  grid.columns = columns;
  grid.gap = columns <= 6 ? 10 : 6;
  grid.cellWidth = (grid.pageWidth - 2 * kMargin - (columns - 1) * grid.gap) / columns;
  grid.boxHeight = grid.cellWidth * kBoxAspect;
  grid.nameSize = std::clamp(grid.cellWidth * 0.065, 4.5, 9.0);
  grid.folderSize = std::max(4.0, grid.nameSize - 1);
  grid.cellHeight = grid.boxHeight + 4 + 1.35 * (grid.nameSize + grid.folderSize);
  grid.top = kMargin + kHeaderHeight + 8;
  const double room = grid.pageHeight - kMargin - kFooterHeight - grid.top;
  grid.rows = std::max(1, static_cast<int>((room + grid.gap) / (grid.cellHeight + grid.gap)));
  return grid;
}

// ---- Text ----

// Pango takes only well-formed UTF-8; names are bytes.
std::string Printable(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c;
    i += DecodeUtf8(bytes, i, &c);
    AppendUtf8(text, c < 0x20 ? U' ' : c);
  }
  return text;
}

struct TextStyle {
  double size;
  bool bold;
  Rgb colour;
  PangoAlignment align = PANGO_ALIGN_LEFT;
  PangoEllipsizeMode elide = PANGO_ELLIPSIZE_MIDDLE;
};

// One layout reused for every line of the sheet, over a font map of its
// own: the thread's default one would keep every font it ever loaded for as
// long as the thread lives (a pool worker of the window's, say).
class TextPen {
 public:
  explicit TextPen(cairo_t* cr)
      : cr_(cr),
        fontMap_(pango_cairo_font_map_new()),
        context_(pango_font_map_create_context(fontMap_.get())),
        layout_(pango_layout_new(context_.get())) {
    pango_cairo_update_context(cr, context_.get());
    pango_layout_context_changed(layout_.get());
    pango_layout_set_single_paragraph_mode(layout_.get(), TRUE);
  }

  // Draws `text` on one line, its top at (x, y), within `width`.
  void Line(std::string_view text, const TextStyle& style, double x, double y, double width) {
    Set(text, style, width);
    cairo_set_source_rgb(cr_, style.colour.r, style.colour.g, style.colour.b);
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, layout_.get());
  }

  // The width and height `text` takes unbroken.
  std::pair<double, double> Extent(std::string_view text, const TextStyle& style) {
    Set(text, style, -1);
    int w = 0, h = 0;
    pango_layout_get_size(layout_.get(), &w, &h);
    return {static_cast<double>(w) / PANGO_SCALE, static_cast<double>(h) / PANGO_SCALE};
  }

 private:
  void Set(std::string_view text, const TextStyle& style, double width) {
    Font font(pango_font_description_from_string(kFontFamily));
    pango_font_description_set_absolute_size(font.get(), style.size * PANGO_SCALE);
    pango_font_description_set_weight(font.get(), style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout_.get(), font.get());
    pango_layout_set_width(layout_.get(), width < 0 ? -1 : static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout_.get(), width < 0 ? PANGO_ELLIPSIZE_NONE : style.elide);
    pango_layout_set_alignment(layout_.get(), style.align);
    const std::string printable = Printable(text);
    pango_layout_set_text(layout_.get(), printable.c_str(), static_cast<int>(printable.size()));
  }

  cairo_t* cr_;
  FontMap fontMap_;
  TextContext context_;
  Layout layout_;
};

// ---- Pictures ----

// Whether a PDF reader draws the JPEG as it is: 8-bit, Huffman-coded grey
// or colour. CMYK is left out since Adobe stores it inverted, which a PDF
// reader would show as a negative; those are embedded as pixels instead.
bool EmbedsAsJpeg(const Bytes& jpeg) {
  struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
  } error;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = [](j_common_ptr common) {
    std::longjmp(reinterpret_cast<ErrorJump*>(common->err)->jump, 1);
  };
  error.manager.output_message = [](j_common_ptr) {};
  jpeg_create_decompress(&info);
  bool embeds = false;
  if (setjmp(error.jump) == 0) {
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    embeds = info.data_precision == 8 && !info.arith_code &&
             (info.jpeg_color_space == JCS_GRAYSCALE || info.jpeg_color_space == JCS_YCbCr ||
              info.jpeg_color_space == JCS_RGB);
  }
  jpeg_destroy_decompress(&info);
  return embeds;
}

// Cairo's pixels: native-endian 32-bit words, alpha premultiplied.
Surface ToSurface(const CImage& source) {
  const bool alpha = source.BitsPerPixel() == 32 && source.HasAlpha();
  const bool direct = alpha || source.BitsPerPixel() == 24;
  const CImage converted = direct ? CImage() : ToBgr24(source);
  const CImage& bgr = direct ? source : converted;
  if (bgr.IsNull()) return nullptr;
  Surface surface(
      cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, bgr.Width(), bgr.Height()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  const int step = alpha ? 4 : 3;
  for (int y = 0; y < bgr.Height(); ++y) {
    const std::uint8_t* in = bgr.Row(y);
    auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < bgr.Width(); ++x, in += step) {
      const std::uint32_t a = alpha ? in[3] : 255;
      auto premultiply = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      out[x] = a << 24 | premultiply(in[2]) << 16 | premultiply(in[1]) << 8 | premultiply(in[0]);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

void AttachJpeg(cairo_surface_t* surface, const Bytes& jpeg) {
  auto* copy = new Bytes(jpeg);
  cairo_surface_set_mime_data(
      surface, CAIRO_MIME_TYPE_JPEG, copy->data(), copy->size(), [](void* bytes) { delete static_cast<Bytes*>(bytes); },
      copy);
}

// The document's stored picture as cairo draws it, at most `maxEdge` pixels
// on its longer edge, or null when it has none that decodes. Cairo holds
// every picture of a page until the page is done, pixels and all, so a page
// costs at most its cells' worth whatever the documents store.
Surface LoadPicture(const std::string& path, int maxEdge) {
  const PictureRead read = ReadStoredPicture(path);
  if (!read.picture) return nullptr;
  const CImage pixels = PicturePixels(*read.picture);
  if (pixels.IsNull()) return nullptr;
  if (std::max(pixels.Width(), pixels.Height()) > maxEdge) return ToSurface(ScaleDownToFit(pixels, maxEdge));
  Surface surface = ToSurface(pixels);
  if (surface && read.picture->IsJpeg() && EmbedsAsJpeg(read.picture->jpeg))
    AttachJpeg(surface.get(), read.picture->jpeg);
  return surface;
}

// ---- Cells ----

struct Box {
  double x, y, width, height;
};

void DrawPicture(cairo_t* cr, cairo_surface_t* picture, const Box& box) {
  const double w = cairo_image_surface_get_width(picture);
  const double h = cairo_image_surface_get_height(picture);
  const double scale = std::min(box.width / w, box.height / h);
  const double x = box.x + (box.width - w * scale) / 2;
  const double y = box.y + (box.height - h * scale) / 2;
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  // A hairline, so that a picture on white still shows where it ends.
  cairo_set_source_rgb(cr, kRule.r, kRule.g, kRule.b);
  cairo_set_line_width(cr, 0.5);
  cairo_rectangle(cr, x, y, w * scale, h * scale);
  cairo_stroke(cr);
}

Rgb KindColour(DocumentKind kind) {
  const BadgeColor color = KindBadgeColor(kind);
  return {color.red / 255.0, color.green / 255.0, color.blue / 255.0};
}

// A page with a folded corner in the kind's colour, the kind's name on it:
// what a document without a picture shows instead.
void DrawBadge(cairo_t* cr, TextPen& pen, const std::string& path, const Box& box) {
  const DocumentKind kind = KindOfName(path, NameUse::kAnyCase);
  const double height = std::min(box.height * 0.7, box.width * 0.7 / 0.77);
  const double width = height * 0.77, fold = width * 0.28;
  const double x = box.x + (box.width - width) / 2, y = box.y + (box.height - height) / 2;
  const Rgb colour = KindColour(kind);
  cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
  cairo_move_to(cr, x, y);
  cairo_line_to(cr, x + width - fold, y);
  cairo_line_to(cr, x + width, y + fold);
  cairo_line_to(cr, x + width, y + height);
  cairo_line_to(cr, x, y + height);
  cairo_close_path(cr);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, (1 + colour.r) / 2, (1 + colour.g) / 2, (1 + colour.b) / 2);
  cairo_move_to(cr, x + width - fold, y);
  cairo_line_to(cr, x + width - fold, y + fold);
  cairo_line_to(cr, x + width, y + fold);
  cairo_close_path(cr);
  cairo_fill(cr);

  const std::string label = KindBadgeLabel(kind);
  TextStyle style{width * 0.3, true, {1, 1, 1}, PANGO_ALIGN_CENTER};
  const double labelWidth = pen.Extent(label, style).first;
  if (labelWidth > width * 0.8) style.size *= width * 0.8 / labelWidth;
  const double labelHeight = pen.Extent(label, style).second;
  pen.Line(label, style, x, y + height * 0.58 - labelHeight / 2, width);
}

void DrawCaption(TextPen& pen, const Grid& grid, const std::string& path, double x, double y) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name =
      slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
  const std::string_view folder =
      slash == std::string::npos ? std::string_view() : std::string_view(path).substr(0, slash);
  pen.Line(name, {grid.nameSize, false, kInk}, x, y, grid.cellWidth);
  pen.Line(folder.empty() && slash == 0 ? "/" : folder, {grid.folderSize, false, kQuiet}, x, y + 1.35 * grid.nameSize,
           grid.cellWidth);
}

// ---- Pages ----

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[16] = "";
  if (localtime_r(&now, &local)) std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

struct PageTexts {
  std::string keywords;
  std::string dateAndCount;
};

PageTexts HeaderTexts(const ContactSheetHeader& header, std::size_t documents) {
  const std::string count = !header.count.empty() ? header.count
                            : documents == 1      ? std::string("1 document")
                                                  : std::to_string(documents) + " documents";
  return {header.keywords, (header.date.empty() ? Today() : header.date) + "  ·  " + count};
}

void DrawFrame(cairo_t* cr, TextPen& pen, const Grid& grid, const PageTexts& texts, int page, int pages) {
  const double width = grid.pageWidth - 2 * kMargin;
  pen.Line(texts.keywords, {13, true, kInk, PANGO_ALIGN_LEFT, PANGO_ELLIPSIZE_END}, kMargin, kMargin, width * 0.6);
  pen.Line(texts.dateAndCount, {9, false, kQuiet, PANGO_ALIGN_RIGHT}, kMargin + width * 0.6, kMargin + 4, width * 0.4);
  cairo_set_source_rgb(cr, kRule.r, kRule.g, kRule.b);
  cairo_set_line_width(cr, 0.5);
  cairo_move_to(cr, kMargin, kMargin + kHeaderHeight - 6);
  cairo_line_to(cr, grid.pageWidth - kMargin, kMargin + kHeaderHeight - 6);
  cairo_stroke(cr);
  const std::string number = std::to_string(page) + " / " + std::to_string(pages);
  pen.Line(number, {8, false, kQuiet, PANGO_ALIGN_CENTER}, kMargin, grid.pageHeight - kMargin - 10, width);
}

// ---- Output ----

// Where cairo's bytes go: an unnamed file beside the target, named only
// once the sheet is whole.
struct PdfSink {
  TempFile file;
  int error = 0;  // errno of the first failed write

  static cairo_status_t Write(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PdfSink*>(closure);
    errno = 0;
    if (sink->error == 0 && !sink->file.Write(data, length)) sink->error = errno != 0 ? errno : EIO;
    return sink->error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
  }
};

ContactSheetResult Failure(ContactSheetError error, std::string reason) {
  ContactSheetResult result;
  result.error = error;
  result.reason = std::move(reason);
  return result;
}

ContactSheetResult WriteFailure(const std::string& outputPath, int error) {
  return Failure(error == ENOSPC || error == EDQUOT ? ContactSheetError::kOutputFull : ContactSheetError::kCannotWrite,
                 "cannot write '" + outputPath + "': " + std::strerror(error != 0 ? error : EIO));
}

// The documents without the output file itself, which a second run over the
// same keywords would otherwise find.
std::vector<std::string> WithoutOutput(const std::vector<std::string>& documents, const std::string& outputPath) {
  struct stat output;
  if (stat(outputPath.c_str(), &output) != 0) return documents;
  std::vector<std::string> kept;
  for (const std::string& document : documents) {
    struct stat st;
    if (stat(document.c_str(), &st) == 0 && st.st_dev == output.st_dev && st.st_ino == output.st_ino) continue;
    kept.push_back(document);
  }
  return kept;
}

class SheetWriter {
 public:
  SheetWriter(const std::vector<std::string>& documents, const ContactSheetHeader& header,
              const ContactSheetOptions& options, PdfSink& sink)
      : documents_(documents),
        options_(options),
        grid_(MakeGrid(options.page, options.columns)),
        texts_(HeaderTexts(header, documents.size())),
        surface_(cairo_pdf_surface_create_for_stream(PdfSink::Write, &sink, grid_.pageWidth, grid_.pageHeight)),
        cr_(cairo_create(surface_.get())),
        pen_(cr_.get()) {
    cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_CREATOR, "Glimpses");
    if (!header.keywords.empty()) {
      cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_TITLE, Printable(header.keywords).c_str());
    }
  }

  // Draws every page; false when stopped or cairo failed (Status says which).
  bool Draw(ContactSheetResult& result) {
    const int total = static_cast<int>(documents_.size());
    result.pages = (total + grid_.PerPage() - 1) / grid_.PerPage();
    for (int first = 0; first < total; first += grid_.PerPage()) {
      DrawFrame(cr_.get(), pen_, grid_, texts_, first / grid_.PerPage() + 1, result.pages);
      for (int i = first; i < std::min(total, first + grid_.PerPage()); ++i) {
        if (options_.stopToken.stop_requested()) return false;
        DrawCell(i - first, documents_[static_cast<std::size_t>(i)], result);
        if (options_.progress) options_.progress(i + 1, total);
      }
      cairo_show_page(cr_.get());
      if (Status() != CAIRO_STATUS_SUCCESS) return false;
    }
    cairo_surface_finish(surface_.get());
    return Status() == CAIRO_STATUS_SUCCESS;
  }

  cairo_status_t Status() const { return cairo_surface_status(surface_.get()); }

 private:
  void DrawCell(int slot, const std::string& path, ContactSheetResult& result) {
    const double x = grid_.CellX(slot % grid_.columns), y = grid_.CellY(slot / grid_.columns);
    const Box box{x, y, grid_.cellWidth, grid_.boxHeight};
    const int maxEdge =
        std::max(kPictureEdge, static_cast<int>(std::ceil(std::max(box.width, box.height) * kPictureDpi / 72)));
    if (const Surface picture = LoadPicture(path, maxEdge)) {
      DrawPicture(cr_.get(), picture.get(), box);
      ++result.withPicture;
    } else {
      DrawBadge(cr_.get(), pen_, path, box);
      ++result.withoutPicture;
    }
    DrawCaption(pen_, grid_, path, x, y + grid_.boxHeight + 4);
  }

  const std::vector<std::string>& documents_;
  const ContactSheetOptions& options_;
  const Grid grid_;
  const PageTexts texts_;
  Surface surface_;
  Context cr_;
  TextPen pen_;
};

}  // namespace

// What the libraries never free is not for the leak checker to report in the
// sanitizer and fuzzing builds: cairo 1.16 loses a few hundred bytes in its
// font subsetter for every PDF that embeds an OpenType CFF face (the Noto CJK
// ones), and fontconfig keeps its configuration for the life of the process.
// Both are named by library: built without frame pointers, they end the
// stacks the checker records one frame in. Every cairo and pango object of
// ours has an owner above.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLIMPSES_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(GLIMPSES_LEAK_CHECKED)
extern "C" const char* __lsan_default_suppressions() { return "leak:libcairo.so\nleak:libfontconfig.so\n"; }
// Quietly: the command line's standard error is part of what it promises.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

ContactSheetResult WriteContactSheet(const std::vector<std::string>& documents, const ContactSheetHeader& header,
                                     const ContactSheetOptions& options, const std::string& outputPath) {
  if (options.columns < 1 || options.columns > kMaxSheetColumns) {
    return Failure(ContactSheetError::kBadColumns, "columns must be from 1 to " + std::to_string(kMaxSheetColumns) +
                                                       ", not " + std::to_string(options.columns));
  }
  const std::vector<std::string> entries = WithoutOutput(documents, outputPath);
  if (entries.empty()) return Failure(ContactSheetError::kNoEntries, "no documents for the contact sheet");
  struct stat st;
  if (outputPath.empty() || outputPath.back() == '/' || (stat(outputPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    return Failure(ContactSheetError::kCannotWrite, "cannot write '" + outputPath + "': not a file name");
  }
  // Made first, so that an output that cannot be written is told before
  // any document is read.
  errno = 0;
  std::optional<TempFile> file = TempFile::CreateUnnamedBeside(outputPath);
  if (!file) return WriteFailure(outputPath, errno);
  PdfSink sink{std::move(*file)};

  ContactSheetResult result;
  result.documents = static_cast<int>(entries.size());
  bool drawn;
  cairo_status_t status;
  {
    SheetWriter writer(entries, header, options, sink);
    drawn = writer.Draw(result);
    status = writer.Status();
  }
  if (options.stopToken.stop_requested()) return Failure(ContactSheetError::kCancelled, "stopped before the end");
  if (sink.error != 0) return WriteFailure(outputPath, sink.error);
  if (!drawn) {
    return Failure(ContactSheetError::kCannotWrite,
                   "cannot write '" + outputPath + "': " + cairo_status_to_string(status));
  }
  errno = 0;
  if (!sink.file.CommitTo(outputPath, /*synced=*/true)) return WriteFailure(outputPath, errno);
  return result;
}

}  // namespace glimpses

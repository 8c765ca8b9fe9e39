#include "samples/hostile_samples.h"

// jpeglib.h needs size_t and FILE declared before it: the header above does.
#include <fcntl.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/file_handle.h"
#include "samples/adobe_samples.h"
#include "samples/preview_samples.h"

namespace glimpses {

namespace {

constexpr int kHugeEdge = 8192;
constexpr int kScans = 998;
constexpr std::size_t kInddSize = std::size_t{1} << 20;
constexpr std::int64_t kSparseRiffSize = std::int64_t{2} << 30;

void PutBe16(Bytes& bytes, std::size_t at, int value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(value);
}

// A picture of smooth colour gradients as libjpeg writes it with its simple
// progression script (ten scans for colour).
Bytes ProgressiveJpeg(int width, int height) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);  // writing into memory cannot fail
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<JSAMPLE>(x * 255 / width);
      row[3 * x + 1] = static_cast<JSAMPLE>(y * 255 / height);
      row[3 * x + 2] = static_cast<JSAMPLE>((x + y) * 127 / (width + height) + 64);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes jpeg(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return jpeg;
}

// Offset of the last marker `code` (0xFF then `code`) in `jpeg`, or 0.
std::size_t LastMarker(const Bytes& jpeg, std::uint8_t code) {
  for (std::size_t i = jpeg.size() - 1; i > 0; --i) {
    if (jpeg[i - 1] == 0xFF && jpeg[i] == code) return i - 1;
  }
  return 0;
}

// An XMP value as InDesign's stale copies hold it: ended by a NUL.
std::string StaleThumbnailValue(const Bytes& jpeg) {
  return "<xmpGImg:image>" + WrappedBase64(jpeg, SIZE_MAX, "") + "</xmpGImg:image>" + std::string(1, '\0');
}

}  // namespace

Bytes ProgressiveJpegWithScans(int width, int height, int scans) {
  Bytes jpeg = ProgressiveJpeg(16, 16);
  const std::size_t frame = LastMarker(jpeg, 0xC2);
  PutBe16(jpeg, frame + 5, height);
  PutBe16(jpeg, frame + 7, width);
  constexpr int kWrittenScans = 10;
  const std::size_t lastScan = LastMarker(jpeg, 0xDA);
  const std::size_t end = jpeg.size() - 2;  // the end marker
  const Bytes scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan),
                   jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  jpeg.resize(end);
  for (int i = kWrittenScans; i < scans; ++i) jpeg.insert(jpeg.end(), scan.begin(), scan.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

Bytes JpegHeaderOnly(int width, int height) {
  Bytes jpeg = {0xFF, 0xD8,                                                                    // start
                0xFF, 0xFE, 0x00, 0x0A, 'g',  'l',  'i',  'm',  'p',  's',  'e',  's',         // comment
                0xFF, 0xC0, 0x00, 0x0B, 0x08, 0,    0,    0,    0,    0x01, 0x01, 0x11, 0x00,  // frame
                0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,                    // scan
                0xFF, 0xD9};
  PutBe16(jpeg, 19, height);
  PutBe16(jpeg, 21, width);
  return jpeg;
}

std::string WriteHostileDocument(const std::string& folder, const HostileDocument& document) {
  const std::string path = folder + "/" + document.name;
  UniqueFd fd = UniqueFd::Open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!fd) return "";
  std::size_t done = 0;
  while (done < document.bytes.size()) {
    ssize_t n = write(fd.get(), document.bytes.data() + done, document.bytes.size() - done);
    if (n <= 0) return "";
    done += static_cast<std::size_t>(n);
  }
  if (document.size > static_cast<std::int64_t>(done) && ftruncate(fd.get(), document.size) != 0) return "";
  return fd.Close() ? path : "";
}

Bytes InddWithShortThumbnails(int count) {
  Bytes document = BuildDocumentWithoutThumbnail(DocumentKind::kInDesign, 0);
  const std::string value = StaleThumbnailValue(JpegHeaderOnly(kHugeEdge, kHugeEdge));
  for (int i = 0; i < count; ++i) document.insert(document.end(), value.begin(), value.end());
  return document;
}

HostileDocument InddOfShortThumbnails() {
  const std::size_t head = InddWithShortThumbnails(0).size();
  const std::size_t valueSize = StaleThumbnailValue(JpegHeaderOnly(kHugeEdge, kHugeEdge)).size();
  const int count = static_cast<int>((kInddSize - head) / valueSize);
  Bytes document = InddWithShortThumbnails(count);
  document.resize(kInddSize, 0);
  return {"indd-" + std::to_string(count) + "-short-values-of-8192px.indd", std::move(document)};
}

HostileDocument SparseCorelRiff() {
  const std::string head =
      "RIFF\xF8\xFF\xFF\x7F"
      "CDR8vrsn";
  return {"riff-2gib-sparse-zeros.cdr", Bytes(head.begin(), head.end()), kSparseRiffSize};
}

HostileDocument ProgressiveXmpThumbnail(DocumentKind kind, int edge) {
  AdobeSampleOptions options;
  options.kind = kind;
  options.thumbnailWidth = edge;
  options.thumbnailHeight = edge;
  const char* extension = kind == DocumentKind::kInDesign ? "indd" : "ai";
  return {std::string(extension) + "-xmp-progressive-" + std::to_string(edge) + "px-998-scans." + extension,
          BuildAdobeDocument(ProgressiveJpegWithScans(edge, edge, kScans), options)};
}

HostileDocument DosEpsWithHugeTiff(bool progressiveResource) {
  // Compressing 256 MiB of zeros takes a second: once is enough.
  static const Bytes tiff = BuildBlankTiff(kHugeEdge, kHugeEdge, TiffLayout::kRgba, TiffCompression::kDeflate);
  if (!progressiveResource) return {"eps-tiff-8192px-rgba-deflate.eps", BuildDosEps(tiff)};
  const std::string postScript = BuildImageResourceEps(ProgressiveJpegWithScans(2048, 2048, kScans));
  return {"eps-tiff-8192px-and-progressive-resource.eps", BuildDosEps(tiff, {}, postScript)};
}

std::vector<HostileDocument> HostileDocuments() {
  std::vector<HostileDocument> documents;
  documents.push_back(InddOfShortThumbnails());
  documents.push_back(SparseCorelRiff());
  for (DocumentKind kind : {DocumentKind::kIllustrator, DocumentKind::kInDesign}) {
    for (int edge : {kHugeEdge, 2048}) documents.push_back(ProgressiveXmpThumbnail(kind, edge));
  }
  documents.push_back(DosEpsWithHugeTiff(false));
  documents.push_back(DosEpsWithHugeTiff(true));
  return documents;
}

std::vector<HostileDocument> DocumentsAtTheLimits() {
  constexpr int kEdge = 4096;  // kMaxImagePixels
  AdobeSampleOptions options;
  options.kind = DocumentKind::kIllustrator;
  options.thumbnailWidth = kEdge;
  options.thumbnailHeight = kEdge;
  const Bytes tiff = BuildBlankTiff(kEdge, kEdge, TiffLayout::kRgba, TiffCompression::kDeflate);
  const std::string resource = BuildImageResourceEps(ProgressiveJpeg(kEdge, kEdge));
  return {{"limit-ai-xmp-progressive-4096px.ai", BuildAdobeDocument(ProgressiveJpeg(kEdge, kEdge), options)},
          {"limit-eps-tiff-4096px-and-progressive-resource-4096px.eps", BuildDosEps(tiff, {}, resource)}};
}

HostileDocument HexPreviewDocument() { return {"hex-preview.ai", BuildHexPreviewAi(64, 64, true)}; }

HostileDocument DocumentWithoutPicture() {
  return {"no-stored-picture.ai", BuildDocumentWithoutThumbnail(DocumentKind::kIllustrator, 20000)};
}

std::string FileIdentity(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "missing";
  return std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

std::set<std::string> EntriesUnder(const std::string& folder) {
  std::set<std::string> entries;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.insert(std::filesystem::relative(it->path(), folder).string());
  }
  return entries;
}

}  // namespace glimpses

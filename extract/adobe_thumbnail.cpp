#include "extract/adobe_thumbnail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "base/document_kind.h"
#include "base/file_handle.h"
#include "base/file_util.h"
#include "extract/bytes.h"
#include "extract/hex_preview.h"
#include "extract/jpeg_codec.h"
#include "extract/stored_preview.h"

namespace glimpses {

namespace {

// InDesign keeps stale, NUL-holed copies of its XMP packet; a real thumbnail
// value is long, so an occurrence needs this much text before any NUL.
constexpr std::size_t kInddMinimumText = 10240;
constexpr std::string_view kKey = "pGImg:image";
// Real InDesign documents hold a handful of stale thumbnail values; a
// document crafted with thousands must not have each one decoded.
constexpr int kMaxInddCandidates = 64;
// The pixels all those tries together may decode: a few full-size pictures.
constexpr std::int64_t kInddPixelBudget = 2 * kMaxImagePixels;
constexpr std::array<std::uint8_t, 4> kInddMagic = {0x06, 0x06, 0xED, 0xF5};

// The part of the 1 MiB window that has been read so far. The window is the
// first MiB of the file, or the last MiB of an InDesign document of 1 MiB or
// more; it is read in growing blocks so that a thumbnail near the start costs
// one small read.
class DocumentWindow {
 public:
  // Opens a regular file and reads the first block. False on any error.
  bool Open(const std::string& path);
  // Reads about twice as much of the window as before. False on a read error.
  bool ReadMore();
  bool ReadAll();
  void CloseFile() { fd_.Close(); }

  const std::uint8_t* data() const { return data_.get(); }
  std::size_t available() const { return available_; }
  bool complete() const { return complete_; }
  bool indd() const { return indd_; }
  bool fromStart() const { return windowStart_ == 0; }
  std::int64_t fileSize() const { return fileSize_; }
  // `size` bytes at `offset` of the file, from the window when it holds them.
  std::optional<Bytes> ReadRange(std::int64_t offset, std::size_t size) const;

 private:
  bool ReadUpTo(std::size_t wanted);

  UniqueFd fd_;
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t available_ = 0;
  std::size_t windowLength_ = 0;
  std::int64_t windowStart_ = 0;
  std::int64_t fileSize_ = 0;
  bool complete_ = false;
  bool indd_ = false;
};

bool DocumentWindow::Open(const std::string& path) {
  // O_NONBLOCK: a FIFO named like a document must not hang the open.
  fd_ = UniqueFd::Open(path, O_RDONLY | O_NONBLOCK);
  if (!fd_) return false;
  struct stat st;
  if (fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
  std::int64_t size = st.st_size;
  fileSize_ = size;
  windowLength_ = static_cast<std::size_t>(std::min<std::int64_t>(size, kAdobeWindowSize));
  if (!ReadUpTo(std::min(windowLength_, kAdobeFirstReadSize))) return false;
  indd_ = StartsAsInDesign(data_.get(), available_);
  if (indd_ && size > static_cast<std::int64_t>(kAdobeWindowSize)) {
    // A large InDesign document keeps its current XMP near the end.
    windowStart_ = size - static_cast<std::int64_t>(kAdobeWindowSize);
    available_ = 0;
    complete_ = false;
    if (!ReadUpTo(std::min(windowLength_, kAdobeFirstReadSize))) return false;
  }
  return true;
}

bool DocumentWindow::ReadMore() {
  return ReadUpTo(std::min(windowLength_, std::max(kAdobeFirstReadSize, available_ * 2)));
}

bool DocumentWindow::ReadAll() { return ReadUpTo(windowLength_); }

bool DocumentWindow::ReadUpTo(std::size_t wanted) {
  if (available_ >= windowLength_) complete_ = true;
  if (complete_ || wanted <= available_) return true;
  if (wanted > capacity_) {
    // Past the first block, take room for the whole window at once: one
    // copy instead of one per doubling.
    std::size_t capacity = capacity_ == 0 ? wanted : windowLength_;
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    if (available_ > 0) std::memcpy(grown.get(), data_.get(), available_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  while (available_ < wanted) {
    ssize_t n = pread(fd_.get(), data_.get() + available_, wanted - available_,
                      static_cast<off_t>(windowStart_ + static_cast<std::int64_t>(available_)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      // The file shrank: the data ends with what arrived.
      complete_ = true;
      return true;
    }
    available_ += static_cast<std::size_t>(n);
  }
  if (available_ >= windowLength_) complete_ = true;
  return true;
}

std::optional<Bytes> DocumentWindow::ReadRange(std::int64_t offset, std::size_t size) const {
  if (offset < 0) return std::nullopt;
  if (fromStart() && static_cast<std::uint64_t>(offset) + size <= available_) {
    return Bytes(data_.get() + offset, data_.get() + offset + size);
  }
  if (!fd_) return std::nullopt;
  Bytes bytes(size);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n =
        pread(fd_.get(), bytes.data() + got, size - got, static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return bytes;
}

enum class Scan { kFound, kNotFound, kNeedMore };

struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Position of the first byte in [from, to) that is one of `stops`, or `to`.
// A table lookup per byte: values run to tens of KiB and are scanned often.
std::size_t FindFirstOf(const std::uint8_t* data, std::size_t from, std::size_t to, std::string_view stops) {
  std::array<bool, 256> isStop{};
  for (char c : stops) isStop[static_cast<unsigned char>(c)] = true;
  std::size_t i = from;
  while (i < to && !isStop[data[i]]) ++i;
  return i;
}

// The text that holds the value whose key starts at `key`. The thumbnail line
// runs from the key to the first CR, LF or NUL. A value that does not end on
// its line (exiftool wraps base64 with real line breaks) runs on to its end:
// the '<' of the closing tag, or the closing quote of the attribute form, or
// a NUL, or the end of the data.
Scan ValueTextAt(const std::uint8_t* data, std::size_t length, bool complete, std::size_t key, TextRange* text) {
  constexpr std::string_view kLineEnds{"\r\n\0", 3};
  std::size_t after = key + kKey.size();
  std::size_t valueStart = 0;
  char terminator = 0;
  if (after < length && data[after] == '>') {
    terminator = '<';
    valueStart = after + 1;
  } else if (after + 1 < length && data[after] == '=' && (data[after + 1] == '"' || data[after + 1] == '\'')) {
    terminator = static_cast<char>(data[after + 1]);
    valueStart = after + 2;
  }
  // When the form cannot be told yet, the line has not ended either, and the
  // line test below asks for more bytes.

  std::size_t lineEnd = FindFirstOf(data, key, length, kLineEnds);
  if (terminator != 0 && lineEnd < length && data[lineEnd] != '\0') {
    std::size_t valueEnd = FindFirstOf(data, valueStart, lineEnd, std::string_view(&terminator, 1));
    if (valueEnd == lineEnd) {
      const char stops[] = {terminator, '\0'};
      valueEnd = FindFirstOf(data, lineEnd, length, std::string_view(stops, 2));
      if (valueEnd == length && !complete) return Scan::kNeedMore;
      *text = {key, valueEnd};
      return Scan::kFound;
    }
  }
  if (lineEnd == length && !complete) return Scan::kNeedMore;
  *text = {key, lineEnd};
  return Scan::kFound;
}

// Finds the thumbnail text among the `length` bytes read. kNeedMore when the
// answer could change with the bytes after them; `resumeAt` then says where
// the next search may start, since every key occurrence before it has been
// settled (InDesign: passed over for a NUL too close behind it).
Scan LocateThumbnailText(const std::uint8_t* data, std::size_t length, bool complete, bool indd, std::size_t* resumeAt,
                         TextRange* text) {
  std::size_t from = std::min(*resumeAt, length);
  for (;;) {
    auto hit = FindBytes(data + from, kKey, length - from);
    if (!hit) {
      if (complete) return Scan::kNotFound;
      // A key may straddle the end of the bytes read.
      *resumeAt = std::max(from, length >= kKey.size() ? length - kKey.size() + 1 : 0);
      return Scan::kNeedMore;
    }
    std::size_t key = from + *hit;
    *resumeAt = key;
    if (!indd) return ValueTextAt(data, length, complete, key, text);
    std::size_t limit = std::min(length, key + kInddMinimumText);
    bool holed = std::memchr(data + key, 0, limit - key) != nullptr;
    if (!holed && limit - key == kInddMinimumText) return ValueTextAt(data, length, complete, key, text);
    if (!holed && !complete) return Scan::kNeedMore;
    from = key + 1;
  }
}

// Length of the cleaning match at the start of `text`, or 0: the rest of the
// opening tag, a closing tag "</x?pGImg:image>", or the start of either
// quoted attribute form.
std::size_t CleaningMatchAt(std::string_view text) {
  if (text.starts_with(kKey)) {
    if (text.size() > kKey.size() && text[kKey.size()] == '>') return kKey.size() + 1;
    if (text.size() > kKey.size() + 1 && text[kKey.size()] == '=' &&
        (text[kKey.size() + 1] == '"' || text[kKey.size() + 1] == '\'')) {
      return kKey.size() + 2;
    }
    return 0;
  }
  if (text.size() >= 5 + kKey.size() && text.starts_with("</x")) {
    char c = text[3];  // one word character, as \w means in a regular expression
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (word && text.substr(4).starts_with(kKey) && text[4 + kKey.size()] == '>') return 5 + kKey.size();
  }
  return 0;
}

// Removes the markup around the value, then turns every "&#xA;" (Adobe's
// separator between base64 pieces) into a line feed, so that its 'x' and 'A'
// are not decoded as data.
std::string CleanValueText(std::string_view raw) {
  constexpr std::string_view kLineFeedReference = "&#xA;";
  std::string cleaned;
  cleaned.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    char c = raw[i];
    if (c == 'p' || c == '<') {
      if (std::size_t match = CleaningMatchAt(raw.substr(i))) {
        i += match;
        continue;
      }
    }
    cleaned.push_back(c);
    ++i;
    // References never overlap one another, so replacing each as soon as it
    // is complete equals a left-to-right replacement over the cleaned text.
    if (c == ';' && std::string_view(cleaned).ends_with(kLineFeedReference)) {
      cleaned.resize(cleaned.size() - kLineFeedReference.size());
      cleaned.push_back('\n');
    }
  }
  return cleaned;
}

Bytes DecodeThumbnailText(const std::uint8_t* data, TextRange range) {
  std::string cleaned =
      CleanValueText(std::string_view(reinterpret_cast<const char*>(data) + range.begin, range.end - range.begin));
  Bytes picture(cleaned.size());
  picture.resize(DecodeBase64(cleaned.data(), cleaned.size(), picture.data(), picture.size()));
  return picture;
}

// The value alone: the thumbnail text of the attribute form runs on past
// its closing quote to the end of the line.
TextRange ValueOnly(const std::uint8_t* data, TextRange text) {
  std::size_t after = text.begin + kKey.size();
  if (after + 1 < text.end && data[after] == '=') {
    const char quote[] = {static_cast<char>(data[after + 1])};
    return {text.begin, FindFirstOf(data, after + 2, text.end, std::string_view(quote, 1))};
  }
  if (after < text.end && data[after] == '>') return {text.begin, FindFirstOf(data, after + 1, text.end, "<")};
  return text;
}

// InDesign passes over values shorter than kInddMinimumText because stale
// fragments are common; a short value still counts when it is one whole
// JPEG that decodes cleanly. The first such value is taken. A document may
// hold thousands of values crafted to be decoded one by one, so only the
// first kMaxInddCandidates are tried, and their decoded pixels together may
// not exceed kInddPixelBudget.
PictureRead FindSmallInddThumbnail(const std::uint8_t* data, std::size_t length) {
  bool sawValue = false;
  int tried = 0;
  std::int64_t pixelsLeft = kInddPixelBudget;
  std::size_t from = 0;
  while (auto hit = FindBytes(data + from, kKey, length - from)) {
    std::size_t key = from + *hit;
    from = key + 1;
    TextRange range;
    ValueTextAt(data, length, true, key, &range);
    StoredPicture picture{ExtractRoute::kInddThumbnail, DecodeThumbnailText(data, ValueOnly(data, range)), {}};
    if (picture.jpeg.empty()) continue;
    sawValue = true;
    if (++tried > kMaxInddCandidates) {
      return PictureRead::Failed(ExtractStatus::kDamaged, "more InDesign thumbnail fragments than are tried");
    }
    if (IsWholeJpeg(picture.jpeg.data(), picture.jpeg.size(), picture.image, &pixelsLeft)) {
      return PictureRead::Found(std::move(picture));
    }
  }
  if (sawValue) return PictureRead::Failed(ExtractStatus::kDamaged, "only stale fragments of an InDesign thumbnail");
  return PictureRead::Failed(ExtractStatus::kNoPicture);
}

PictureRead Unreadable(const std::string& documentPath) {
  if (!IsRegularFile(documentPath)) {
    return PictureRead::Failed(ExtractStatus::kUnreadable,
                               FileExists(documentPath) ? "not a regular file" : "no such file");
  }
  return PictureRead::Failed(ExtractStatus::kUnreadable, std::strerror(errno));
}

}  // namespace

bool StartsAsInDesign(const std::uint8_t* data, std::size_t size) {
  return size >= kInddMagic.size() && std::equal(kInddMagic.begin(), kInddMagic.end(), data);
}

bool HasXmpThumbnail(const std::uint8_t* window, std::size_t size, bool indd) {
  TextRange range;
  std::size_t resumeAt = 0;
  return LocateThumbnailText(window, size, true, indd, &resumeAt, &range) == Scan::kFound &&
         !DecodeThumbnailText(window, range).empty();
}

PictureRead ReadAdobePicture(const std::string& documentPath) {
  DocumentWindow window;
  if (!window.Open(documentPath)) return Unreadable(documentPath);

  TextRange range;
  std::size_t resumeAt = 0;
  Scan scan;
  while ((scan = LocateThumbnailText(window.data(), window.available(), window.complete(), window.indd(), &resumeAt,
                                     &range)) == Scan::kNeedMore) {
    if (!window.ReadMore()) return Unreadable(documentPath);
  }
  PictureRead found = PictureRead::Failed(ExtractStatus::kNoPicture);
  if (scan == Scan::kFound) {
    Bytes jpeg = DecodeThumbnailText(window.data(), range);
    // A value that decodes to nothing is no thumbnail: the hex preview may
    // still be there, anywhere in the window.
    if (!jpeg.empty()) return PictureRead::Found({ExtractRoute::kXmp, std::move(jpeg), {}});
    found = PictureRead::Failed(ExtractStatus::kDamaged, "XMP thumbnail holds no data");
  }
  if (!window.ReadAll()) return Unreadable(documentPath);
  if (std::optional<CImage> hex = FindHexPreview(window.data(), window.available())) {
    return PictureRead::Found({ExtractRoute::kHexPreview, {}, std::move(*hex)});
  }
  // Only now, with the routes above empty-handed, the other stored previews:
  // the bytes are already read, and only an EPS binary header makes us read
  // more (the preview it points at).
  if (window.indd()) KeepLarger(found, FindSmallInddThumbnail(window.data(), window.available()));
  DocumentBytes document{window.data(), window.available(), window.fromStart(), window.fileSize(),
                         [&window](std::int64_t offset, std::size_t size) { return window.ReadRange(offset, size); }};
  return FindStoredPreview(document, std::move(found));
}

bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath) {
  if (!IsAdobeKind(KindOfName(documentPath, NameUse::kRead))) return false;
  PictureRead read = ReadAdobePicture(documentPath);
  return read.picture && WriteStoredPicture(*read.picture, outputPath).written();
}

}  // namespace glimpses

#include "extract/stored_preview.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "extract/hex_preview.h"
#include "extract/jpeg_codec.h"
#include "extract/tiff_codec.h"

namespace glimpses {

namespace {

// Stored previews above this size are refused: none is that big, and a
// damaged header must not make us read or allocate more.
constexpr std::size_t kMaxStoredPreviewBytes = std::size_t{64} << 20;

std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// End of the line that starts at or contains `pos` (its CR or LF, or the end).
std::size_t LineEnd(std::string_view text, std::size_t pos) {
  std::size_t end = text.find_first_of("\r\n", pos);
  return end == std::string_view::npos ? text.size() : end;
}

// Start of the line after the one ending at `end` (CR, LF or CR LF).
std::size_t NextLine(std::string_view text, std::size_t end) {
  if (end < text.size() && text[end] == '\r') ++end;
  if (end < text.size() && text[end] == '\n') ++end;
  return end;
}

// The first N unsigned numbers of `text`, separated by blanks; nullopt
// when there are fewer or one does not fit 32 bits.
template <std::size_t N>
std::optional<std::array<std::uint32_t, N>> ParseNumbers(std::string_view text) {
  std::array<std::uint32_t, N> numbers{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (std::uint32_t& number : numbers) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    auto [next, error] = std::from_chars(p, end, number);
    if (error != std::errc() || next == p) return std::nullopt;
    p = next;
  }
  return numbers;
}

// A comment such as "%%BeginPreview: 80 60 8 60": where its line ends, and
// the numbers after the keyword (nullopt when they are not N numbers).
template <std::size_t N>
struct NumberedComment {
  std::size_t lineEnd = 0;
  std::optional<std::array<std::uint32_t, N>> numbers;
};

// The first comment `keyword` in `text`; nullopt when there is none.
template <std::size_t N>
std::optional<NumberedComment<N>> FindNumberedComment(std::string_view text, std::string_view keyword) {
  std::size_t begin = text.find(keyword);
  if (begin == std::string_view::npos) return std::nullopt;
  std::size_t lineEnd = LineEnd(text, begin);
  std::size_t numbersAt = begin + keyword.size();
  return NumberedComment<N>{lineEnd, ParseNumbers<N>(text.substr(numbersAt, lineEnd - numbersAt))};
}

// --- EPS binary header -------------------------------------------------

constexpr std::uint8_t kDosEpsMagic[] = {0xC5, 0xD0, 0xD3, 0xC6};
constexpr std::size_t kDosEpsHeaderSize = 30;

struct Section {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

// A section fits when it is empty, or starts after the header and ends
// within the file.
bool SectionFits(Section section, std::int64_t fileSize) {
  if (section.length == 0) return true;
  return section.offset >= kDosEpsHeaderSize && std::int64_t{section.offset} + section.length <= fileSize;
}

// --- EPSI --------------------------------------------------------------

constexpr std::string_view kBeginPreview = "%%BeginPreview:";
constexpr std::string_view kEndPreview = "%%EndPreview";

struct EpsiHeader {
  std::uint32_t width, height, depth;
  std::size_t RowBytes() const { return (std::size_t{width} * depth + 7) / 8; }
};

// Collects the pixel bytes of the block starting at `pos`: up to
// %%EndPreview every line is a comment, "%" and hex digits, or a "%%"
// comment such as %%EndImage. The header's line count is not held to:
// ps2epsi counts only the lines that hold digits and writes a blank "%"
// line after every row. The digits must spell exactly the header's pixels.
// Nullptr, or what is wrong.
const char* ReadEpsiBits(std::string_view text, std::size_t pos, const EpsiHeader& header, Bytes& bits) {
  const std::size_t wanted = header.RowBytes() * header.height;
  for (;;) {
    if (pos >= text.size()) return "EPSI preview is cut short";
    std::size_t end = LineEnd(text, pos);
    std::string_view line = text.substr(pos, end - pos);
    if (line.starts_with(kEndPreview)) break;
    if (!line.starts_with('%')) return "EPSI preview line is no comment";
    if (!line.starts_with("%%")) {
      Bytes lineBits = DecodeHexDigits(line);
      bits.insert(bits.end(), lineBits.begin(), lineBits.end());
      if (bits.size() > wanted) return "EPSI preview holds more pixels than it claims";
    }
    pos = NextLine(text, end);
  }
  if (bits.size() < wanted) return "EPSI preview holds fewer pixels than it claims";
  return nullptr;
}

// 0 is white and the largest value black, the reverse of PostScript's grey.
CImage GreyPicture(const Bytes& bits, const EpsiHeader& header) {
  CImage image;
  if (!image.Create(static_cast<int>(header.width), static_cast<int>(header.height), 8)) return image;
  for (int i = 0; i < 256; ++i) image.Palette()[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
  const unsigned depth = header.depth;
  const unsigned maxValue = (1u << depth) - 1;
  for (std::uint32_t y = 0; y < header.height; ++y) {
    const std::uint8_t* row = bits.data() + y * header.RowBytes();
    std::uint8_t* out = image.Row(static_cast<int>(y));
    for (std::uint32_t x = 0; x < header.width; ++x) {
      std::size_t bit = std::size_t{x} * depth;
      unsigned value = (row[bit / 8] >> (8 - depth - bit % 8)) & maxValue;
      out[x] = static_cast<std::uint8_t>(255 - value * 255 / maxValue);
    }
  }
  return image;
}

// --- Image resources ---------------------------------------------------

constexpr std::string_view kBeginPhotoshop = "%BeginPhotoshop:";
constexpr std::string_view kEndPhotoshop = "%EndPhotoshop";
constexpr std::uint16_t kThumbnailResource = 1036;
// Photoshop 4 stored its thumbnail with red and blue swapped.
constexpr std::uint16_t kOldThumbnailResource = 1033;
constexpr std::size_t kThumbnailHeaderSize = 28;
constexpr std::uint32_t kJpegThumbnailFormat = 1;

PictureRead ThumbnailFromResource(const std::uint8_t* data, std::size_t size) {
  if (size < kThumbnailHeaderSize)
    return PictureRead::Failed(ExtractStatus::kDamaged, "image-resource thumbnail is cut short");
  if (ReadBe32(data) != kJpegThumbnailFormat) {
    return PictureRead::Failed(ExtractStatus::kUnsupported, "uncompressed image-resource thumbnail");
  }
  std::uint32_t jpegSize = ReadBe32(data + 20);
  if (jpegSize > size - kThumbnailHeaderSize) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "image-resource thumbnail is shorter than it claims");
  }
  StoredPicture preview{
      ExtractRoute::kImageResource, Bytes(data + kThumbnailHeaderSize, data + kThumbnailHeaderSize + jpegSize), {}};
  if (!IsWholeJpeg(preview.jpeg.data(), preview.jpeg.size(), preview.image)) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "image-resource JPEG does not decode");
  }
  return PictureRead::Found(std::move(preview));
}

// Walks the "8BIM" resource blocks: signature, 16-bit id, a Pascal name
// padded to an even length, a 32-bit size and the data, padded to even.
PictureRead ThumbnailFromResources(const Bytes& resources) {
  constexpr std::string_view kSignature = "8BIM";
  const std::size_t n = resources.size();
  const std::uint8_t* r = resources.data();
  bool sawOldThumbnail = false;
  for (std::size_t pos = 0; pos + 8 <= n;) {
    if (AsText(r + pos, 4) != kSignature) {
      return PictureRead::Failed(ExtractStatus::kDamaged, "image resource without its signature");
    }
    std::uint16_t id = ReadBe16(r + pos + 4);
    std::size_t sizeAt = pos + 6 + ((std::size_t{r[pos + 6]} + 2) & ~std::size_t{1});
    if (sizeAt + 4 > n || ReadBe32(r + sizeAt) > n - sizeAt - 4) {
      return PictureRead::Failed(ExtractStatus::kDamaged, "image resource runs past its block");
    }
    std::size_t dataSize = ReadBe32(r + sizeAt);
    std::size_t dataAt = sizeAt + 4;
    if (id == kThumbnailResource) return ThumbnailFromResource(r + dataAt, dataSize);
    sawOldThumbnail = sawOldThumbnail || id == kOldThumbnailResource;
    pos = dataAt + dataSize + (dataSize & 1);
  }
  if (sawOldThumbnail) return PictureRead::Failed(ExtractStatus::kUnsupported, "Photoshop 4 thumbnail");
  return PictureRead::Failed(ExtractStatus::kNoPicture);
}

}  // namespace

std::optional<std::size_t> PostScriptStart(const std::uint8_t* data, std::size_t size, std::int64_t fileSize) {
  if (AsText(data, size).starts_with("%!")) return 0;
  if (size < kDosEpsHeaderSize || std::memcmp(data, kDosEpsMagic, sizeof kDosEpsMagic) != 0) return std::nullopt;
  const Section postScript{ReadLe32(data + 4), ReadLe32(data + 8)};
  if (postScript.length == 0 || !SectionFits(postScript, fileSize)) return std::nullopt;
  return postScript.offset;
}

PictureRead FindEpsTiffPreview(const DocumentBytes& document) {
  if (!document.fromStart || document.size < sizeof kDosEpsMagic ||
      std::memcmp(document.data, kDosEpsMagic, sizeof kDosEpsMagic) != 0) {
    return PictureRead::Failed(ExtractStatus::kNoPicture);
  }
  if (document.size < kDosEpsHeaderSize) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "EPS binary header is cut short");
  }
  auto section = [&](std::size_t at) {
    return Section{ReadLe32(document.data + at), ReadLe32(document.data + at + 4)};
  };
  const Section postScript = section(4), metafile = section(12), tiff = section(20);
  for (Section s : {postScript, metafile, tiff}) {
    if (!SectionFits(s, document.fileSize)) {
      return PictureRead::Failed(ExtractStatus::kDamaged, "EPS binary header points outside the file");
    }
  }
  if (tiff.length == 0) {
    if (metafile.length != 0) return PictureRead::Failed(ExtractStatus::kUnsupported, "WMF preview");
    return PictureRead::Failed(ExtractStatus::kNoPicture);
  }
  if (tiff.length > kMaxStoredPreviewBytes) {
    return PictureRead::Failed(ExtractStatus::kUnsupported, "TIFF preview above 64 MiB");
  }
  std::optional<Bytes> bytes = document.readRange ? document.readRange(tiff.offset, tiff.length) : std::nullopt;
  if (!bytes) return PictureRead::Failed(ExtractStatus::kUnreadable, "cannot read the TIFF preview");
  StoredPicture preview{ExtractRoute::kEpsTiff, {}, {}};
  if (DecodeTiff(bytes->data(), bytes->size(), preview.image) != ImageStatus::kOk) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "TIFF preview does not decode");
  }
  return PictureRead::Found(std::move(preview));
}

PictureRead FindEpsiPreview(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  auto comment = FindNumberedComment<4>(text, kBeginPreview);
  if (!comment) return PictureRead::Failed(ExtractStatus::kNoPicture);
  if (!comment->numbers) return PictureRead::Failed(ExtractStatus::kDamaged, "EPSI header is not four numbers");
  const auto& numbers = *comment->numbers;
  const EpsiHeader header{numbers[0], numbers[1], numbers[2]};
  if (header.depth != 1 && header.depth != 2 && header.depth != 4 && header.depth != 8) {
    return PictureRead::Failed(ExtractStatus::kUnsupported,
                               "EPSI preview of " + std::to_string(header.depth) + " bits");
  }
  if (header.width == 0 || header.height == 0 || std::int64_t{header.width} * header.height > kMaxImagePixels) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "EPSI preview size out of range");
  }
  Bytes bits;
  if (const char* problem = ReadEpsiBits(text, NextLine(text, comment->lineEnd), header, bits)) {
    return PictureRead::Failed(ExtractStatus::kDamaged, problem);
  }
  StoredPicture preview{ExtractRoute::kEpsi, {}, GreyPicture(bits, header)};
  if (preview.image.IsNull()) return PictureRead::Failed(ExtractStatus::kDamaged, "EPSI preview size out of range");
  return PictureRead::Found(std::move(preview));
}

PictureRead FindImageResourceThumbnail(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  auto comment = FindNumberedComment<1>(text, kBeginPhotoshop);
  if (!comment) return PictureRead::Failed(ExtractStatus::kNoPicture);
  std::size_t blockStart = NextLine(text, comment->lineEnd);
  std::size_t blockEnd = text.find(kEndPhotoshop, blockStart);
  const auto& claimed = comment->numbers;
  if (!claimed || blockEnd == std::string_view::npos) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "image-resource block is cut short");
  }
  Bytes resources = DecodeHexDigits(text.substr(blockStart, blockEnd - blockStart));
  if (resources.size() < (*claimed)[0]) {
    return PictureRead::Failed(ExtractStatus::kDamaged, "image-resource block is shorter than it claims");
  }
  resources.resize((*claimed)[0]);
  return ThumbnailFromResources(resources);
}

PictureRead FindStoredPreview(const DocumentBytes& document, PictureRead found) {
  PictureRead best = std::move(found);
  KeepLarger(best, FindEpsTiffPreview(document));
  KeepLarger(best, FindEpsiPreview(document.data, document.size));
  KeepLarger(best, FindImageResourceThumbnail(document.data, document.size));
  return best;
}

}  // namespace glimpses

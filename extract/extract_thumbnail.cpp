#include "extract_thumbnail.h"

#include <cstdint>

#include "adobe_thumbnail.h"
#include "corel_thumbnail.h"

namespace glimpses {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at `i`, advancing it; kReplacement for a
// malformed, overlong or surrogate sequence (one byte consumed).
char32_t NextUtf8(const std::string& s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  std::uint8_t lead = byte(i);
  int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > s.size()) {
    ++i;
    return kReplacement;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return c;
}

}  // namespace

std::string WideToAnsi(const std::u16string& wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string AnsiToWide(const std::string& narrow) {
  std::u16string out;
  out.reserve(narrow.size());
  for (std::size_t i = 0; i < narrow.size();) AppendUtf16(out, NextUtf8(narrow, i));
  return out;
}

bool ExtractAdobeThumbnailW(const std::u16string& documentPath, const std::u16string& outputPath) {
  return ExtractAdobeThumbnail(WideToAnsi(documentPath), WideToAnsi(outputPath));
}

bool ExtractCorelThumbnailW(const std::u16string& documentPath, const std::u16string& outputPath) {
  return ExtractCorelThumbnail(WideToAnsi(documentPath), WideToAnsi(outputPath));
}

namespace {

// The Adobe try under `adobeOutput`, then the CorelDRAW try under
// `corelOutput`. A document of neither kind is refused by both.
ExtractResult ExtractEitherWay(const std::string& documentPath, const std::string& adobeOutput,
                               const std::string& corelOutput) {
  ExtractResult adobe = ExtractAdobeThumbnailResult(documentPath, adobeOutput);
  if (adobe.written() || IsAdobeDocumentName(documentPath)) return adobe;
  ExtractResult corel = ExtractCorelThumbnailResult(documentPath, corelOutput);
  if (corel.written() || HasCorelExtension(documentPath)) return corel;
  return ExtractResult::Failed(ExtractStatus::kUnsupported, "not an AI, EPS, InDesign, PDF or CorelDRAW document");
}

std::optional<std::string> WrittenPath(const ExtractResult& result) {
  if (!result.written()) return std::nullopt;
  return result.path;
}

}  // namespace

ExtractResult TryExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return ExtractEitherWay(documentPath, outputPath, outputPath);
}

ExtractResult TryExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                      const std::string& fileName) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder + fileName : folder + "/" + fileName;
  return ExtractEitherWay(documentPath, base + "_T.jpg", base + "_T.png");
}

std::optional<std::string> ExtractThumbnailFile(const std::string& documentPath, const std::string& outputPath) {
  return WrittenPath(TryExtractThumbnail(documentPath, outputPath));
}

std::optional<std::string> ExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                                const std::string& fileName) {
  return WrittenPath(TryExtractThumbnailInto(folder, documentPath, fileName));
}

bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return TryExtractThumbnail(documentPath, outputPath).written();
}

bool ExtractThumbnail(const std::u16string& documentPath, const std::u16string& outputPath) {
  return ExtractThumbnail(WideToAnsi(documentPath), WideToAnsi(outputPath));
}

}  // namespace glimpses

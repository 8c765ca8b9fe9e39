#include "base/document_kind.h"

#include <array>
#include <cctype>
#include <cstring>

namespace glimpses {

namespace {

struct Ending {
  std::string_view text;  // without the dot
  DocumentKind kind;
  bool listed;  // false: read but not listed (see NameUse::kRead)
};

constexpr std::array<Ending, 15> kEndings = {{
    {"ai", DocumentKind::kIllustrator, true},
    {"AI", DocumentKind::kIllustrator, true},
    {"indd", DocumentKind::kInDesign, true},
    {"INDD", DocumentKind::kInDesign, true},
    {"Indd", DocumentKind::kInDesign, true},
    {"eps", DocumentKind::kEps, true},
    {"EPS", DocumentKind::kEps, true},
    {"Eps", DocumentKind::kEps, true},
    {"pdf", DocumentKind::kPdf, true},
    {"PDF", DocumentKind::kPdf, true},
    {"cdr", DocumentKind::kCorelDraw, true},
    {"CDR", DocumentKind::kCorelDraw, true},
    {"Cdr", DocumentKind::kCorelDraw, true},
    {"CDr", DocumentKind::kCorelDraw, false},
    {"cdR", DocumentKind::kCorelDraw, false},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool Accepts(const Ending& ending, std::string_view extension, NameUse use) {
  switch (use) {
    case NameUse::kListed:
      return ending.listed && extension == ending.text;
    case NameUse::kRead:
      return extension == ending.text;
    case NameUse::kAnyCase:
      return SameIgnoringCase(extension, ending.text);
  }
  return false;
}

}  // namespace

DocumentKind KindOfName(std::string_view name, NameUse use) {
  // Asked of every name a search matches: the ending is looked at first.
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return DocumentKind::kNone;
  const std::string_view extension = name.substr(dot + 1);
  if (extension.size() < 2 || extension.size() > 4) return DocumentKind::kNone;
  for (const Ending& ending : kEndings) {
    if (!Accepts(ending, extension, use)) continue;
    // At least one byte stands before the dot, and no line break.
    return name.substr(0, dot).find_first_of("\r\n") == std::string_view::npos ? ending.kind : DocumentKind::kNone;
  }
  return DocumentKind::kNone;
}

DocumentKind KindOfContent(const std::uint8_t* head, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(head), size);
  constexpr std::string_view kInDesignId("\x06\x06\xED\xF5\xD8\x1D\x46\xE5\xBD\x31\xEF\xE7\xFE\x74\xB7\x1D", 16);
  constexpr std::string_view kDosEps("\xC5\xD0\xD3\xC6", 4);
  if (text.starts_with("%PDF")) return DocumentKind::kPdf;
  if (text.starts_with("%!PS") || text.starts_with(kDosEps)) return DocumentKind::kEps;
  if (text.starts_with(kInDesignId)) return DocumentKind::kInDesign;
  if (text.starts_with("PK\x03\x04")) return DocumentKind::kCorelDraw;
  if (text.starts_with("RIFF") && size >= 11 && (text.substr(8, 3) == "CDR" || text.substr(8, 3) == "cdr")) {
    return DocumentKind::kCorelDraw;
  }
  return DocumentKind::kNone;
}

std::string_view KindName(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::kIllustrator:
      return "ai";
    case DocumentKind::kEps:
      return "eps";
    case DocumentKind::kInDesign:
      return "indd";
    case DocumentKind::kPdf:
      return "pdf";
    case DocumentKind::kCorelDraw:
      return "cdr";
    case DocumentKind::kNone:
      break;
  }
  return "";
}

BadgeColor KindBadgeColor(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::kIllustrator:
      return {240, 140, 0};
    case DocumentKind::kEps:
      return {143, 69, 173};
    case DocumentKind::kInDesign:
      return {214, 51, 107};
    case DocumentKind::kPdf:
      return {201, 41, 41};
    case DocumentKind::kCorelDraw:
      return {43, 138, 61};
    case DocumentKind::kNone:
      break;
  }
  return {135, 143, 150};
}

std::string KindBadgeLabel(DocumentKind kind) {
  std::string label(KindName(kind));
  for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return label.empty() ? "?" : label;
}

}  // namespace glimpses

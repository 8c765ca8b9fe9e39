// Which files are documents, and of which kind: one table of the name
// endings that the result list, the readers and the file-manager
// thumbnailer accept, and the first bytes that tell a kind without a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace glimpses {

enum class DocumentKind { kNone, kIllustrator, kEps, kInDesign, kPdf, kCorelDraw };

// Who asks about a name. The three answers differ on purpose:
enum class NameUse {
  // The result list and its count: ai AI indd INDD Indd eps EPS Eps pdf PDF
  // cdr CDR Cdr, spelt exactly, as the list has always shown them.
  kListed,
  // The readers, and so the export and the command line: the listed
  // spellings, plus "CDr" and "cdR" for CorelDRAW. The CorelDRAW reader has
  // always taken those two; exports of existing folders rely on it, while
  // the list keeps the set its users know.
  kRead,
  // The file-manager thumbnailer: the five endings in any case of letters,
  // since a file manager shows "PLAN.Ai" like any other file and the reader
  // no longer depends on the spelling.
  kAnyCase,
};

// The kind `name` (a file name or a path) ends in for `use`, or kNone.
// A document name has at least one byte before the dot and no line break
// (CR or LF) anywhere before its ending.
DocumentKind KindOfName(std::string_view name, NameUse use);

// The kind the first bytes of a file say (at least 16 are needed for
// InDesign), or kNone: "%PDF", "%!PS" or the EPS binary header, the
// InDesign document id, a ZIP archive or a CorelDRAW RIFF form.
DocumentKind KindOfContent(const std::uint8_t* head, std::size_t size);

// True for the kinds the Adobe reader takes (all but CorelDRAW and kNone).
constexpr bool IsAdobeKind(DocumentKind kind) {
  return kind != DocumentKind::kNone && kind != DocumentKind::kCorelDraw;
}

// "ai", "eps", "indd", "pdf", "cdr", or "" for kNone.
std::string_view KindName(DocumentKind kind);

// A document without a picture is shown as a page badge in its kind's
// colour, labelled with the kind's name in capitals ("?" for kNone): the
// same in the window's grid and on a contact sheet.
struct BadgeColor {
  std::uint8_t red = 0, green = 0, blue = 0;
};
BadgeColor KindBadgeColor(DocumentKind kind);
std::string KindBadgeLabel(DocumentKind kind);

}  // namespace glimpses

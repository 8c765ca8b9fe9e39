// The search language: parsed once, then matched against many entries
// (a file or folder, seen through its case-folded name and path). Pure code,
// no I/O, so the embedded index and plocate answer a query the same way.
//
// Syntax (matching ignores case, for non-ASCII letters too):
//   a b        both must match (AND; blanks and tabs separate terms)
//   a|b        either matches (OR binds tighter than AND: "a b|c" is a AND (b OR c))
//   !a         a must not match (also !<...>, !ext:pdf)
//   "a b"      one term holding a blank; quotes may enclose part of a term
//   <a|b> c    groups
//   plain term: occurs anywhere in the entry's name
//   a term with * or ?: must match the whole name (* any run, ? one character)
//   a term with '/': matched against the entry's full path instead of its name
//   ext:pdf;ai  the name's extension (text after its last dot) is one of
//               those; an empty item ("ext:" or "ext:pdf;") stands for no extension
//   file: / folder:  only files / only folders; "file:abc" is "file: abc"
//   size:VALUE  the file's size (1024-based units b, kb, mb, gb; no unit is
//               bytes): size:1mb, size:>1mb, size:<=10kb, size:1mb..5mb, or
//               a word: empty (0), tiny (<= 10 KB), small (10-100 KB),
//               medium (100 KB-1 MB), large (1-16 MB), huge (16-128 MB),
//               gigantic (> 128 MB); the words' ranges touch without
//               overlapping (small is 10 KB < size <= 100 KB); a range's
//               ends are included, and either may be left out (size:1mb..)
//               Folders have no size: size: keeps files only.
//   dm:VALUE    the date modified, in local time: today, yesterday,
//               thisweek, lastweek, thismonth, lastmonth, thisyear,
//               lastyear (weeks start on Monday), 2024, 2024-05,
//               2024-05-17, comparisons dm:>=2024-01-01 (a comparison
//               takes the whole period: dm:>2024 is from 2025 on) and
//               ranges dm:2024-01-01..2024-03-31 (both ends included)
//   what the catalogue holds of a document (documents only; catalogue_store.h):
//     font:helv   a font whose name or family holds the text
//     creator:illustrator  the making program and version, or the creator tool
//     title:, author:, swatch:, plate:  a title, author, swatch or plate name
//     links:logo.ai  a placed file whose name holds the text
//                 each text matched anywhere, ignoring case, or the whole
//                 text when it holds * or ?
//     pages:VALUE a page count compared or in a range as size: takes them,
//                 without units: pages:1, pages:>10, pages:2..5
//     has:thumbnail  documents that store a thumbnail (!has:thumbnail: none)
//   A document the catalogue does not hold yet matches such a term neither
//   way: it is pending (Evaluate), and its answer told later.
//   prefixes of a term, stacked in any order ("case:path:abc"):
//     case:      match case
//     path:      match the term against the full path, '/' or not
//     ww: / wholeword:  the term matches whole words only (bounded by the
//                ends of the text or by characters that are not letters,
//                digits or '_')
//     regex:     the term is a regular expression (RE2 syntax, matched
//                anywhere; ^ and $ anchor it) on the name, or on the path
//                with path:; ignoring case unless case:
//   the empty query matches every entry
//
// A malformed value of size:, dm:, pages: or regex:, an empty text modifier
// (font:) and has: of anything but thumbnail are errors: TryParse says why.
// Other malformed input is never an error; it is read this forgiving way:
//   - an unclosed quote runs to the end of the text;
//   - an unclosed '<' group ends at the end of the text; a stray '>' is ignored;
//   - an operand missing beside '|' is dropped ("a|", "|a" and "a||b" are "a" and "a|b");
//   - '!' negates the item after it, blanks or not ("! a" is "!a"); a '!' with
//     no item after it (at the end, before '|' or '>') is ignored, and so are
//     an empty group "<>" and empty quotes "";
//   - '!' is an operator only at the start of a term; inside one ("a!b") it
//     is literal, as are '|', '<' and '>' inside quotes;
//   - a blank is a space, a tab, a line break or the ideographic space U+3000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/case_fold.h"
#include "catalogue/catalogue_query.h"
#include "search/search_service.h"

namespace re2 {
class RE2;
}

namespace glimpses {

// Whole-text wildcard match: '*' any run of bytes, '?' one UTF-8 character.
bool WildcardMatch(std::string_view pattern, std::string_view text);

// The extension of a name: the text after its last dot; empty when there is
// no dot or the dot is the name's first character (".bashrc" has none).
std::string_view ExtensionOf(std::string_view name);

// What size: and dm: look at, read from the file system.
struct EntryFacts {
  std::int64_t size = -1;     // bytes; -1 for a folder or unknown (never matches size:)
  std::int64_t modified = 0;  // seconds since the epoch; 0 unknown (never matches dm:)
};

// What a query sees of one entry; names and paths folded by FoldCase.
struct EntryView {
  std::string_view foldedName;
  bool isFolder = false;
  // The case-folded full path; read only when the query UsesPath().
  std::string_view foldedPath;
  // The name and full path as they are; read only when the query
  // UsesExactText() (case: or regex:), the path only when it UsesPath() too.
  std::string_view name;
  std::string_view path;
  // Called, at most once per match, only when the query UsesFacts() and the
  // rest of the query leaves the entry in question: the facts cost a stat.
  std::function<EntryFacts()> facts;
};

// What the catalogue holds of a document, by its path; nullopt while it is
// not catalogued. Called at most once per entry, only for documents, and
// only when the rest of the query leaves the entry in question; from the
// search threads.
using MetadataLookup = std::function<std::optional<DocumentFacts>(std::string_view path)>;

// A query's verdict on an entry: kUnknown when it turns on metadata the
// catalogue does not hold yet.
enum class Truth { kNo, kYes, kUnknown };

class Query {
 public:
  // Parses `text`; nullopt, with the reason in one line of English in
  // `*error`, for a malformed size:, dm: or regex:. `now` is the moment the
  // relative dates (today, thisweek ...) are taken from, 0 for the clock.
  static std::optional<Query> TryParse(std::string_view text, std::string* error, std::int64_t now = 0);
  // TryParse, with a malformed query matching nothing.
  static Query Parse(std::string_view text);

  Truth Evaluate(const EntryView& entry) const;
  bool Matches(const EntryView& entry) const { return Evaluate(entry) == Truth::kYes; }

  // Where the metadata terms look; without one every document is pending.
  void SetMetadataLookup(MetadataLookup lookup) { metadata_ = std::move(lookup); }
  // The text terms (font: ...), in the order of DocumentFacts::textTerms.
  const std::vector<TextTerm>& TextTerms() const { return textTerms_; }

  // True when some term is matched against the full path.
  bool UsesPath() const { return usesPath_; }
  // True when the query tells files from folders (file:, folder:).
  bool UsesKind() const { return usesKind_; }
  // True when some term looks at the name or path as it is (case:, regex:).
  bool UsesExactText() const { return usesExactText_; }
  // True when the query looks at sizes or dates (size:, dm:).
  bool UsesFacts() const { return usesFacts_; }
  // True when the query looks at what documents hold (font:, pages: ...):
  // the entry's path must be given.
  bool UsesMetadata() const { return usesMetadata_; }
  // Folded texts of which every matching entry's name holds at least one,
  // for a quick pre-test: the longest of the plain terms (or wildcard-free
  // runs of wildcard terms) that must all match, or else one text of each
  // alternative of an OR; empty when the query gives none.
  std::vector<std::string> NameLiterals() const;
  // The folded literal (wildcard-free) terms that every matching entry's full
  // path contains: name and path terms that must all match.
  std::vector<std::string> RequiredPathLiterals() const;

  struct Node {
    enum class Kind {
      kAll,
      kNone,
      kAnd,
      kOr,
      kNot,
      kName,
      kNameWild,
      kPath,
      kPathWild,
      kExt,
      kFiles,
      kFolders,
      kRegex,
      kSize,
      kDate,
      kText,  // a metadata text term: TextTerms()[term]
      kPages,
      kThumbnail,
    };
    Kind kind = Kind::kAll;
    std::string text;        // folded literal or wildcard pattern
    std::string exactText;   // the term as typed, for case:
    bool matchCase = false;  // case:
    bool wholeWord = false;  // ww:, for kName and kPath
    bool onPath = false;     // kRegex on the full path (path:)
    std::shared_ptr<const re2::RE2> regex;
    std::size_t term = 0;  // kText
    std::int64_t low = 0;  // kSize, kDate, kPages: bounds, both included
    std::int64_t high = 0;
    std::vector<std::string> exts;  // folded, for kExt
    std::vector<Node> children;
  };

 private:
  Node root_;
  std::vector<TextTerm> textTerms_;
  MetadataLookup metadata_;
  bool usesPath_ = false;
  bool usesKind_ = false;
  bool usesExactText_ = false;
  bool usesFacts_ = false;
  bool usesMetadata_ = false;
};

}  // namespace glimpses

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
//   the empty query matches every entry
//
// Malformed input is never an error; it is read this forgiving way:
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
#include <string>
#include <string_view>
#include <vector>

#include "case_fold.h"
#include "search_service.h"

namespace glimpses {

// Whole-text wildcard match: '*' any run of bytes, '?' one UTF-8 character.
bool WildcardMatch(std::string_view pattern, std::string_view text);

// The extension of a name: the text after its last dot; empty when there is
// no dot or the dot is the name's first character (".bashrc" has none).
std::string_view ExtensionOf(std::string_view name);

// What a query sees of one entry; names and paths folded by FoldCase.
struct EntryView {
  std::string_view foldedName;
  bool isFolder = false;
  // The case-folded full path; read only when the query UsesPath().
  std::string_view foldedPath;
};

class Query {
 public:
  // Parses `text`; never fails (see the header comment for malformed input).
  static Query Parse(std::string_view text);

  bool Matches(const EntryView& entry) const;

  // True when some term is matched against the full path.
  bool UsesPath() const { return usesPath_; }
  // True when the query tells files from folders (file:, folder:).
  bool UsesKind() const { return usesKind_; }
  // Folded texts of which every matching entry's name holds at least one,
  // for a quick pre-test: the longest of the plain terms (or wildcard-free
  // runs of wildcard terms) that must all match, or else one text of each
  // alternative of an OR; empty when the query gives none.
  std::vector<std::string> NameLiterals() const;
  // The folded literal (wildcard-free) terms that every matching entry's full
  // path contains: name and path terms that must all match.
  std::vector<std::string> RequiredPathLiterals() const;

  struct Node {
    enum class Kind { kAll, kNone, kAnd, kOr, kNot, kName, kNameWild, kPath, kPathWild, kExt, kFiles, kFolders };
    Kind kind = Kind::kAll;
    std::string text;               // folded literal or wildcard pattern
    std::vector<std::string> exts;  // folded, for kExt
    std::vector<Node> children;
  };

 private:
  Node root_;
  bool usesPath_ = false;
  bool usesKind_ = false;
};

}  // namespace glimpses

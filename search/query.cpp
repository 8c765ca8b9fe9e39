#include "search/query.h"

#include <re2/re2.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

#include "base/document_kind.h"
#include "base/utf8.h"
#include "search/query_values.h"

namespace glimpses {
namespace {

// ---- tokens ---------------------------------------------------------------

enum class TokenKind { kTerm, kOr, kNot, kOpen, kClose };

struct Token {
  TokenKind kind;
  std::string text;              // the term with its quotes removed
  std::size_t unquotedHead = 0;  // bytes of `text` before the first quote
};

// Length of a blank at `i`, 0 when there is none.
std::size_t BlankAt(std::string_view s, std::size_t i) {
  const char c = s[i];
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return 1;
  if (s.compare(i, 3, "\xE3\x80\x80") == 0) return 3;  // U+3000 ideographic space
  return 0;
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

// After "size:", "dm:" and "pages:", '<' and '>' are comparisons, not groups.
bool EndsWithComparedModifier(std::string_view term) {
  for (const std::string_view name : {std::string_view("size:"), std::string_view("dm:"), std::string_view("pages:")}) {
    if (term.size() >= name.size() && StartsWithIgnoringCase(term.substr(term.size() - name.size()), name)) return true;
  }
  return false;
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < s.size()) {
    if (const std::size_t blank = BlankAt(s, i)) {
      i += blank;
      continue;
    }
    const char c = s[i];
    if (c == '|' || c == '!' || c == '<' || c == '>') {
      const TokenKind kind = c == '|'   ? TokenKind::kOr
                             : c == '!' ? TokenKind::kNot
                             : c == '<' ? TokenKind::kOpen
                                        : TokenKind::kClose;
      tokens.push_back({kind, {}, 0});
      ++i;
      continue;
    }
    Token term{TokenKind::kTerm, {}, 0};
    bool quoted = false;
    bool sawQuote = false;
    while (i < s.size()) {
      const char ch = s[i];
      if (ch == '"') {
        quoted = !quoted;
        if (!sawQuote) term.unquotedHead = term.text.size();
        sawQuote = true;
        ++i;
        continue;
      }
      const bool comparison = (ch == '<' || ch == '>') && EndsWithComparedModifier(term.text);
      if (!quoted && !comparison && (BlankAt(s, i) != 0 || ch == '|' || ch == '<' || ch == '>')) break;
      term.text.push_back(ch);
      ++i;
    }
    if (!sawQuote) term.unquotedHead = term.text.size();
    tokens.push_back(std::move(term));
  }
  return tokens;
}

// ---- parser ---------------------------------------------------------------

using Node = Query::Node;
using Kind = Query::Node::Kind;

bool NodeUses(const Node& node, Kind kind1, Kind kind2);
bool NodeUsesMetadata(const Node& node);

// What testing a node costs: the catalogue a lookup, the facts a stat.
int CostOf(const Node& node) {
  if (NodeUses(node, Kind::kSize, Kind::kDate)) return 2;
  return NodeUsesMetadata(node) ? 1 : 0;
}

Node MakeAnd(std::vector<Node> children) {
  if (children.empty()) return Node{};
  // An entry the cheaper terms refuse is spared the dearer ones.
  std::stable_sort(children.begin(), children.end(),
                   [](const Node& a, const Node& b) { return CostOf(a) < CostOf(b); });
  if (children.size() == 1) return std::move(children.front());
  Node node;
  node.kind = Kind::kAnd;
  node.children = std::move(children);
  return node;
}

// The prefixes that change how the term after them is matched.
struct TermFlags {
  bool matchCase = false;
  bool onPath = false;
  bool wholeWord = false;
  bool regex = false;
};

// What a term is read with: the clock for dm:, where a malformed value is
// reported (the first one wins), and the text terms met so far.
struct TermContext {
  std::int64_t now;
  std::string* error;
  std::vector<TextTerm>* textTerms;
};

Node Failed(const TermContext& context, std::string reason) {
  if (context.error->empty()) *context.error = std::move(reason);
  Node none;
  none.kind = Kind::kNone;
  return none;
}

Node RangeNode(Kind kind, ValueRange range) {
  Node node;
  node.kind = kind;
  node.low = range.low;
  node.high = range.high;
  return node;
}

Node RegexNode(std::string_view pattern, const TermFlags& flags, const TermContext& context) {
  RE2::Options options;
  options.set_log_errors(false);
  options.set_case_sensitive(flags.matchCase);
  auto regex = std::make_shared<const RE2>(re2::StringPiece(pattern.data(), pattern.size()), options);
  if (!regex->ok()) return Failed(context, "regex: " + regex->error() + " in '" + std::string(pattern) + "'");
  Node node;
  node.kind = Kind::kRegex;
  node.onPath = flags.onPath;
  node.regex = std::move(regex);
  return node;
}

Node ExtNode(std::string_view rest) {
  Node node;
  node.kind = Kind::kExt;
  while (true) {
    const std::size_t semi = rest.find(';');
    std::string item = FoldCase(rest.substr(0, semi));
    if (!item.empty() && item.front() == '.') item.erase(0, 1);
    node.exts.push_back(std::move(item));
    if (semi == std::string_view::npos) break;
    rest.remove_prefix(semi + 1);
  }
  return node;
}

constexpr const char* kSizeHelp =
    "size: needs a number with an optional unit b, kb, mb or gb (size:>1mb, size:1mb..5mb) "
    "or one of empty, tiny, small, medium, large, huge, gigantic";
constexpr const char* kPagesHelp = "pages: needs a whole number, compared (pages:>10) or as a range (pages:2..5)";
constexpr std::pair<std::string_view, MetadataField> kTextModifiers[] = {
    {"font:", MetadataField::kFont},     {"creator:", MetadataField::kCreator}, {"title:", MetadataField::kTitle},
    {"author:", MetadataField::kAuthor}, {"swatch:", MetadataField::kSwatch},   {"plate:", MetadataField::kPlate},
    {"links:", MetadataField::kLink},
};

Node TextNode(std::string_view name, MetadataField field, std::string_view text, const TermContext& context) {
  if (text.empty()) return Failed(context, std::string(name) + " needs a text to look for");
  if (context.textTerms->size() == CatalogueMatcher::kMaxTerms)
    return Failed(context, "a query holds at most " + std::to_string(CatalogueMatcher::kMaxTerms) + " metadata texts");
  Node node;
  node.kind = Kind::kText;
  node.term = context.textTerms->size();
  context.textTerms->push_back({field, FoldCase(text)});
  return node;
}

constexpr const char* kDateHelp =
    "dm: needs a date: 2024, 2024-05, 2024-05-17, today, yesterday, thisweek, lastweek, thismonth, "
    "lastmonth, thisyear or lastyear, compared (dm:>=2024-01-01) or as a range (dm:2024-01-01..2024-03-31)";

std::optional<Node> TermNode(std::string_view text, std::size_t unquotedHead, TermFlags flags,
                             const TermContext& context) {
  // Modifiers are recognised only when their name and colon are unquoted.
  auto modifier = [&](std::string_view name) {
    if (name.size() > unquotedHead || !StartsWithIgnoringCase(text, name)) return false;
    text.remove_prefix(name.size());
    unquotedHead -= name.size();
    return true;
  };
  while (true) {
    if (modifier("case:"))
      flags.matchCase = true;
    else if (modifier("path:"))
      flags.onPath = true;
    else if (modifier("ww:") || modifier("wholeword:"))
      flags.wholeWord = true;
    else if (modifier("regex:"))
      flags.regex = true;
    else
      break;
  }
  if (flags.regex) {
    if (text.empty()) return Failed(context, "regex: needs an expression");
    return RegexNode(text, flags, context);
  }
  if (modifier("size:")) {
    const std::optional<ValueRange> range = ParseSizeValue(FoldCase(text));
    return range ? RangeNode(Kind::kSize, *range) : Failed(context, kSizeHelp);
  }
  if (modifier("dm:")) {
    const std::optional<ValueRange> range = ParseDateValue(FoldCase(text), context.now);
    return range ? RangeNode(Kind::kDate, *range) : Failed(context, kDateHelp);
  }
  if (modifier("pages:")) {
    const std::optional<ValueRange> range = ParseCountValue(text);
    return range ? RangeNode(Kind::kPages, *range) : Failed(context, kPagesHelp);
  }
  if (modifier("has:")) {
    if (FoldCase(text) != "thumbnail")
      return Failed(context, "has: knows thumbnail only (has:thumbnail, !has:thumbnail)");
    Node node;
    node.kind = Kind::kThumbnail;
    return node;
  }
  for (const auto& [name, field] : kTextModifiers)
    if (modifier(name)) return TextNode(name, field, text, context);
  if (modifier("ext:")) return ExtNode(text);
  for (const auto& [name, kind] :
       {std::pair{std::string_view("file:"), Kind::kFiles}, std::pair{std::string_view("folder:"), Kind::kFolders}}) {
    if (!modifier(name)) continue;
    Node filter;
    filter.kind = kind;
    std::optional<Node> rest = TermNode(text, unquotedHead, flags, context);
    if (!rest) return filter;
    std::vector<Node> both;
    both.push_back(std::move(filter));
    both.push_back(std::move(*rest));
    return MakeAnd(std::move(both));
  }
  if (text.empty()) return std::nullopt;
  Node node;
  node.text = FoldCase(text);
  node.exactText = flags.matchCase ? std::string(text) : std::string();
  node.matchCase = flags.matchCase;
  node.wholeWord = flags.wholeWord;
  const bool wild = node.text.find_first_of("*?") != std::string::npos;
  const bool path = flags.onPath || node.text.find('/') != std::string::npos;
  node.kind = path ? (wild ? Kind::kPathWild : Kind::kPath) : (wild ? Kind::kNameWild : Kind::kName);
  return node;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, TermContext context) : tokens_(std::move(tokens)), context_(context) {}

  Node ParseAll() {
    std::vector<Node> items = ParseItems(/*inGroup=*/false);
    return MakeAnd(std::move(items));
  }

 private:
  const Token* Peek() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }
  bool PeekIs(TokenKind kind) const { return Peek() != nullptr && Peek()->kind == kind; }

  std::vector<Node> ParseItems(bool inGroup) {
    std::vector<Node> items;
    while (Peek() != nullptr) {
      if (PeekIs(TokenKind::kClose)) {
        if (inGroup) break;
        ++pos_;  // a stray '>'
        continue;
      }
      const std::size_t before = pos_;
      if (std::optional<Node> item = ParseOr()) items.push_back(std::move(*item));
      if (pos_ == before) ++pos_;
    }
    return items;
  }

  std::optional<Node> ParseOr() {
    std::vector<Node> alternatives;
    if (std::optional<Node> first = ParseUnary()) alternatives.push_back(std::move(*first));
    while (PeekIs(TokenKind::kOr)) {
      ++pos_;
      if (std::optional<Node> next = ParseUnary()) alternatives.push_back(std::move(*next));
    }
    if (alternatives.empty()) return std::nullopt;
    if (alternatives.size() == 1) return std::move(alternatives.front());
    Node node;
    node.kind = Kind::kOr;
    node.children = std::move(alternatives);
    return node;
  }

  std::optional<Node> ParseUnary() {
    bool negate = false;
    while (PeekIs(TokenKind::kNot)) {
      negate = !negate;
      ++pos_;
    }
    std::optional<Node> primary = ParsePrimary();
    if (!primary || !negate) return primary;
    if (primary->kind == Kind::kAll) {
      Node none;
      none.kind = Kind::kNone;
      return none;
    }
    Node node;
    node.kind = Kind::kNot;
    node.children.push_back(std::move(*primary));
    return node;
  }

  std::optional<Node> ParsePrimary() {
    const Token* token = Peek();
    if (token == nullptr) return std::nullopt;
    if (token->kind == TokenKind::kTerm) {
      ++pos_;
      return TermNode(token->text, token->unquotedHead, {}, context_);
    }
    if (token->kind != TokenKind::kOpen) return std::nullopt;
    ++pos_;
    std::vector<Node> items = ParseItems(/*inGroup=*/true);
    if (PeekIs(TokenKind::kClose)) ++pos_;
    if (items.empty()) return std::nullopt;
    return MakeAnd(std::move(items));
  }

  std::vector<Token> tokens_;
  TermContext context_;
  std::size_t pos_ = 0;
};

bool Contains(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  return memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

// Bytes of UTF-8 beyond ASCII count as letters: a word of any script is
// not cut in two.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         byte == '_';
}

bool ContainsWholeWord(std::string_view haystack, std::string_view needle) {
  for (std::size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) {
    const std::size_t end = at + needle.size();
    if ((at == 0 || !IsWordByte(haystack[at - 1])) && (end == haystack.size() || !IsWordByte(haystack[end])))
      return true;
  }
  return false;
}

// What the metadata terms see of an entry.
struct Metadata {
  bool document = false;               // an entry no document has no metadata, and never will
  std::optional<DocumentFacts> facts;  // nullopt: pending
};

// One entry being matched, with its facts and its metadata read at most
// once.
struct Match {
  const EntryView& entry;
  const MetadataLookup& lookup;
  std::optional<EntryFacts> facts;
  std::optional<Metadata> metadata;

  const EntryFacts& Facts() {
    if (!facts) facts = entry.facts ? entry.facts() : EntryFacts{};
    return *facts;
  }
  const Metadata& Meta() {
    if (!metadata) {
      // Only documents are catalogued: the name is looked at only for what
      // the catalogue does not hold.
      metadata = Metadata{true, lookup ? lookup(entry.path) : std::nullopt};
      if (!metadata->facts) metadata->document = KindOfName(entry.name, NameUse::kListed) != DocumentKind::kNone;
    }
    return *metadata;
  }
};

Truth TruthOf(bool value) { return value ? Truth::kYes : Truth::kNo; }

// A metadata term's verdict: no for what is no document, unknown for a
// document not catalogued yet.
template <typename Test>
Truth MetadataTruth(Match& match, Test test) {
  const Metadata& metadata = match.Meta();
  if (!metadata.document) return Truth::kNo;
  if (!metadata.facts) return Truth::kUnknown;
  return TruthOf(test(*metadata.facts));
}

bool TextMatches(const Node& node, std::string_view folded, std::string_view exact) {
  const std::string_view text = node.matchCase ? exact : folded;
  const std::string_view term = node.matchCase ? std::string_view(node.exactText) : std::string_view(node.text);
  if (node.kind == Kind::kNameWild || node.kind == Kind::kPathWild) return WildcardMatch(term, text);
  return node.wholeWord ? ContainsWholeWord(text, term) : Contains(text, term);
}

Truth NodeTruth(const Node& node, Match& match) {
  const EntryView& entry = match.entry;
  switch (node.kind) {
    case Kind::kAll:
      return Truth::kYes;
    case Kind::kNone:
      return Truth::kNo;
    case Kind::kAnd: {
      Truth all = Truth::kYes;
      for (const Node& child : node.children) {
        const Truth truth = NodeTruth(child, match);
        if (truth == Truth::kNo) return Truth::kNo;
        if (truth == Truth::kUnknown) all = Truth::kUnknown;
      }
      return all;
    }
    case Kind::kOr: {
      Truth any = Truth::kNo;
      for (const Node& child : node.children) {
        const Truth truth = NodeTruth(child, match);
        if (truth == Truth::kYes) return Truth::kYes;
        if (truth == Truth::kUnknown) any = Truth::kUnknown;
      }
      return any;
    }
    case Kind::kNot: {
      const Truth truth = NodeTruth(node.children.front(), match);
      return truth == Truth::kUnknown ? truth : TruthOf(truth == Truth::kNo);
    }
    case Kind::kName:
    case Kind::kNameWild:
      return TruthOf(TextMatches(node, entry.foldedName, entry.name));
    case Kind::kPath:
    case Kind::kPathWild:
      return TruthOf(TextMatches(node, entry.foldedPath, entry.path));
    case Kind::kRegex: {
      const std::string_view text = node.onPath ? entry.path : entry.name;
      return TruthOf(RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *node.regex));
    }
    case Kind::kSize: {
      const std::int64_t size = match.Facts().size;
      return TruthOf(size >= 0 && size >= node.low && size <= node.high);
    }
    case Kind::kDate: {
      const std::int64_t modified = match.Facts().modified;
      return TruthOf(modified != 0 && modified >= node.low && modified <= node.high);
    }
    case Kind::kExt: {
      const std::string_view ext = ExtensionOf(entry.foldedName);
      return TruthOf(std::find(node.exts.begin(), node.exts.end(), ext) != node.exts.end());
    }
    case Kind::kFiles:
      return TruthOf(!entry.isFolder);
    case Kind::kFolders:
      return TruthOf(entry.isFolder);
    case Kind::kText:
      return MetadataTruth(match, [&](const DocumentFacts& facts) { return (facts.textTerms >> node.term & 1) != 0; });
    case Kind::kPages:
      return MetadataTruth(match, [&](const DocumentFacts& facts) {
        return facts.pages >= 0 && facts.pages >= node.low && facts.pages <= node.high;
      });
    case Kind::kThumbnail:
      return MetadataTruth(match, [](const DocumentFacts& facts) { return facts.hasThumbnail; });
  }
  return Truth::kNo;
}

bool NodeUses(const Node& node, Kind kind1, Kind kind2) {
  if (node.kind == kind1 || node.kind == kind2) return true;
  return std::any_of(node.children.begin(), node.children.end(),
                     [&](const Node& child) { return NodeUses(child, kind1, kind2); });
}

bool NodeUsesMetadata(const Node& node) {
  return NodeUses(node, Kind::kText, Kind::kPages) || NodeUses(node, Kind::kThumbnail, Kind::kThumbnail);
}

bool UsesPathRegex(const Node& node) {
  if (node.kind == Kind::kRegex && node.onPath) return true;
  return std::any_of(node.children.begin(), node.children.end(), UsesPathRegex);
}

bool UsesCase(const Node& node) {
  if (node.matchCase) return true;
  return std::any_of(node.children.begin(), node.children.end(), UsesCase);
}

// The nodes that must all match: the root's children when it is an AND.
std::vector<const Node*> Conjuncts(const Node& root) {
  std::vector<const Node*> out;
  if (root.kind == Kind::kAnd) {
    for (const Node& child : root.children) out.push_back(&child);
  } else {
    out.push_back(&root);
  }
  return out;
}

// The longest run of `pattern` without a wildcard: every name the pattern
// matches holds it.
std::string_view LongestPlainRun(std::string_view pattern) {
  std::string_view best;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= pattern.size(); ++i) {
    if (i < pattern.size() && pattern[i] != '*' && pattern[i] != '?') continue;
    if (i - start > best.size()) best = pattern.substr(start, i - start);
    start = i + 1;
  }
  return best;
}

std::size_t ShortestSize(const std::vector<std::string>& texts) {
  std::size_t shortest = SIZE_MAX;
  for (const std::string& text : texts) shortest = std::min(shortest, text.size());
  return shortest;
}

// Texts of which every name `node` matches holds one; empty when it gives
// none.
std::vector<std::string> NameLiteralsOf(const Node& node) {
  switch (node.kind) {
    case Kind::kName:
    case Kind::kNameWild: {
      const std::string_view run = node.kind == Kind::kName ? node.text : LongestPlainRun(node.text);
      if (run.empty()) return {};
      return {std::string(run)};
    }
    case Kind::kAnd: {
      // Any child's texts will do; fewer and longer ones leave fewer names
      // to test.
      std::vector<std::string> best;
      for (const Node& child : node.children) {
        std::vector<std::string> texts = NameLiteralsOf(child);
        if (texts.empty()) continue;
        if (best.empty() || texts.size() < best.size() ||
            (texts.size() == best.size() && ShortestSize(texts) > ShortestSize(best)))
          best = std::move(texts);
      }
      return best;
    }
    case Kind::kOr: {
      std::vector<std::string> all;
      for (const Node& child : node.children) {
        std::vector<std::string> texts = NameLiteralsOf(child);
        if (texts.empty()) return {};  // that alternative may match any name
        all.insert(all.end(), texts.begin(), texts.end());
      }
      return all;
    }
    default:
      return {};
  }
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starT = 0;
  char32_t unused = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      t += DecodeUtf8(text, t, &unused);
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starT += DecodeUtf8(text, starT, &unused);
      t = starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

std::optional<Query> Query::TryParse(std::string_view text, std::string* error, std::int64_t now) {
  error->clear();
  Query query;
  query.root_ =
      Parser(Tokenize(text), {now != 0 ? now : static_cast<std::int64_t>(std::time(nullptr)), error, &query.textTerms_})
          .ParseAll();
  if (!error->empty()) return std::nullopt;
  query.usesPath_ = NodeUses(query.root_, Kind::kPath, Kind::kPathWild) || UsesPathRegex(query.root_);
  query.usesKind_ = NodeUses(query.root_, Kind::kFiles, Kind::kFolders);
  query.usesExactText_ = NodeUses(query.root_, Kind::kRegex, Kind::kRegex) || UsesCase(query.root_);
  query.usesFacts_ = NodeUses(query.root_, Kind::kSize, Kind::kDate);
  query.usesMetadata_ = NodeUsesMetadata(query.root_);
  return query;
}

Query Query::Parse(std::string_view text) {
  std::string error;
  std::optional<Query> query = TryParse(text, &error);
  if (query) return std::move(*query);
  Query none;
  none.root_.kind = Kind::kNone;
  return none;
}

Truth Query::Evaluate(const EntryView& entry) const {
  Match match{entry, metadata_, std::nullopt, std::nullopt};
  return NodeTruth(root_, match);
}

std::vector<std::string> Query::NameLiterals() const { return NameLiteralsOf(root_); }

std::vector<std::string> Query::RequiredPathLiterals() const {
  std::vector<std::string> out;
  for (const Node* node : Conjuncts(root_))
    if (node->kind == Kind::kName || node->kind == Kind::kPath) out.push_back(node->text);
  return out;
}

}  // namespace glimpses

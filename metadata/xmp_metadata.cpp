#include "metadata/xmp_metadata.h"

#include <exempi/xmp.h>

#include <charconv>
#include <iostream>
#include <cmath>
#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace glimpses {

namespace {

constexpr char kNsXmp[] = "http://ns.adobe.com/xap/1.0/";
constexpr char kNsDc[] = "http://purl.org/dc/elements/1.1/";
constexpr char kNsPdf[] = "http://ns.adobe.com/pdf/1.3/";
constexpr char kNsPages[] = "http://ns.adobe.com/xap/1.0/t/pg/";
constexpr char kNsMedia[] = "http://ns.adobe.com/xap/1.0/mm/";
// CorelDRAW X4 to 2020 write every field in one namespace of their own;
// the ZIP documents of X7 on use XMP's and these two beside it.
constexpr char kNsCorelOld[] = "http://namespace.corel.com/Cdr/metadata";
constexpr char kNsCorelApp[] = "http://namespace.corel.com/cdr/metadata/1.0/";
constexpr char kNsCorelFile[] = "http://namespace.corel.com/cdr/metadata/1.0/fileinfo/";
// CorelDRAW measures pages in tenths of a micrometre.
constexpr double kCorelUnitsPerMillimetre = 10000;

// Exempi keeps its namespace table per process; xmp_init sets it up once,
// and the parsed objects are then independent, so packets may be parsed on
// several threads at once. Exempi also writes the message of every failed
// parse to std::cerr: a folder of damaged documents would flood the
// terminal or the window's log. Glimpses writes its own messages with stdio
// and never through std::cerr, so that stream is muted for good here.
bool ToolkitReady() {
  static const bool ready = [] {
    std::cerr.rdbuf(nullptr);
    return xmp_init();
  }();
  return ready;
}

struct XmpFree {
  void operator()(XmpPtr xmp) const { xmp_free(xmp); }
};
struct XmpStringFree {
  void operator()(XmpStringPtr text) const { xmp_string_free(text); }
};
struct XmpIteratorFree {
  void operator()(XmpIteratorPtr iterator) const { xmp_iterator_free(iterator); }
};
using XmpHandle = std::unique_ptr<std::remove_pointer_t<XmpPtr>, XmpFree>;
using XmpText = std::unique_ptr<std::remove_pointer_t<XmpStringPtr>, XmpStringFree>;
using XmpIterator = std::unique_ptr<std::remove_pointer_t<XmpIteratorPtr>, XmpIteratorFree>;

std::string Item(const std::string& array, std::size_t index) { return array + "[" + std::to_string(index) + "]"; }

// One parsed packet and the lookups the fields need.
class Packet {
 public:
  static std::optional<Packet> Parse(std::string_view text) {
    XmpHandle xmp(xmp_new(text.data(), text.size()));
    if (!xmp) return std::nullopt;
    return Packet(std::move(xmp));
  }

  bool Empty() {
    XmpIterator iterator(xmp_iterator_new(xmp_.get(), nullptr, nullptr, XMP_ITER_JUSTLEAFNODES));
    return !iterator || !xmp_iterator_next(iterator.get(), nullptr, nullptr, nullptr, nullptr);
  }

  bool Has(const char* ns, const std::string& path) { return xmp_has_property(xmp_.get(), ns, path.c_str()); }

  // The simple value at `path`; empty when absent or not simple.
  std::string Text(const char* ns, const std::string& path) {
    std::uint32_t bits = 0;
    if (!xmp_get_property(xmp_.get(), ns, path.c_str(), value_.get(), &bits)) return {};
    if (bits & (XMP_PROP_VALUE_IS_STRUCT | XMP_PROP_VALUE_IS_ARRAY)) return {};
    return BoundedText({xmp_string_cstr(value_.get()), xmp_string_len(value_.get())});
  }

  // The default language's text of a language alternative.
  std::string LocalizedText(const char* ns, const char* name) {
    if (!xmp_get_localized_text(xmp_.get(), ns, name, "", "x-default", nullptr, value_.get(), nullptr)) {
      return Text(ns, Item(name, 1));
    }
    return BoundedText({xmp_string_cstr(value_.get()), xmp_string_len(value_.get())});
  }

  // The non-empty simple items of the array at `path`, at most kMaxListItems.
  std::vector<std::string> Items(const char* ns, const std::string& path) {
    std::vector<std::string> items;
    for (std::size_t i = 1; i <= kMaxListItems && Has(ns, Item(path, i)); ++i) {
      if (std::string item = Text(ns, Item(path, i)); !item.empty()) items.push_back(std::move(item));
    }
    return items;
  }

  std::optional<XmpDateTime> Date(const char* ns, const char* name) {
    XmpDateTime date{};
    if (!xmp_get_property_date(xmp_.get(), ns, name, &date, nullptr)) return std::nullopt;
    return date;
  }

 private:
  explicit Packet(XmpHandle xmp) : xmp_(std::move(xmp)), value_(xmp_string_new()) {}

  XmpHandle xmp_;
  XmpText value_;
};

std::optional<std::int64_t> Count(const std::string& text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<double> Length(const std::string& text) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  return value;
}

void ReadPageSize(Packet& packet, DocumentMetadata& metadata) {
  auto width = Length(packet.Text(kNsPages, "MaxPageSize/stDim:w"));
  auto height = Length(packet.Text(kNsPages, "MaxPageSize/stDim:h"));
  if (width && height) metadata.pageSize = PageSize{*width, *height, packet.Text(kNsPages, "MaxPageSize/stDim:unit")};
}

void ReadSwatches(Packet& packet, DocumentMetadata& metadata) {
  std::unordered_set<std::string> seen;
  for (std::size_t group = 1; group <= kMaxListItems && packet.Has(kNsPages, Item("SwatchGroups", group)); ++group) {
    const std::string colorants = Item("SwatchGroups", group) + "/xmpG:Colorants";
    for (std::size_t i = 1; i <= kMaxListItems && packet.Has(kNsPages, Item(colorants, i)); ++i) {
      if (metadata.swatches.size() >= kMaxListItems) return;
      std::string name = packet.Text(kNsPages, Item(colorants, i) + "/xmpG:swatchName");
      if (!name.empty() && seen.insert(name).second) metadata.swatches.push_back(std::move(name));
    }
  }
}

void ReadFonts(Packet& packet, DocumentMetadata& metadata) {
  for (std::size_t i = 1; i <= kMaxListItems && packet.Has(kNsPages, Item("Fonts", i)); ++i) {
    const std::string font = Item("Fonts", i) + "/stFnt:";
    metadata.fonts.push_back({packet.Text(kNsPages, font + "fontName"), packet.Text(kNsPages, font + "fontFamily"),
                              packet.Text(kNsPages, font + "fontFace"), packet.Text(kNsPages, font + "fontType"),
                              packet.Text(kNsPages, font + "fontFileName")});
  }
}

// The placed files of the manifest and of the ingredients, each once: by
// its path, or by its document id when it has no path. A second mention
// fills in the id the first one lacked.
class LinkList {
 public:
  explicit LinkList(std::vector<PlacedFile>& links) : links_(links) {}

  void Add(PlacedFile link) {
    if (link.path.empty() && link.documentId.empty()) return;
    const std::string key = link.path.empty() ? "id:" + link.documentId : "path:" + link.path;
    auto [at, added] = index_.try_emplace(key, links_.size());
    if (added) {
      links_.push_back(std::move(link));
    } else if (links_[at->second].documentId.empty()) {
      links_[at->second].documentId = std::move(link.documentId);
    }
  }

  bool Full() const { return links_.size() >= kMaxListItems; }

 private:
  std::vector<PlacedFile>& links_;
  std::unordered_map<std::string, std::size_t> index_;
};

void ReadLinks(Packet& packet, DocumentMetadata& metadata) {
  LinkList links(metadata.links);
  for (const auto& [array, reference] : {std::pair{"Manifest", "/stMfs:reference/stRef:"},
                                         std::pair{"Ingredients", "/stRef:"}}) {
    for (std::size_t i = 1; i <= kMaxListItems && !links.Full() && packet.Has(kNsMedia, Item(array, i)); ++i) {
      const std::string field = Item(array, i) + reference;
      links.Add({packet.Text(kNsMedia, field + "filePath"), packet.Text(kNsMedia, field + "documentID")});
    }
  }
}

void ReadFields(Packet& packet, DocumentMetadata& metadata) {
  metadata.creatorTool = packet.Text(kNsXmp, "CreatorTool");
  metadata.producer = packet.Text(kNsPdf, "Producer");
  metadata.created = packet.Text(kNsXmp, "CreateDate");
  metadata.modified = packet.Text(kNsXmp, "ModifyDate");
  metadata.metadataDate = packet.Text(kNsXmp, "MetadataDate");
  metadata.title = packet.LocalizedText(kNsDc, "title");
  metadata.authors = packet.Items(kNsDc, "creator");
  metadata.pages = Count(packet.Text(kNsPages, "NPages"));
  ReadPageSize(packet, metadata);
  metadata.plates = packet.Items(kNsPages, "PlateNames");
  ReadSwatches(packet, metadata);
  ReadFonts(packet, metadata);
  ReadLinks(packet, metadata);
  metadata.documentId = packet.Text(kNsMedia, "DocumentID");
  metadata.instanceId = packet.Text(kNsMedia, "InstanceID");
  metadata.originalDocumentId = packet.Text(kNsMedia, "OriginalDocumentID");
}

// Whether a packet stamped `date` is as new as one stamped `best` or newer
// (no date is older than any).
bool AsNew(std::optional<XmpDateTime> date, std::optional<XmpDateTime> best) {
  if (!best) return true;
  if (!date) return false;
  return xmp_datetime_compare(&*date, &*best) >= 0;
}

// A lookup in a namespace no packet has declared yet fails inside Exempi by
// an exception, which costs far more than this question.
bool Known(const char* ns) { return xmp_namespace_prefix(ns, nullptr); }

// The first of the CorelDRAW namespaces that holds `name`.
std::string CorelText(Packet& packet, const char* name) {
  for (const char* ns : {kNsCorelOld, kNsCorelApp, kNsCorelFile}) {
    if (!Known(ns)) continue;
    if (std::string text = packet.Text(ns, name); !text.empty()) return text;
  }
  return {};
}

void ReadCorelFields(Packet& packet, DocumentMetadata& metadata) {
  if (metadata.title.empty()) metadata.title = CorelText(packet, "Title");
  if (metadata.authors.empty()) {
    if (std::string author = CorelText(packet, "Author"); !author.empty()) metadata.authors.push_back(author);
  }
  if (metadata.documentId.empty()) metadata.documentId = CorelText(packet, "DocID");
  if (!metadata.pages) metadata.pages = Count(CorelText(packet, "NumPages"));
  auto width = Length(CorelText(packet, "PageWidth"));
  auto height = Length(CorelText(packet, "PageHeight"));
  if (!metadata.pageSize && width && height) {
    metadata.pageSize = PageSize{*width / kCorelUnitsPerMillimetre, *height / kCorelUnitsPerMillimetre, "Millimeters"};
  }
  if (metadata.fonts.empty()) {
    for (const char* ns : {kNsCorelOld, kNsCorelFile}) {
      if (!Known(ns)) continue;
      for (std::string& name : packet.Items(ns, "FontsUsed")) {
        DocumentFont font;
        font.name = std::move(name);
        metadata.fonts.push_back(std::move(font));
      }
    }
  }
}

}  // namespace

std::string BoundedText(std::string_view text) {
  if (text.size() <= kMaxTextBytes) return std::string(text);
  std::size_t size = kMaxTextBytes;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return std::string(text.substr(0, size));
}

bool ReadCurrentXmp(const std::vector<std::string>& packets, DocumentMetadata& metadata) {
  if (!ToolkitReady()) return false;
  std::optional<Packet> current;
  std::optional<XmpDateTime> currentDate;
  for (const std::string& text : packets) {
    if (text.size() > kMaxXmpPacketBytes) continue;
    std::optional<Packet> packet = Packet::Parse(text);
    if (!packet || packet->Empty()) continue;
    std::optional<XmpDateTime> date = packet->Date(kNsXmp, "MetadataDate");
    if (!date) date = packet->Date(kNsXmp, "ModifyDate");
    if (current && !AsNew(date, currentDate)) continue;
    current = std::move(packet);
    currentDate = date;
  }
  if (!current) return false;
  ReadFields(*current, metadata);
  return true;
}

CorelXmp ReadCorelXmp(std::string_view xml, DocumentMetadata& metadata) {
  CorelXmp corel;
  if (!ToolkitReady() || xml.size() > kMaxXmpPacketBytes) return corel;
  std::optional<Packet> packet = Packet::Parse(xml);
  if (!packet) return corel;
  corel.parsed = true;
  ReadFields(*packet, metadata);
  ReadCorelFields(*packet, metadata);
  // Any number past int's range names no release.
  if (auto version = Count(CorelText(*packet, "AppVersion")); version && *version < 1 << 20) {
    corel.appVersion = static_cast<int>(*version);
  }
  corel.productName = CorelText(*packet, "ProductName");
  return corel;
}

}  // namespace glimpses

// glimpses-cli info: what each document says about itself (the program and
// version that made it, dates, pages, fonts, swatches, placed files...), as
// readable text or as one JSON object a line.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_line.h"
#include "metadata/document_metadata.h"

namespace glimpses {

namespace {

constexpr int kRead = 0;
constexpr int kError = 2;

constexpr OptionInfo kOptions[] = {
    {"json", 0, nullptr, "print one JSON object a line; fields a document lacks are left out"},
};

// The shortest text that reads back as `value`: 210, 75.000202.
std::string Number(double value) {
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

// Builds one JSON object, leaving out what is empty.
class JsonObject {
 public:
  JsonObject& Text(const char* key, const std::string& value) {
    return value.empty() ? *this : Raw(key, JsonString(value));
  }
  JsonObject& Texts(const char* key, const std::vector<std::string>& values) {
    std::vector<std::string> items;
    for (const std::string& value : values) items.push_back(JsonString(value));
    return Array(key, items);
  }
  JsonObject& Array(const char* key, const std::vector<std::string>& items) {
    if (items.empty()) return *this;
    std::string array = "[";
    for (const std::string& item : items) array += (array.size() > 1 ? "," : "") + item;
    return Raw(key, array + "]");
  }
  JsonObject& Raw(const char* key, const std::string& json) {
    text_ += (text_.size() > 1 ? ",\"" : "\"") + std::string(key) + "\":" + json;
    return *this;
  }
  std::string Close() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

std::string JsonLine(const std::string& path, const DocumentMetadata& m) {
  JsonObject line;
  line.Text("path", path).Text("kind", std::string(KindName(m.kind))).Text("application", m.application);
  line.Text("version", m.version).Text("creator_tool", m.creatorTool).Text("producer", m.producer);
  line.Text("created", m.created).Text("modified", m.modified).Text("metadata_date", m.metadataDate);
  line.Text("title", m.title).Texts("authors", m.authors);
  if (m.pages) line.Raw("pages", std::to_string(*m.pages));
  if (m.pageSize) {
    line.Raw("page_size", JsonObject()
                              .Raw("width", Number(m.pageSize->width))
                              .Raw("height", Number(m.pageSize->height))
                              .Text("unit", m.pageSize->unit)
                              .Close());
  }
  line.Texts("plates", m.plates).Texts("swatches", m.swatches);
  std::vector<std::string> fonts;
  for (const DocumentFont& f : m.fonts) {
    fonts.push_back(JsonObject()
                        .Text("name", f.name)
                        .Text("family", f.family)
                        .Text("face", f.face)
                        .Text("type", f.type)
                        .Text("file", f.file)
                        .Close());
  }
  line.Array("fonts", fonts);
  std::vector<std::string> links;
  for (const PlacedFile& link : m.links) {
    links.push_back(JsonObject().Text("path", link.path).Text("document_id", link.documentId).Close());
  }
  line.Array("links", links);
  line.Text("document_id", m.documentId).Text("instance_id", m.instanceId);
  line.Text("original_document_id", m.originalDocumentId);
  return line.Raw("has_thumbnail", m.hasThumbnail ? "true" : "false").Close();
}

void PrintField(const char* label, const std::string& value) {
  if (!value.empty()) std::printf("  %-21s %s\n", label, value.c_str());
}

void PrintList(const char* label, const std::vector<std::string>& items) {
  if (items.empty()) return;
  std::printf("  %s\n", label);
  for (const std::string& item : items) std::printf("    %s\n", item.c_str());
}

// "Name (family, face, type, file)", the parts it has.
std::string DescribeFont(const DocumentFont& font) {
  std::string details;
  for (const std::string* part : {&font.family, &font.face, &font.type, &font.file}) {
    if (!part->empty()) details += (details.empty() ? "" : ", ") + *part;
  }
  if (font.name.empty()) return details;
  return details.empty() ? font.name : font.name + " (" + details + ")";
}

void PrintText(const std::string& path, const DocumentMetadata& m) {
  std::printf("%s\n", path.c_str());
  PrintField("kind:", std::string(KindName(m.kind)));
  PrintField("application:", m.application);
  PrintField("version:", m.version);
  PrintField("creator tool:", m.creatorTool);
  PrintField("producer:", m.producer);
  PrintField("created:", m.created);
  PrintField("modified:", m.modified);
  PrintField("metadata date:", m.metadataDate);
  PrintField("title:", m.title);
  PrintList("authors:", m.authors);
  if (m.pages) PrintField("pages:", std::to_string(*m.pages));
  if (m.pageSize) {
    PrintField("largest page:", Number(m.pageSize->width) + " x " + Number(m.pageSize->height) + " " + m.pageSize->unit);
  }
  PrintList("plates:", m.plates);
  PrintList("swatches:", m.swatches);
  std::vector<std::string> fonts, links;
  for (const DocumentFont& font : m.fonts) fonts.push_back(DescribeFont(font));
  for (const PlacedFile& link : m.links) {
    if (link.path.empty()) links.push_back(link.documentId);
    else links.push_back(link.documentId.empty() ? link.path : link.path + " (" + link.documentId + ")");
  }
  PrintList("fonts:", fonts);
  PrintList("placed files:", links);
  PrintField("document id:", m.documentId);
  PrintField("instance id:", m.instanceId);
  PrintField("original document id:", m.originalDocumentId);
  PrintField("stored thumbnail:", m.hasThumbnail ? "yes" : "no");
}

// Prints what `document` says; false, with the reason on stderr, when it
// cannot be read.
bool PrintInfo(const std::string& document, bool json, bool first) {
  if (!CheckDocument(document)) return false;
  if (KindOfName(document, NameUse::kRead) == DocumentKind::kNone) {
    std::fprintf(stderr, "glimpses-cli: '%s' is not an AI, EPS, INDD, PDF or CDR document\n", document.c_str());
    return false;
  }
  if (access(document.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "glimpses-cli: cannot read '%s': %s\n", document.c_str(), std::strerror(errno));
    return false;
  }
  std::optional<DocumentMetadata> metadata = ReadDocumentMetadata(document);
  if (!metadata) {
    std::fprintf(stderr, "glimpses-cli: cannot read '%s': not a regular file\n", document.c_str());
    return false;
  }
  if (json) {
    std::printf("%s\n", JsonLine(document, *metadata).c_str());
  } else {
    if (!first) std::printf("\n");
    PrintText(document, *metadata);
  }
  return true;
}

}  // namespace

const Subcommand kInfoCommand = {"info", "[--json] DOCUMENT...", kOptions, false};

int RunInfoCommand(int argc, char** argv) {
  const ParsedArguments parsed = ParseArguments(argc, argv, kInfoCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  if (parsed.operands.empty()) return UsageError(kInfoCommand, "no documents given");
  const bool json = parsed.Has("json");
  bool failed = false;
  bool first = true;
  for (const std::string& document : parsed.operands) {
    if (PrintInfo(document, json, first)) {
      first = false;
    } else {
      failed = true;
    }
  }
  std::fflush(stdout);
  return failed ? kError : kRead;
}

}  // namespace glimpses

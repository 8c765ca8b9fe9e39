// The real documents of the corpus, when it is checked out beside the
// repository: every field ReadDocumentMetadata gives next to what exiftool
// (-j -struct) reads of the same document, where both read it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "extract/extract_thumbnail.h"
#include "metadata/document_metadata.h"

namespace glimpses {
namespace {

namespace fs = std::filesystem;

// Just enough JSON for exiftool's answer: objects, arrays, strings, numbers.
struct Json {
  std::variant<std::string, std::vector<Json>, std::map<std::string, Json>> value;

  const Json* Get(const std::string& key) const {
    auto* object = std::get_if<std::map<std::string, Json>>(&value);
    if (!object) return nullptr;
    auto at = object->find(key);
    return at == object->end() ? nullptr : &at->second;
  }
  // The texts here: a string or a number as written, each item of an array.
  std::vector<std::string> Texts() const {
    if (auto* text = std::get_if<std::string>(&value)) return {*text};
    std::vector<std::string> texts;
    if (auto* items = std::get_if<std::vector<Json>>(&value)) {
      for (const Json& item : *items) {
        for (std::string& text : item.Texts()) texts.push_back(std::move(text));
      }
    }
    return texts;
  }
  std::vector<const Json*> Items() const {
    std::vector<const Json*> items;
    if (auto* array = std::get_if<std::vector<Json>>(&value)) {
      for (const Json& item : *array) items.push_back(&item);
    } else {
      items.push_back(this);
    }
    return items;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  Json Value() {
    Skip();
    if (at_ >= text_.size()) return {};
    char c = text_[at_];
    if (c == '{') return Object();
    if (c == '[') return Array();
    if (c == '"') return {String()};
    std::size_t end = text_.find_first_of(",]}", at_);
    std::string scalar = text_.substr(at_, end - at_);
    while (!scalar.empty() && std::isspace(static_cast<unsigned char>(scalar.back()))) scalar.pop_back();
    at_ = end;
    return {scalar};
  }

 private:
  void Skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  Json Object() {
    std::map<std::string, Json> object;
    for (++at_, Skip(); at_ < text_.size() && text_[at_] != '}'; Skip()) {
      std::string key = String();
      Skip();
      ++at_;  // ':'
      object[key] = Value();
      Skip();
      if (text_[at_] == ',') ++at_, Skip();
    }
    ++at_;
    return {object};
  }
  Json Array() {
    std::vector<Json> items;
    for (++at_, Skip(); at_ < text_.size() && text_[at_] != ']'; Skip()) {
      items.push_back(Value());
      Skip();
      if (text_[at_] == ',') ++at_;
    }
    ++at_;
    return {items};
  }
  std::string String() {
    std::string out;
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
      if (text_[at_] != '\\') {
        out += text_[at_];
        continue;
      }
      char e = text_[++at_];
      if (e == 'u') {
        unsigned code = std::stoul(text_.substr(at_ + 1, 4), nullptr, 16);
        at_ += 4;
        if (code < 0x80) out += static_cast<char>(code);
        else if (code < 0x800) out += {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 63))};
        else out += {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | ((code >> 6) & 63)),
                     static_cast<char>(0x80 | (code & 63))};
      } else {
        out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
      }
    }
    ++at_;
    return out;
  }

  const std::string& text_;
  std::size_t at_ = 0;
};

std::string RunExiftool(const std::string& arguments) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("exiftool " + arguments + " 2>/dev/null").c_str(), "r"), pclose);
  std::string out;
  char buffer[65536];
  for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
  return out;
}

// exiftool writes XMP dates as "2020:05:13 13:21:11+02:00".
std::string AsExiftoolDate(std::string date) {
  if (date.size() >= 10) date[4] = date[7] = ':';
  if (date.size() > 10 && date[10] == 'T') date[10] = ' ';
  return date;
}

std::vector<std::string> NonEmpty(std::vector<std::string> texts) {
  std::erase(texts, std::string());
  return texts;
}

TEST(CorpusMetadataTest, FieldsAgreeWithExiftoolAndThumbnailsWithThePictureReader) {
  const fs::path corpus = GLIMPSES_CORPUS_DIR;
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  std::vector<std::string> documents;
  for (const char* kind : {"ai", "eps", "indd", "pdf", "cdr"}) {
    for (const auto& entry : fs::directory_iterator(corpus / kind)) documents.push_back(entry.path().string());
  }
  std::map<std::string, DocumentMetadata> ours;
  for (const std::string& path : documents) {
    std::optional<DocumentMetadata> metadata = ReadDocumentMetadata(path);
    ASSERT_TRUE(metadata) << path;
    EXPECT_EQ(metadata->hasThumbnail, ReadStoredPicture(path).picture.has_value()) << path;
    ours[path] = std::move(*metadata);
  }
  if (std::system("command -v exiftool >/dev/null") != 0) GTEST_SKIP() << "exiftool is not installed";

  const std::string answer = RunExiftool(
      "-q -m -j -struct -n -G1 -XMP-xmp:all -XMP-pdf:Producer -XMP-dc:all -XMP-xmpTPg:all -XMP-xmpMM:all "
      "-PostScript:Creator -PostScript:Title '" + (corpus / "ai").string() + "' '" + (corpus / "eps").string() +
      "' '" + (corpus / "indd").string() + "' '" + (corpus / "pdf").string() + "'");
  Json read = JsonReader(answer).Value();
  std::vector<const Json*> entries = read.Items();
  ASSERT_GT(entries.size(), 40u);
  int compared = 0;
  for (const Json* entry : entries) {
    const std::string path = entry->Get("SourceFile")->Texts().at(0);
    const DocumentMetadata& m = ours.at(path);
    auto theirs = [&](std::initializer_list<const char*> keys) {
      for (const char* key : keys) {
        if (const Json* value = entry->Get(key)) return NonEmpty(value->Texts());
      }
      return std::vector<std::string>();
    };
    auto nested = [&](const char* key, std::initializer_list<const char*> path) {
      std::vector<const Json*> level = entry->Get(key) ? entry->Get(key)->Items() : std::vector<const Json*>();
      for (const char* step : path) {
        std::vector<const Json*> next;
        for (const Json* node : level) {
          if (const Json* child = node->Get(step)) {
            for (const Json* item : child->Items()) next.push_back(item);
          }
        }
        level = next;
      }
      std::vector<std::string> texts;
      for (const Json* node : level) {
        for (std::string& text : node->Texts()) texts.push_back(text);
      }
      return NonEmpty(texts);
    };
    std::vector<std::string> links, swatches, fonts;
    for (const PlacedFile& link : m.links) links.push_back(link.path);
    for (const DocumentFont& font : m.fonts) fonts.push_back(font.name);
    std::vector<std::string> theirLinks = nested("XMP-xmpMM:Manifest", {"Reference", "FilePath"});
    for (std::string& path : nested("XMP-xmpMM:Ingredients", {"FilePath"})) theirLinks.push_back(path);
    std::vector<std::string> theirSwatches;
    for (std::string& name : nested("XMP-xmpTPg:SwatchGroups", {"Colorants", "SwatchName"})) {
      if (std::find(theirSwatches.begin(), theirSwatches.end(), name) == theirSwatches.end()) theirSwatches.push_back(name);
    }
    const struct Field {
      const char* name;
      std::vector<std::string> exiftool;
      std::vector<std::string> ours;
    } fields[] = {
        {"creator tool", theirs({"XMP-xmp:CreatorTool", "PostScript:Creator"}), {m.creatorTool}},
        {"producer", theirs({"XMP-pdf:Producer"}), {m.producer}},
        {"created", theirs({"XMP-xmp:CreateDate"}), {AsExiftoolDate(m.created)}},
        {"modified", theirs({"XMP-xmp:ModifyDate"}), {AsExiftoolDate(m.modified)}},
        {"metadata date", theirs({"XMP-xmp:MetadataDate"}), {AsExiftoolDate(m.metadataDate)}},
        {"title", theirs({"XMP-dc:Title", "PostScript:Title"}), {m.title}},
        {"authors", theirs({"XMP-dc:Creator"}), m.authors},
        {"pages", theirs({"XMP-xmpTPg:NPages"}), {m.pages ? std::to_string(*m.pages) : ""}},
        {"plates", theirs({"XMP-xmpTPg:PlateNames"}), m.plates},
        {"swatches", theirSwatches, m.swatches},
        {"fonts", nested("XMP-xmpTPg:Fonts", {"FontName"}), NonEmpty(fonts)},
        {"placed files", theirLinks, NonEmpty(links)},
        {"document id", theirs({"XMP-xmpMM:DocumentID"}), {m.documentId}},
        {"instance id", theirs({"XMP-xmpMM:InstanceID"}), {m.instanceId}},
        {"original document id", theirs({"XMP-xmpMM:OriginalDocumentID"}), {m.originalDocumentId}},
    };
    for (const Field& field : fields) {
      if (field.exiftool.empty()) continue;
      ++compared;
      if (std::string_view(field.name) == "placed files") {
        // Ours names each placed file once, where the two lists repeat it.
        EXPECT_EQ(std::set(field.exiftool.begin(), field.exiftool.end()),
                  std::set(field.ours.begin(), field.ours.end())) << path << ": " << field.name;
      } else {
        EXPECT_EQ(field.exiftool, field.ours) << path << ": " << field.name;
      }
    }
  }
  EXPECT_GT(compared, 300);
}

}  // namespace
}  // namespace glimpses

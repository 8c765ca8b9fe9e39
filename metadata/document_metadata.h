// What a design document says about itself: the program and version that
// made it, its dates, title and authors, its pages, plates, swatches and
// fonts, and the files placed in it. Read from its XMP packets and from the
// headers the picture readers already know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/document_kind.h"

namespace glimpses {

struct PageSize {
  double width = 0;
  double height = 0;
  std::string unit;  // as stored: "Points", "Millimeters", "Inches"...
  bool operator==(const PageSize&) const = default;
};

struct DocumentFont {
  std::string name;    // the PostScript name
  std::string family;
  std::string face;
  std::string type;    // "Open Type", "TrueType", "Type 1"...
  std::string file;
  bool operator==(const DocumentFont&) const = default;
};

struct PlacedFile {
  std::string path;         // as stored (a file path or URL)
  std::string documentId;   // the placed document's id, when stored
  bool operator==(const PlacedFile&) const = default;
};

// Every field is optional: an empty string or list, or nullopt, is absent.
struct DocumentMetadata {
  DocumentKind kind = DocumentKind::kNone;
  std::string application;  // the short name of the making program: "Illustrator", "CorelDRAW"
  std::string version;      // its version as people name it: "CC 2017", "CS2 (4.0)", "X4", "1.6" for PDF
  std::string creatorTool;  // xmp:CreatorTool or %%Creator, as stored
  std::string producer;
  std::string created;       // ISO 8601, as stored
  std::string modified;
  std::string metadataDate;
  std::string title;
  std::vector<std::string> authors;
  std::optional<std::int64_t> pages;
  std::optional<PageSize> pageSize;  // the largest page
  std::vector<std::string> plates;
  std::vector<std::string> swatches;
  std::vector<DocumentFont> fonts;
  std::vector<PlacedFile> links;
  std::string documentId;
  std::string instanceId;
  std::string originalDocumentId;
  bool hasThumbnail = false;

  bool operator==(const DocumentMetadata&) const = default;
};

// What the document at `path` holds; nullopt when it cannot be opened or is
// not a kind we read.
std::optional<DocumentMetadata> ReadDocumentMetadata(const std::string& path);

// "文件版本": the application and version in a short readable form, such as
// "Illustrator CC 2017" or "PDF 1.6"; empty when neither is known.
std::string VersionLabel(const DocumentMetadata& metadata);

}  // namespace glimpses

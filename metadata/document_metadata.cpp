#include "metadata/document_metadata.h"

#include "extract/extract_thumbnail.h"

namespace glimpses {

std::optional<DocumentMetadata> ReadDocumentMetadata(const std::string& path) {
  DocumentKind kind = KindOfName(path, NameUse::kRead);
  if (kind == DocumentKind::kNone) return std::nullopt;
  DocumentMetadata metadata;
  metadata.kind = kind;
  metadata.hasThumbnail = ReadStoredPicture(path, kind).picture.has_value();
  return metadata;
}

std::string VersionLabel(const DocumentMetadata& metadata) {
  if (metadata.application.empty()) return metadata.version;
  if (metadata.version.empty()) return metadata.application;
  return metadata.application + " " + metadata.version;
}

}  // namespace glimpses

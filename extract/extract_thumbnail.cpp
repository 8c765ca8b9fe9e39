#include "extract/extract_thumbnail.h"

#include "base/path.h"
#include "extract/adobe_thumbnail.h"
#include "extract/corel_thumbnail.h"

namespace glimpses {

PictureRead ReadStoredPicture(const std::string& documentPath, DocumentKind kind) {
  if (kind == DocumentKind::kCorelDraw) return ReadCorelPicture(documentPath);
  if (IsAdobeKind(kind)) return ReadAdobePicture(documentPath);
  return PictureRead::Failed(ExtractStatus::kUnsupported, "not an AI, EPS, InDesign, PDF or CorelDRAW document");
}

PictureRead ReadStoredPicture(const std::string& documentPath) {
  return ReadStoredPicture(documentPath, KindOfName(documentPath, NameUse::kRead));
}

ExtractResult TryExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  PictureRead read = ReadStoredPicture(documentPath);
  if (!read.picture) return read.failure;
  return WriteStoredPicture(*read.picture, outputPath, SiblingReplace::kRefused);
}

bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return TryExtractThumbnail(documentPath, outputPath).written();
}

ExtractResult TryExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                      const std::string& fileName) {
  PictureRead read = ReadStoredPicture(documentPath);
  if (!read.picture) return read.failure;
  const std::string suffix = read.picture->IsJpeg() ? "_T.jpg" : "_T.png";
  return WriteStoredPicture(*read.picture, JoinPath(folder, fileName) + suffix);
}

}  // namespace glimpses

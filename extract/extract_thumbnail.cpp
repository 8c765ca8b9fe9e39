#include "extract_thumbnail.h"

#include "adobe_thumbnail.h"
#include "corel_thumbnail.h"
#include "path.h"

namespace glimpses {

namespace {

// The Adobe try under `adobeOutput`, then the CorelDRAW try under
// `corelOutput`. A document of neither kind is refused by both.
ExtractResult ExtractEitherWay(const std::string& documentPath, const std::string& adobeOutput,
                               const std::string& corelOutput) {
  ExtractResult adobe = ExtractAdobeThumbnailResult(documentPath, adobeOutput);
  if (adobe.written() || IsAdobeDocumentName(documentPath)) return adobe;
  ExtractResult corel = ExtractCorelThumbnailResult(documentPath, corelOutput);
  if (corel.written() || HasCorelExtension(documentPath)) return corel;
  return ExtractResult::Failed(ExtractStatus::kUnsupported, "not an AI, EPS, InDesign, PDF or CorelDRAW document");
}

std::optional<std::string> WrittenPath(const ExtractResult& result) {
  if (!result.written()) return std::nullopt;
  return result.path;
}

}  // namespace

ExtractResult TryExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return ExtractEitherWay(documentPath, outputPath, outputPath);
}

ExtractResult TryExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                      const std::string& fileName) {
  const std::string base = JoinPath(folder, fileName);
  return ExtractEitherWay(documentPath, base + "_T.jpg", base + "_T.png");
}

std::optional<std::string> ExtractThumbnailFile(const std::string& documentPath, const std::string& outputPath) {
  return WrittenPath(TryExtractThumbnail(documentPath, outputPath));
}

std::optional<std::string> ExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                                const std::string& fileName) {
  return WrittenPath(TryExtractThumbnailInto(folder, documentPath, fileName));
}

bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return TryExtractThumbnail(documentPath, outputPath).written();
}

}  // namespace glimpses

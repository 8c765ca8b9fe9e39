#include "extract_thumbnail.h"

#include "adobe_thumbnail.h"
#include "corel_thumbnail.h"
#include "hex_preview.h"
#include "path.h"

namespace glimpses {

namespace {

// The Adobe try under `adobeOutput`, then the CorelDRAW try under `corelOutput`.
std::optional<std::string> ExtractEitherWay(const std::string& documentPath, const std::string& adobeOutput,
                                            const std::string& corelOutput) {
  switch (ExtractAdobeThumbnailRoute(documentPath, adobeOutput)) {
    case AdobeRoute::kXmp:
      return adobeOutput;
    case AdobeRoute::kHexPreview:
      return HexPreviewPath(adobeOutput);
    case AdobeRoute::kNone:
      break;
  }
  if (ExtractCorelThumbnail(documentPath, corelOutput)) return corelOutput;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ExtractThumbnailFile(const std::string& documentPath, const std::string& outputPath) {
  return ExtractEitherWay(documentPath, outputPath, outputPath);
}

std::optional<std::string> ExtractThumbnailInto(const std::string& folder, const std::string& documentPath,
                                                const std::string& fileName) {
  const std::string base = JoinPath(folder, fileName);
  return ExtractEitherWay(documentPath, base + "_T.jpg", base + "_T.png");
}

bool ExtractThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return ExtractThumbnailFile(documentPath, outputPath).has_value();
}

}  // namespace glimpses

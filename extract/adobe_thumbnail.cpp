#include "adobe_thumbnail.h"

namespace glimpses {

AdobeRoute ExtractAdobeThumbnailRoute(const std::string&, const std::string&) { return AdobeRoute::kNone; }

bool ExtractAdobeThumbnail(const std::string& documentPath, const std::string& outputPath) {
  return ExtractAdobeThumbnailRoute(documentPath, outputPath) != AdobeRoute::kNone;
}

}  // namespace glimpses

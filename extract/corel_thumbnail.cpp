#include "corel_thumbnail.h"

namespace glimpses {

bool ExtractCorelThumbnail(const std::string&, const std::string&) { return false; }

}  // namespace glimpses

// Case folding of UTF-8 text, so that names compare without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace glimpses {

// Unicode simple case folding (one character for one, as ICU's tables give
// it), with one addition: U+0130 'İ' folds to 'i'. Bytes that are not valid
// UTF-8 are copied.
std::string FoldCase(std::string_view utf8);

}  // namespace glimpses

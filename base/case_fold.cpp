#include "base/case_fold.h"

#include <unicode/uchar.h>

#include "base/utf8.h"

namespace glimpses {

namespace {

constexpr char32_t kCapitalIWithDot = 0x130;

char32_t FoldCodePoint(char32_t c) {
  // Simple folding keeps İ as it is, so "istanbul" would not find "İstanbul".
  if (c == kCapitalIWithDot) return U'i';
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte < 0x80) {
      out.push_back(byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : static_cast<char>(byte));
      ++i;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(utf8, i, &cp);
    if (len == 1) {
      out.push_back(static_cast<char>(byte));  // not UTF-8: keep the byte
    } else {
      const char32_t folded = FoldCodePoint(cp);
      if (folded == cp) {
        out.append(utf8.substr(i, len));
      } else {
        AppendUtf8(out, folded);
      }
    }
    i += len;
  }
  return out;
}

}  // namespace glimpses

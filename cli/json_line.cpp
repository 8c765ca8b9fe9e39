#include "cli/json_line.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "base/utf8.h"
#include "extract/bytes.h"

namespace glimpses {
namespace {

bool IsValidUtf8(std::string_view text) {
  char32_t codePoint = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = DecodeUtf8(text, at, &codePoint);
    if (codePoint == kReplacementCharacter && length == 1) return false;
    at += length;
  }
  return true;
}

// RFC 3339 in local time with its offset: "2024-05-17T14:03:00+02:00".
std::string LocalTimestamp(std::int64_t seconds) {
  const auto clock = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&clock, &local) == nullptr) return "null";
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;
  char zone[40];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return std::string("\"") + text + zone + "\"";
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  char32_t codePoint = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = DecodeUtf8(text, at, &codePoint);
    at += length;
    if (codePoint == '"' || codePoint == '\\') {
      out += '\\';
      out += static_cast<char>(codePoint);
    } else if (codePoint < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(codePoint));
      out += escaped;
    } else {
      AppendUtf8(out, codePoint);
    }
  }
  return out + "\"";
}

std::string JsonLine(const SearchResult& result, const std::string& version) {
  const std::string path = result.FullPath();
  std::string line = "{\"path\":" + JsonString(path) + ",\"name\":" + JsonString(result.fileName) +
                     ",\"folder\":" + JsonString(result.folder);
  if (!IsValidUtf8(path)) line += ",\"path_bytes\":\"" + EncodeBase64(path) + "\"";
  line += ",\"size\":" + (result.size >= 0 ? std::to_string(result.size) : std::string("null"));
  line += ",\"modified\":" + (result.modified != 0 ? LocalTimestamp(result.modified) : std::string("null"));
  line += ",\"version\":" + (version.empty() ? std::string("null") : JsonString(version));
  return line + "}";
}

}  // namespace glimpses

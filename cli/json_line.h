// One search result as a line of JSON, for `glimpses-cli search --json`.
// Names are bytes and JSON strings are Unicode: a path that is not valid
// UTF-8 has each malformed byte replaced by U+FFFD in "path", "name" and
// "folder", and its exact bytes in "path_bytes" (base64), which appears only
// then.
#pragma once

#include <string>
#include <string_view>

#include "search/search_service.h"

namespace glimpses {

// `text` as a JSON string, quotes included; each malformed UTF-8 byte
// becomes U+FFFD.
std::string JsonString(std::string_view text);

// {"path":..,"name":..,"folder":..,"size":N,"modified":"2024-05-17T14:03:00+02:00",
// "version":"Illustrator CC 2017"} without a line break; "size" is null for
// a folder or an unknown size, "modified" null for an unknown time, which is
// given in local time with its offset (RFC 3339), "version" (the program
// that made the document) null when empty.
std::string JsonLine(const SearchResult& result, const std::string& version);

}  // namespace glimpses

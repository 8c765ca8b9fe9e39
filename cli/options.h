// Command-line options shared by the subcommands that query the search
// service (search, export): --root, --backend, --cache-dir, --plocate-db
// and --hidden.
#pragma once

#include <string>
#include <vector>

#include "search_service.h"

namespace glimpses {

enum class OptionParse { kTaken, kNotMine, kBad };

// Looks at argv[i]. When it is --root DIR, --backend index|plocate|auto,
// --cache-dir DIR, --plocate-db DB (or the --name=VALUE form of these) or
// --hidden, applies it to `options`,
// leaves `i` on the option's last argument and returns kTaken. kNotMine when
// argv[i] is another argument; kBad, with a one-line `error`, when the value
// is missing or not allowed.
OptionParse ParseSearchOption(int argc, char** argv, int& i, SearchOptions& options, std::string& error);

// The value of option `name` at argv[i] ("--out DIR" or "--out=DIR"),
// advancing `i` past a separate value. False when argv[i] is not that
// option; `missing` is set when it is but its value is absent.
bool TakeOptionValue(int argc, char** argv, int& i, const char* name, std::string& value, bool& missing);

// The keywords as one query text, joined by single spaces.
std::string JoinKeywords(const std::vector<std::string>& keywords);

}  // namespace glimpses

// The command-line options that say what the search service searches
// (--root, --backend, --plocate-db, --hidden, --cache-dir, --exclude, --catalogue), declared once so
// that the window and glimpses-cli accept the same ones, and the help lines
// both programs print for their options.
#pragma once

#include <span>
#include <string>

#include "search/search_service.h"

namespace glimpses {

// One long option as --help lists it.
struct OptionInfo {
  const char* name;       // without the leading "--"
  char shortName;         // 0 when it has none
  const char* valueName;  // nullptr for an option without a value
  const char* help;       // one line
};

// The search options, in the order --help lists them.
std::span<const OptionInfo> SearchOptionTable();

// Applies search option `name` (from the table) with `value` (ignored for an
// option without one) to `options`. False, with a one-line `error`, for an
// empty folder or database, an unknown backend or an unknown name.
bool ApplySearchOption(const std::string& name, const std::string& value, SearchOptions& options, std::string& error);

// One line per option: "  -0, --null        help" or "      --root DIR    help",
// the help texts in one column.
std::string FormatOptionHelp(std::span<const OptionInfo> options);

}  // namespace glimpses

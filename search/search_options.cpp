#include "search/search_options.h"

#include <algorithm>

namespace glimpses {
namespace {

constexpr OptionInfo kSearchOptions[] = {
    {"root", 0, "DIR", "search under DIR (repeatable; default: the home folder)"},
    {"backend", 0, "NAME", "index (default: a saved index of the roots) or plocate"},
    {"plocate-db", 0, "DB", "plocate's database to read (default: plocate's own)"},
    {"hidden", 0, nullptr, "include hidden files and folders"},
    {"cache-dir", 0, "DIR", "keep the saved index in DIR (default: $XDG_CACHE_HOME/glimpses)"},
    {"exclude", 0, "DIR_OR_PATTERN",
     "leave out a folder, or every folder whose path matches a pattern with * or ? (repeatable)"},
    {"catalogue", 0, "FILE",
     "answer font:, pages: and the other metadata terms from FILE, built by glimpses-cli catalogue (read only)"},
};

std::string OptionColumn(const OptionInfo& option) {
  std::string text = option.shortName != 0 ? std::string("  -") + option.shortName + ", --" : "      --";
  text += option.name;
  if (option.valueName != nullptr) text += std::string(" ") + option.valueName;
  return text;
}

}  // namespace

std::span<const OptionInfo> SearchOptionTable() { return kSearchOptions; }

bool ApplySearchOption(const std::string& name, const std::string& value, SearchOptions& options, std::string& error) {
  const bool needsValue =
      name == "root" || name == "plocate-db" || name == "cache-dir" || name == "exclude" || name == "catalogue";
  if (needsValue && value.empty()) {
    error = "option --" + name + " needs a value";
    return false;
  }
  if (name == "root") {
    options.roots.push_back(value);
  } else if (name == "plocate-db") {
    options.plocateDb = value;
  } else if (name == "exclude") {
    options.excludes.push_back(value);
  } else if (name == "catalogue") {
    options.catalogueFile = value;
  } else if (name == "cache-dir") {
    options.cacheDir = value;
  } else if (name == "hidden") {
    options.includeHidden = true;
  } else if (name == "backend" && value == "index") {
    options.backend = Backend::kIndex;
  } else if (name == "backend" && value == "plocate") {
    options.backend = Backend::kPlocate;
  } else if (name == "backend") {
    error = "unknown backend '" + value + "' (index or plocate)";
    return false;
  } else {
    error = "unknown option --" + name;
    return false;
  }
  return true;
}

std::string FormatOptionHelp(std::span<const OptionInfo> options) {
  std::size_t width = 0;
  for (const OptionInfo& option : options) width = std::max(width, OptionColumn(option).size());
  std::string text;
  for (const OptionInfo& option : options) {
    std::string column = OptionColumn(option);
    column.resize(width + 2, ' ');
    text += column + option.help + "\n";
  }
  return text;
}

}  // namespace glimpses

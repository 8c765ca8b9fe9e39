#include "options.h"

#include <cstring>

namespace glimpses {

bool TakeOptionValue(int argc, char** argv, int& i, const char* name, std::string& value, bool& missing) {
  missing = false;
  const char* arg = argv[i];
  const std::size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0) return false;
  if (arg[length] == '=') {
    value = arg + length + 1;
    return true;
  }
  if (arg[length] != '\0') return false;
  if (i + 1 >= argc) {
    missing = true;
    return true;
  }
  value = argv[++i];
  return true;
}

OptionParse ParseSearchOption(int argc, char** argv, int& i, SearchOptions& options, std::string& error) {
  std::string value;
  bool missing = false;
  auto missingValue = [&](const char* name) {
    error = std::string("option ") + name + " needs a value";
    return OptionParse::kBad;
  };
  if (TakeOptionValue(argc, argv, i, "--root", value, missing)) {
    if (missing || value.empty()) return missingValue("--root");
    options.roots.push_back(value);
    return OptionParse::kTaken;
  }
  if (TakeOptionValue(argc, argv, i, "--cache-dir", value, missing)) {
    if (missing || value.empty()) return missingValue("--cache-dir");
    options.cacheDir = value;
    return OptionParse::kTaken;
  }
  if (TakeOptionValue(argc, argv, i, "--backend", value, missing)) {
    if (missing) return missingValue("--backend");
    if (value == "auto") {
      options.backend = Backend::kAuto;
    } else if (value == "index") {
      options.backend = Backend::kIndex;
    } else if (value == "plocate") {
      options.backend = Backend::kPlocate;
    } else {
      error = "unknown backend '" + value + "' (index, plocate or auto)";
      return OptionParse::kBad;
    }
    return OptionParse::kTaken;
  }
  if (TakeOptionValue(argc, argv, i, "--plocate-db", value, missing)) {
    if (missing || value.empty()) return missingValue("--plocate-db");
    options.plocateDb = value;
    return OptionParse::kTaken;
  }
  if (std::strcmp(argv[i], "--hidden") == 0) {
    options.includeHidden = true;
    return OptionParse::kTaken;
  }
  return OptionParse::kNotMine;
}

std::string JoinKeywords(const std::vector<std::string>& keywords) {
  std::string text;
  for (const std::string& word : keywords) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

}  // namespace glimpses

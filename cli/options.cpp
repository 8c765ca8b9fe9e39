#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "metadata/document_metadata.h"

namespace glimpses {
namespace {

constexpr OptionInfo kHelpOption = {"help", 'h', nullptr, "show this help"};

// getopt_long returns this plus an option's place in the table for a long
// option: out of the range of the short options' characters.
constexpr int kLongBase = 256;

std::vector<OptionInfo> AllOptions(const Subcommand& command) {
  std::vector<OptionInfo> all(command.options.begin(), command.options.end());
  if (command.searches) all.insert(all.end(), SearchOptionTable().begin(), SearchOptionTable().end());
  all.push_back(kHelpOption);
  return all;
}

std::string ShortOptions(const std::vector<OptionInfo>& all) {
  std::string text = ":";  // a missing value gives ':', not '?'
  for (const OptionInfo& option : all) {
    if (option.shortName == 0) continue;
    text += option.shortName;
    if (option.valueName != nullptr) text += ':';
  }
  return text;
}

std::string ErrorFor(int result, char** argv) {
  const std::string lastArgument = argv[optind - 1];
  if (result == ':') return "option " + lastArgument + " needs a value";
  if (optopt >= kLongBase) return "option " + lastArgument.substr(0, lastArgument.find('=')) + " takes no value";
  if (optopt != 0) return std::string("unknown option -") + static_cast<char>(optopt);
  return "unknown option " + lastArgument;
}

}  // namespace

std::optional<std::string> ParsedArguments::Value(const std::string& name) const {
  std::optional<std::string> value;
  for (const auto& option : options) {
    if (option.first == name) value = option.second;
  }
  return value;
}

ParsedArguments ParseArguments(int argc, char** argv, const Subcommand& command) {
  const std::vector<OptionInfo> all = AllOptions(command);
  std::vector<option> longOptions;
  for (std::size_t i = 0; i < all.size(); ++i) {
    longOptions.push_back({all[i].name, all[i].valueName != nullptr ? required_argument : no_argument, nullptr,
                           kLongBase + static_cast<int>(i)});
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});
  const std::string shortOptions = ShortOptions(all);

  ParsedArguments parsed;
  optind = 0;  // restarts getopt's scan from scratch
  opterr = 0;
  int result;
  while ((result = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr)) != -1) {
    if (result == '?' || result == ':') {
      parsed.exitStatus = UsageError(command, ErrorFor(result, argv));
      return parsed;
    }
    std::size_t index = 0;
    if (result >= kLongBase) {
      index = static_cast<std::size_t>(result - kLongBase);
    } else {
      while (all[index].shortName != result) ++index;
    }
    const OptionInfo& option = all[index];
    const std::string value = optarg != nullptr ? optarg : "";
    std::string error;
    if (index + 1 == all.size()) {  // --help, always last
      std::fputs(FormatUsage(command).c_str(), stdout);
      parsed.exitStatus = 0;
      return parsed;
    }
    if (index < command.options.size()) {
      parsed.options.emplace_back(option.name, value);
    } else if (!ApplySearchOption(option.name, value, parsed.search, error)) {
      parsed.exitStatus = UsageError(command, error);
      return parsed;
    }
  }
  parsed.operands.assign(argv + optind, argv + argc);
  // Documents the catalogue lacks are read on the way (metadata terms).
  if (command.searches) parsed.search.metadataReader = ReadDocumentMetadata;
  return parsed;
}

int UsageError(const Subcommand& command, const std::string& message) {
  std::fprintf(stderr, "glimpses-cli %s: %s\nTry 'glimpses-cli %s --help'.\n", command.name, message.c_str(),
               command.name);
  return 2;
}

std::string FormatSynopsis(const Subcommand& command, bool continued) {
  std::string text;
  std::string_view forms = command.synopsis;
  while (!forms.empty()) {
    const std::size_t end = std::min(forms.find('\n'), forms.size());
    text += continued ? "  or:  " : "Usage: ";
    text += std::string("glimpses-cli ") + command.name + " " + std::string(forms.substr(0, end)) + "\n";
    forms.remove_prefix(std::min(end + 1, forms.size()));
    continued = true;
  }
  return text;
}

std::string FormatOptions(const Subcommand& command) { return FormatOptionHelp(AllOptions(command)); }

std::string FormatUsage(const Subcommand& command) { return FormatSynopsis(command, false) + FormatOptions(command); }

std::string JoinKeywords(const std::vector<std::string>& keywords) {
  std::string text;
  for (const std::string& word : keywords) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

}  // namespace glimpses

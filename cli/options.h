// How glimpses-cli's subcommands read their arguments: getopt_long over the
// subcommand's own options and, for the subcommands that search, the shared
// search options. Options may follow the operands, "--name=value" and
// "--name value" both work, and "--" ends the options.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "search/search_options.h"
#include "search/search_service.h"

namespace glimpses {

struct Subcommand {
  const char* name;                     // "search"
  const char* synopsis;                 // what follows "glimpses-cli NAME " in its usage; one line a form
  std::span<const OptionInfo> options;  // its own options; -h/--help is added
  bool searches;                        // takes the search options too
};

struct ParsedArguments {
  // Set when the subcommand must not run: 0 after printing its help for
  // -h/--help, 2 after a usage error.
  std::optional<int> exitStatus;
  // Its own options as (name, value), in command-line order; the value is
  // empty for an option that takes none.
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  SearchOptions search;  // from the search options, when it takes them

  // The value of the last `name` option given; nullopt when none was.
  std::optional<std::string> Value(const std::string& name) const;
  bool Has(const std::string& name) const { return Value(name).has_value(); }
};

// Parses argv[1..argc) (argv[0] is the subcommand's name; getopt_long
// reorders argv). An unknown option, a missing value or a value that the
// search options refuse is a usage error.
ParsedArguments ParseArguments(int argc, char** argv, const Subcommand& command);

// Prints "glimpses-cli NAME: message" and where to find help on stderr;
// returns 2.
int UsageError(const Subcommand& command, const std::string& message);

// "Usage: glimpses-cli NAME ..." and "  or:  glimpses-cli NAME ..." for its
// other forms; all "or:" lines when `continued` (after another's usage).
std::string FormatSynopsis(const Subcommand& command, bool continued);

// One line per option, -h/--help included.
std::string FormatOptions(const Subcommand& command);

// Its --help: the synopsis, then the options.
std::string FormatUsage(const Subcommand& command);

// The keywords as one query text, joined by single spaces.
std::string JoinKeywords(const std::vector<std::string>& keywords);

}  // namespace glimpses

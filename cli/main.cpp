// glimpses-cli: the window's work for scripts and headless machines, one
// subcommand per task.
#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

struct Command {
  const glimpses::Subcommand& info;
  int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {glimpses::kExtractCommand, glimpses::RunExtractCommand},
    {glimpses::kSearchCommand, glimpses::RunSearchCommand},
    {glimpses::kExportCommand, glimpses::RunExportCommand},
    {glimpses::kInfoCommand, glimpses::RunInfoCommand},
    {glimpses::kCatalogueCommand, glimpses::RunCatalogueCommand},
};

constexpr char kTryHelp[] = "Try 'glimpses-cli --help'.\n";

std::string Usage() {
  std::string text;
  for (const Command& command : kCommands) text += glimpses::FormatSynopsis(command.info, !text.empty());
  text +=
      "  or:  glimpses-cli --help | --version\n"
      "Writes the thumbnails stored in AI, EPS, INDD, PDF and CDR documents, finds the documents by keyword\n"
      "and tells what each document says about itself.\n";
  for (const Command& command : kCommands) {
    text += std::string("\nOptions of ") + command.info.name + ":\n" + glimpses::FormatOptions(command.info);
  }
  return text +
         "\nOptions of glimpses-cli itself:\n"
         "  -h, --help     show this help\n"
         "  -V, --version  show the version\n";
}

}  // namespace

int main(int argc, char** argv) {
  // '+': the options end at the command's name; what follows is the command's.
  const option longOptions[] = {
      {"help", no_argument, nullptr, 'h'}, {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0}};
  opterr = 0;
  switch (getopt_long(argc, argv, "+hV", longOptions, nullptr)) {
    case 'h':
      std::fputs(Usage().c_str(), stdout);
      return 0;
    case 'V':
      std::puts("glimpses-cli " GLIMPSES_VERSION);
      return 0;
    case -1:
      break;
    default:
      std::fprintf(stderr, "glimpses-cli: unknown option %s\n%s", argv[optind - 1], kTryHelp);
      return 2;
  }
  if (optind >= argc) {
    std::fprintf(stderr, "glimpses-cli: no command given\n%s", kTryHelp);
    return 2;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[optind], command.info.name) == 0) return command.run(argc - optind, argv + optind);
  }
  std::fprintf(stderr, "glimpses-cli: unknown command '%s'\n%s", argv[optind], kTryHelp);
  return 2;
}

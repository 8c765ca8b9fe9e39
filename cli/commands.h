// The subcommands of glimpses-cli. Each takes its arguments with argv[0] its
// own name and returns the process exit status: 0 success, 1 nothing found,
// 2 bad usage or an I/O error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"

namespace glimpses {

// Their names, usage lines and options, for their --help and glimpses-cli's.
extern const Subcommand kExtractCommand;
extern const Subcommand kSearchCommand;
extern const Subcommand kExportCommand;
extern const Subcommand kInfoCommand;
extern const Subcommand kCatalogueCommand;

int RunExtractCommand(int argc, char** argv);
int RunSearchCommand(int argc, char** argv);
int RunExportCommand(int argc, char** argv);
int RunInfoCommand(int argc, char** argv);
int RunCatalogueCommand(int argc, char** argv);

// Says on stderr why `document` cannot be read (missing, a folder); true
// when it can be tried.
bool CheckDocument(const std::string& document);

// Reads into the service's catalogue the documents it lacks: `paths`, or
// every document under the roots; a progress bar on a terminal. What was
// read in `*read`; false, with the reason, when the catalogue cannot be
// had or written.
bool ReadIntoCatalogue(SearchService& service, const std::optional<std::vector<std::string>>& paths, FillProgress* read,
                       std::string* error);

// True when the query text holds metadata terms (font:, pages: ...).
bool UsesMetadata(const std::string& text);

}  // namespace glimpses

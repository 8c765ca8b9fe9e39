// glimpses-cli catalogue: a catalogue of what the documents under the roots
// hold, built where they live (a file server, say, as updatedb builds
// plocate's database) and read elsewhere with --catalogue.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress_bar.h"

namespace glimpses {
namespace {

constexpr OptionInfo kOptions[] = {
    {"out", 0, "FILE", "the catalogue to make or bring up to date"},
};

}  // namespace

const Subcommand kCatalogueCommand = {"catalogue", "[OPTION]... --out FILE", kOptions, true};

bool ReadIntoCatalogue(SearchService& service, const std::optional<std::vector<std::string>>& paths, FillProgress* read,
                       std::string* error) {
  ProgressBar bar;
  const bool terminal = isatty(STDERR_FILENO) != 0;
  FillProgress last;
  const bool ok = service.FillCatalogue(
      paths,
      [&](FillProgress progress) {
        last = progress;
        if (terminal && progress.total > 0)
          bar.Show(static_cast<long long>(progress.done), static_cast<long long>(progress.total));
      },
      error);
  bar.Finish();
  if (read != nullptr) *read = last;
  return ok;
}

int RunCatalogueCommand(int argc, char** argv) {
  ParsedArguments parsed = ParseArguments(argc, argv, kCatalogueCommand);
  if (parsed.exitStatus) return *parsed.exitStatus;
  const std::string out = parsed.Value("out").value_or("");
  if (out.empty()) return UsageError(kCatalogueCommand, "no catalogue file given (--out FILE)");
  if (!parsed.search.catalogueFile.empty())
    return UsageError(kCatalogueCommand, "--catalogue reads a catalogue; --out names the one to build");
  if (!parsed.operands.empty())
    return UsageError(kCatalogueCommand, "unexpected argument '" + parsed.operands[0] + "'");
  if (parsed.search.backend != Backend::kIndex)
    return UsageError(kCatalogueCommand, "a catalogue is built from the index backend");
  parsed.search.catalogueFile = out;
  parsed.search.buildCatalogue = true;
  std::unique_ptr<SearchService> service = EnsureSearchServiceRunning(parsed.search);
  FillProgress read;
  std::string error;
  if (!ReadIntoCatalogue(*service, std::nullopt, &read, &error)) {
    std::fprintf(stderr, "glimpses-cli catalogue: %s\n", error.c_str());
    return 2;
  }
  std::printf("%zu documents read into %s\n", read.done, out.c_str());
  return 0;
}

}  // namespace glimpses

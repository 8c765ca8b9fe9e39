#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

constexpr char kUsage[] =
    "usage: glimpses-cli COMMAND [ARGS]\n"
    "  extract [-v] DOCUMENT OUTPUT           write a document's stored thumbnail\n"
    "  extract [-v] --out-dir DIR DOCUMENT... write each as NAME_T.jpg or NAME_T.png\n"
    "  search [--root DIR]... [--backend index|plocate|auto] [--all] [-0] KEYWORDS...\n"
    "  export [--root DIR]... [--backend B] [--jobs N] --out DIR KEYWORDS...\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "extract") == 0) return glimpses::RunExtractCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "search") == 0) return glimpses::RunSearchCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "export") == 0) return glimpses::RunExportCommand(argc - 2, argv + 2);
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fprintf(stderr, "glimpses-cli: unknown command '%s'\n", command);
  std::fputs(kUsage, stderr);
  return 2;
}

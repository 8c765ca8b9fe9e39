// The subcommands of glimpses-cli. Each takes the arguments after its own
// name and returns the process exit status: 0 success, 1 nothing found,
// 2 bad usage or an I/O error.
#pragma once

namespace glimpses {

int RunExtractCommand(int argc, char** argv);
int RunSearchCommand(int argc, char** argv);
int RunExportCommand(int argc, char** argv);

}  // namespace glimpses

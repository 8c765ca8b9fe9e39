// Where the window finds its own files and keeps its settings: beside the
// executable in the build folder, in the data folder of the installed tree,
// or in the per-user folders of user_folders.h.
#pragma once

#include <string>
#include <vector>

#include "base/user_folders.h"

namespace glimpses {

// The folder holding the running executable (from /proc/self/exe), without a
// trailing '/'; empty when it cannot be found.
std::string ExecutableDir();

// The data folder of a program installed with its executable in
// `executableDir` (share/glimpses beside that bin folder, whatever the
// prefix); empty when there is none, as in the build folder.
std::string InstalledDataDir(const std::string& executableDir);

// The first of `folders` that holds a file `name` (an empty folder entry
// means the current folder); empty when none does.
std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders);

// The places the window's pictures are looked for, in order: the current
// folder, the executable's folder, the installed data folder (when there is
// one).
std::vector<std::string> DataFolders(const std::string& executableDir);

// Where the settings live. A Glimpses.ini already beside the executable is
// used there (portable use). Otherwise an installed program (one with an
// installed data folder) keeps them in `configDir`, even when its bin folder
// is writable (root, or a prefix in the home folder); one run from the build
// folder keeps them beside the executable when that folder is writable.
// Loading and saving both use this one answer, so what is saved is what the
// next start reads.
std::string ChooseSettingsPath(const std::string& executableDir, const std::string& configDir);

}  // namespace glimpses

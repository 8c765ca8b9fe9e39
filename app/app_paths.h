// Where the window finds its own files: the executable's folder and the
// installed data folder. Its per-user folders come from user_folders.h.
#pragma once

#include <string>
#include <vector>

#include "user_folders.h"

namespace glimpses {

// The folder holding the running executable (from /proc/self/exe), without a
// trailing '/'; empty when it cannot be found.
std::string ExecutableDir();

// The first of `folders` that holds a file `name` (an empty folder entry
// means the current folder); empty when none does.
std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders);

// The places the window's pictures are looked for, in order: the current
// folder, the executable's folder, the installed data folder.
std::vector<std::string> DataFolders();

}  // namespace glimpses

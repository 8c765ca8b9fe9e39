// Where the window finds its own files and keeps its per-user ones: the
// executable's folder, the installed data folder, the per-user cache and
// config folders of the XDG layout.
#pragma once

#include <string>
#include <vector>

namespace glimpses {

// $HOME, or the password database's home when HOME is unset; "/" when
// neither is known.
std::string HomeDir();

// The folder holding the running executable (from /proc/self/exe), without a
// trailing '/'; empty when it cannot be found.
std::string ExecutableDir();

// $XDG_CONFIG_HOME/glimpses, or $HOME/.config/glimpses when it is unset or
// not absolute.
std::string ConfigDir();

// $XDG_CACHE_HOME/glimpses, or $HOME/.cache/glimpses when it is unset or not
// absolute.
std::string CacheDir();

// The first of `folders` that holds a file `name` (an empty folder entry
// means the current folder); empty when none does.
std::string FindDataFile(const std::string& name, const std::vector<std::string>& folders);

// The places the window's pictures are looked for, in order: the current
// folder, the executable's folder, the installed data folder.
std::vector<std::string> DataFolders();

}  // namespace glimpses

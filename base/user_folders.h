// The per-user folders of the XDG layout that the search cache, the window's
// settings and its preview pictures live in.
#pragma once

#include <string>

namespace glimpses {

// $HOME, or the password database's home when HOME is unset; "/" when
// neither is known.
std::string HomeDir();

// $XDG_CONFIG_HOME/glimpses, or $HOME/.config/glimpses when it is unset or
// not absolute.
std::string ConfigDir();

// $XDG_CACHE_HOME/glimpses, or $HOME/.cache/glimpses when it is unset or not
// absolute.
std::string CacheDir();

}  // namespace glimpses

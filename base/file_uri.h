// The file:// URI that GLib and GIO give a local file, byte for byte: the
// desktop's thumbnail cache is keyed by it, so one escaped byte more or less
// and the file manager's thumbnails are never found, nor ours by it.
#pragma once

#include <string>

namespace glimpses {

// "file://" and the path with every byte percent-encoded (upper-case hex)
// but ASCII letters, digits and !$&'()*+,-./:=@_~ (g_filename_to_uri's
// set). A relative path is taken from the current folder, and "." and ".."
// segments, doubled and trailing '/' are resolved without looking at the
// disk, as GIO does for a GFile; a canonical absolute path is kept as is.
// Names that are not UTF-8 keep their bytes. Empty when the current folder
// is needed and unknown.
std::string FileUri(const std::string& path);

}  // namespace glimpses

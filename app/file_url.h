// The file URL handed to the desktop when the window opens a document or a
// folder, and the same URLs in what the window copies or drags out, built
// from the path's raw bytes: a name that is not UTF-8 (or holds '#', '?',
// '%') reaches the other program unchanged, where a QString of the path
// would have replaced or cut it.
#pragma once

#include <QMimeData>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

namespace glimpses {

// FileUri(path): the URI GLib gives the file, so that what the window opens,
// copies and drags names the file as the desktop does. An empty URL for a
// path that is not absolute.
QUrl FileUrl(const std::string& path);

// Files as the file manager copies and drags them: `text/uri-list` (one
// URL a line, CRLF) and `x-special/gnome-copied-files` ("copy", then one URL
// a line). Paths that are not absolute are left out.
std::unique_ptr<QMimeData> FilesMimeData(const std::vector<std::string>& paths);

// The full paths as text, one a line.
std::unique_ptr<QMimeData> PathsMimeData(const std::vector<std::string>& paths);

}  // namespace glimpses

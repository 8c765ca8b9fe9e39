// The file URL handed to the desktop when the window opens a document or a
// folder, built from the path's raw bytes: a name that is not UTF-8 (or
// holds '#', '?', '%') reaches the opener unchanged, where a QString of the
// path would have replaced or cut it.
#pragma once

#include <QUrl>
#include <string>

namespace glimpses {

// "file://" followed by `path` with every byte but the unreserved ones and
// '/' percent-encoded. An empty URL for a path that is not absolute.
QUrl FileUrl(const std::string& path);

}  // namespace glimpses

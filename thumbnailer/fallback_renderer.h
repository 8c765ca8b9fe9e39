// Handing a document without a stored picture to another installed
// thumbnailer (evince-thumbnailer), so that claiming a type never loses a
// thumbnail the desktop used to make. The renderer runs without a shell,
// bounded by a timeout, and its picture reaches the output whole or not at all.
#pragma once

#include <optional>
#include <string>

namespace glimpses {

struct FallbackRenderer {
  std::string program;  // absolute path
  int timeoutMs = 10000;
};

// True for the document kinds (see DocumentKindOf) evince-thumbnailer draws
// itself: Illustrator (PDF or PostScript inside), EPS and PDF.
bool RendererHandles(const std::string& kind);

// evince-thumbnailer from the folders of $PATH (or /usr/bin:/bin when PATH
// is unset), when one is there and executable.
std::optional<FallbackRenderer> FindInstalledRenderer();

enum class RenderStatus { kWritten, kFailed, kTimedOut, kNotStarted };

// Runs `program -s size document output-temporary` with its own process
// group, standard streams on /dev/null and the resource limits this process
// lowered for itself raised back to their ceilings. Past the timeout the
// whole group is killed. kWritten only when the renderer exited 0 and left
// a decodable PNG, which then replaces `outputPath`; otherwise `outputPath`
// is untouched and no temporary stays behind.
RenderStatus RenderWith(const FallbackRenderer& renderer, const std::string& documentPath, int size,
                        const std::string& outputPath);

}  // namespace glimpses

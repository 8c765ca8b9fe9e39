// Handing a document without a stored picture to another installed
// thumbnailer (evince-thumbnailer), so that claiming a type never loses a
// thumbnail the desktop used to make. The renderer runs without a shell,
// bounded by a timeout, and its picture is checked before anyone sees it.
#pragma once

#include <optional>
#include <string>

#include "file_util.h"

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

struct Rendered {
  RenderStatus status = RenderStatus::kNotStarted;
  Bytes png;  // with kWritten
};

// Runs `program -s size document temporary` with its own process group,
// standard streams on /dev/null and the resource limits this process lowered
// for itself raised back to their ceilings; the temporary is made beside
// `outputPath` and removed again. Past the timeout the whole group is
// killed. kWritten only when the renderer exited 0 and wrote a PNG that
// decodes.
Rendered RenderWith(const FallbackRenderer& renderer, const std::string& documentPath, int size,
                    const std::string& outputPath);

}  // namespace glimpses

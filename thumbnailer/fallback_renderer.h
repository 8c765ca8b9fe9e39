// Handing a document without a stored picture to another installed
// thumbnailer (evince-thumbnailer), so that claiming a type never loses a
// thumbnail the desktop used to make. The renderer runs without a shell,
// under its own limits, with everything it starts ended when it is done,
// and its picture is checked and shrunk like any other before anyone sees it.
#pragma once

#include <optional>
#include <string>

#include "extract/image.h"

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
  CImage picture;  // with kWritten: at most `size` on its longer edge
};

// Runs `program -s size document /proc/self/fd/3`, its descriptor 3 an
// anonymous memory file, so that no file is named and nothing outlives the
// run however it ends. Standard streams are on /dev/null; the renderer's
// address space is capped at 1 GiB, its CPU time at the timeout, the files
// it writes at 64 MiB. When the renderer exits, or at the timeout, every
// process it started is killed, `setsid` or not. kWritten only when the
// renderer exited 0 and wrote a PNG that decodes; that picture is shrunk
// to fit `size`.
Rendered RenderWith(const FallbackRenderer& renderer, const std::string& documentPath, int size);

}  // namespace glimpses

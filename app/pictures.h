// Pictures as the window shows them: a stored picture's pixels in a QImage
// of their own, and a picture fitted into the box that shows it.
#pragma once

#include <QImage>
#include <QSize>

#include "extract/image.h"

namespace glimpses {

// Small thumbnails are enlarged to fill their box, but not beyond this
// factor, where they would only show their pixels.
inline constexpr double kMaxPreviewEnlargement = 2.0;

// `image` scaled to fit `box` with its aspect ratio kept: shrunk when
// larger, enlarged up to kMaxPreviewEnlargement when smaller. A null image
// stays null.
QImage FitPicture(const QImage& image, QSize box);

// The pixels in a QImage of its own: alpha pictures are 32-bit B, G, R, A
// (ARGB32 on a little-endian machine), the rest 24-bit B, G, R. Null for a
// null picture.
QImage ToQImage(const CImage& picture);

}  // namespace glimpses

#include "app/pictures.h"

#include <algorithm>
#include <cmath>

namespace glimpses {

QImage FitPicture(const QImage& image, QSize box) {
  if (image.isNull() || box.isEmpty()) return image;
  double factor = std::min({static_cast<double>(box.width()) / image.width(),
                            static_cast<double>(box.height()) / image.height(), kMaxPreviewEnlargement});
  QSize size(std::clamp(static_cast<int>(std::lround(image.width() * factor)), 1, box.width()),
             std::clamp(static_cast<int>(std::lround(image.height() * factor)), 1, box.height()));
  if (size == image.size()) return image;
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage ToQImage(const CImage& picture) {
  if (picture.IsNull()) return QImage();
  if (picture.HasAlpha()) {
    return QImage(picture.Row(0), picture.Width(), picture.Height(), picture.Pitch(), QImage::Format_ARGB32).copy();
  }
  const CImage bgr = picture.BitsPerPixel() == 24 ? picture : ToBgr24(picture);
  if (bgr.IsNull()) return QImage();
  return QImage(bgr.Row(0), bgr.Width(), bgr.Height(), bgr.Pitch(), QImage::Format_BGR888).copy();
}

}  // namespace glimpses

// The KIO thumbnail plugin that lets Dolphin (and everything else that uses
// KIO::PreviewJob) show the pictures stored in Illustrator, InDesign and
// CorelDRAW documents, read by the same code as glimpses-thumbnailer.
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <QFile>
#include <QImage>
#include <algorithm>

#include "thumbnailer/thumbnailer.h"

namespace {

// The picture's rows in a QImage of its own: alpha pictures are 32-bit
// B, G, R, A (ARGB32 on a little-endian machine), the rest 24-bit B, G, R.
QImage ToQImage(const glimpses::CImage& picture) {
  if (picture.HasAlpha()) {
    return QImage(picture.Row(0), picture.Width(), picture.Height(), picture.Pitch(), QImage::Format_ARGB32).copy();
  }
  const glimpses::CImage bgr = picture.BitsPerPixel() == 24 ? picture : glimpses::ToBgr24(picture);
  if (bgr.IsNull()) return QImage();
  return QImage(bgr.Row(0), bgr.Width(), bgr.Height(), bgr.Pitch(), QImage::Format_BGR888).copy();
}

class GlimpsesThumbCreator : public KIO::ThumbnailCreator {
  Q_OBJECT

 public:
  GlimpsesThumbCreator(QObject* parent, const QVariantList& args) : KIO::ThumbnailCreator(parent, args) {}

  KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override {
    if (!request.url().isLocalFile()) return KIO::ThumbnailResult::fail();
    // The picture must fit the box asked for; it is never enlarged.
    const QSize box = request.targetSize();
    const int size = std::clamp(std::min(box.width(), box.height()), 1, glimpses::kMaxThumbnailSize);
    // In this process: every reader works within fixed budgets (see
    // LoadStoredThumbnail), and nothing is written anywhere.
    const glimpses::StoredThumbnail stored =
        glimpses::LoadStoredThumbnail(QFile::encodeName(request.url().toLocalFile()).toStdString(), size);
    if (stored.status != glimpses::ThumbnailStatus::kWritten) return KIO::ThumbnailResult::fail();
    QImage image = ToQImage(stored.image);
    return image.isNull() ? KIO::ThumbnailResult::fail() : KIO::ThumbnailResult::pass(image);
  }
};

}  // namespace

K_PLUGIN_CLASS_WITH_JSON(GlimpsesThumbCreator, "glimpsesthumbnail.json")

#include "glimpses_thumb_creator.moc"

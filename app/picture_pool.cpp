#include "app/picture_pool.h"

#include <QThread>
#include <utility>

#include "app/pictures.h"
#include "thumbcache/desktop_thumbnails.h"

namespace glimpses {

namespace {

// About 250 cells of 256 px, a few screens' worth; a hundred thousand
// results never hold more.
constexpr qsizetype kCacheBytes = 64 * 1024 * 1024;
// What a document without a picture costs: its entry, not its pixels.
constexpr qsizetype kEntryBytes = 256;

// A document changed since its picture was made is another key, so a stale
// picture is never shown for it.
QByteArray KeyOf(const SearchResult& document) {
  QByteArray key = QByteArray::fromStdString(document.FullPath());
  key.append('\0').append(QByteArray::number(document.modified)).append('/').append(QByteArray::number(document.size));
  return key;
}

// Runs on a worker: the picture fitted into its cell, in the format the
// window paints without converting.
CellPicture MakeCellPicture(const CellPictureLoader& loader, const std::string& path, int edge) {
  QImage image = FitPicture(loader(path, edge), QSize(edge, edge));
  if (!image.isNull()) {
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  }
  return {std::move(image), edge};
}

}  // namespace

QImage DesktopCellPicture(const std::string& documentPath, int edge) {
  return ToQImage(LoadThumbnail(documentPath, FolderForEdge(edge), {}).picture);
}

PicturePool::PicturePool(CellPictureLoader loader, QObject* parent)
    : QObject(parent), loader_(loader ? std::move(loader) : DesktopCellPicture), cache_(kCacheBytes) {
  workers_.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

PicturePool::~PicturePool() {
  workers_.clear();
  workers_.waitForDone();
}

void PicturePool::Want(const std::vector<Request>& requests, int edge) {
  for (const Request& request : requests) {
    QByteArray key = KeyOf(request.document);
    const CellPicture* made = cache_.object(key);
    if ((made != nullptr && made->edge == edge) || making_.contains(key)) continue;
    making_.insert(key);
    workers_.start([this, key, row = request.row, path = request.document.FullPath(), edge, loader = loader_] {
      CellPicture picture = MakeCellPicture(loader, path, edge);
      QMetaObject::invokeMethod(
          this, [this, key, row, picture = std::move(picture)] { Arrived(key, row, picture); }, Qt::QueuedConnection);
    });
  }
}

const CellPicture* PicturePool::Find(const SearchResult& document) const { return cache_.object(KeyOf(document)); }

void PicturePool::Arrived(const QByteArray& key, int row, CellPicture picture) {
  making_.remove(key);
  const qsizetype cost = picture.image.sizeInBytes() + kEntryBytes;
  cache_.insert(key, new CellPicture(std::move(picture)), cost);
  emit pictureReady(row);
}

}  // namespace glimpses

#include "app/picture_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
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
// Reading is most of the work, so a slow disk or network folder gains from
// a worker or two more than the cores, but not from many.
constexpr int kMaxWorkers = 4;

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
  workers_.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 2, kMaxWorkers));
}

PicturePool::~PicturePool() {
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
  }
  workers_.waitForDone();
}

void PicturePool::Want(const std::vector<Request>& requests, int edge) {
  std::vector<Job> jobs;
  for (const Request& request : requests) {
    QByteArray key = KeyOf(request.document);
    // A document without a picture has none at any size.
    const CellPicture* made = cache_.object(key);
    if (made == nullptr || (made->edge != edge && !made->image.isNull())) {
      jobs.push_back({answer_, request.row, std::move(key), request.document.FullPath(), edge});
    }
  }
  std::lock_guard lock(mutex_);
  waiting_.clear();
  for (Job& job : jobs) {
    if (!making_.contains(job.key)) waiting_.push_back(std::move(job));
  }
  while (working_ < workers_.maxThreadCount() && static_cast<std::size_t>(working_) < waiting_.size()) {
    ++working_;
    workers_.start([this] { Work(); });
  }
}

void PicturePool::NewAnswer() {
  ++answer_;
  std::lock_guard lock(mutex_);
  waiting_.clear();
}

const CellPicture* PicturePool::Find(const SearchResult& document) const { return cache_.object(KeyOf(document)); }

int PicturePool::Pending() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(waiting_.size()) + static_cast<int>(making_.size());
}

// A worker takes the most wanted job until none is left. Its thread yields
// to the window's (nice 5, or the process's own when that is more): a
// picture may come a little later, a scroll must not.
void PicturePool::Work() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
  for (;;) {
    Job job;
    {
      std::lock_guard lock(mutex_);
      if (waiting_.empty()) {
        --working_;
        return;
      }
      job = std::move(waiting_.front());
      waiting_.pop_front();
      making_.insert(job.key);
    }
    CellPicture picture = MakeCellPicture(loader_, job.path, job.edge);
    ++made_;
    QMetaObject::invokeMethod(
        this, [this, job = std::move(job), picture = std::move(picture)] { Arrived(job, picture); },
        Qt::QueuedConnection);
  }
}

void PicturePool::Arrived(const Job& job, CellPicture picture) {
  {
    std::lock_guard lock(mutex_);
    making_.remove(job.key);
  }
  // Kept even for an older answer: it is the same document's picture.
  const qsizetype cost = picture.image.sizeInBytes() + kEntryBytes;
  cache_.insert(job.key, new CellPicture(std::move(picture)), cost);
  if (job.answer == answer_) emit pictureReady(job.row);
}

}  // namespace glimpses

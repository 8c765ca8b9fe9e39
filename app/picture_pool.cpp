#include "app/picture_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
#include <utility>

#include "app/pictures.h"

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
// A picture may come a little later, a scroll must not: workers run below
// the window thread, and cache writes, which nobody waits for, below them.
constexpr int kWorkerNice = 5;
constexpr int kWriterNice = 10;

// A document changed since its picture was made is another key, so a stale
// picture is never shown for it.
QByteArray KeyOf(const SearchResult& document) {
  QByteArray key = QByteArray::fromStdString(document.FullPath());
  key.append('\0').append(QByteArray::number(document.modified)).append('/').append(QByteArray::number(document.size));
  return key;
}

// Runs on a worker: the picture fitted into its cell, in the format the
// window paints without converting.
CellPicture FitCellPicture(const QImage& picture, int edge) {
  QImage image = FitPicture(picture, QSize(edge, edge));
  if (!image.isNull()) {
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  }
  return {std::move(image), edge};
}

std::size_t BytesOf(const CImage& picture) {
  return static_cast<std::size_t>(picture.Pitch()) * static_cast<std::size_t>(picture.Height());
}

// Lowers the calling thread to `nice`; one already lower (a process started
// under nice, say) stays so, as it may not rise again.
void LowerThreadPriority(int nice) { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice); }

DesktopPictures WithStore(DesktopPictures desktop) {
  if (!desktop.store) desktop.store = StoreThumbnail;
  return desktop;
}

}  // namespace

PicturePool::PicturePool(CellPictureLoader loader, QObject* parent) : PicturePool(std::move(loader), {}, parent) {}

PicturePool::PicturePool(DesktopPictures desktop, QObject* parent) : PicturePool({}, std::move(desktop), parent) {}

PicturePool::PicturePool(CellPictureLoader loader, DesktopPictures desktop, QObject* parent)
    : QObject(parent), loader_(std::move(loader)), desktop_(WithStore(std::move(desktop))), cache_(kCacheBytes) {
  const int threads = std::clamp(QThread::idealThreadCount(), 2, kMaxWorkers);
  workers_.setMaxThreadCount(threads);
  writers_.setMaxThreadCount(threads);
}

PicturePool::~PicturePool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
    writes_.clear();
  }
  // A write under way ends whole: its file appears by a rename, or not at all.
  workers_.waitForDone();
  writers_.waitForDone();
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

int PicturePool::PendingWrites() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(writes_.size()) + storing_;
}

// The loader's picture; or the desktop cache's, else the document's, whose
// cache file is then still to be written.
PicturePool::Read PicturePool::ReadCell(const std::string& path, int edge) const {
  if (loader_) return {loader_(path, edge), std::nullopt};
  const ThumbnailFolder folder = FolderForEdge(edge);
  if (auto found = FindCachedThumbnail(path, folder, desktop_.cache)) return {ToQImage(found->picture), std::nullopt};
  CachedThumbnail made = ReadThumbnail(path, folder);
  QImage image = ToQImage(made.picture);
  // A document that could not be stat'ed is never written.
  if (made.document.uri.empty()) return {std::move(image), std::nullopt};
  return {std::move(image), Write{path, folder, std::move(made)}};
}

// A worker takes the most wanted job until none is left, then leaves the
// cores to the cache writes. Whenever jobs wait a worker is at work, so the
// last one out always sees the writes started.
void PicturePool::Work() {
  LowerThreadPriority(kWorkerNice);
  for (;;) {
    Job job;
    {
      std::lock_guard lock(mutex_);
      if (waiting_.empty()) {
        --working_;
        StartWriters();
        return;
      }
      job = std::move(waiting_.front());
      waiting_.pop_front();
      making_.insert(job.key);
    }
    Read read = ReadCell(job.path, job.edge);
    CellPicture picture = FitCellPicture(read.image, job.edge);
    ++made_;
    QMetaObject::invokeMethod(
        this, [this, job = std::move(job), picture = std::move(picture)] { Arrived(job, picture); },
        Qt::QueuedConnection);
    if (read.write) Queue(std::move(*read.write));
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

// Past the bound the picture is let go and only its document's stamp kept:
// memory stays bounded however many pictures are made before any is
// written, and none is forgotten.
void PicturePool::Queue(Write write) {
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  const std::size_t bytes = BytesOf(write.made.picture);
  if (writeBytes_ + bytes > desktop_.writeBehindBytes) {
    write.made.picture = CImage();
  } else {
    writeBytes_ += bytes;
  }
  writes_.push_back(std::move(write));
}

// Writers run only while no picture waits to be made: the cells the user
// looks at come first.
void PicturePool::StartWriters() {
  if (stopping_ || !waiting_.empty()) return;
  while (writing_ < writers_.maxThreadCount() && static_cast<std::size_t>(writing_) < writes_.size()) {
    ++writing_;
    writers_.start([this] { WriteBehind(); });
  }
}

void PicturePool::WriteBehind() {
  LowerThreadPriority(kWriterNice);
  for (;;) {
    Write write;
    {
      std::lock_guard lock(mutex_);
      if (stopping_ || !waiting_.empty() || writes_.empty()) {
        --writing_;
        return;
      }
      write = std::move(writes_.front());
      writes_.pop_front();
      writeBytes_ -= BytesOf(write.made.picture);
      ++storing_;
    }
    Store(write);
    std::lock_guard lock(mutex_);
    --storing_;
  }
}

// A picture let go past the bound is read again, unless its document has
// changed since it was shown (its new picture is another cell's business).
void PicturePool::Store(Write& write) const {
  if (write.made.source == ThumbnailSource::kDocument && write.made.picture.IsNull()) {
    CachedThumbnail again = ReadThumbnail(write.path, write.folder);
    if (again.document != write.made.document) return;
    write.made = std::move(again);
  }
  desktop_.store(write.path, write.made, write.folder, desktop_.cache);
}

}  // namespace glimpses

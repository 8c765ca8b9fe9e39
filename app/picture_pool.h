// The grid's cell pictures, made off the window thread: a document's
// thumbnail (through the desktop's thumbnail cache) fitted into its cell,
// kept in a memory cache bounded in bytes. A few workers take the pictures
// most wanted first (the cells on screen, then the next screenful); a new
// wish replaces the old one, so cells scrolled far away are never made, and
// a new answer drops the old one's work at once. A picture read from its
// document is shown first and written to the desktop's cache later, when no
// picture is waiting to be made.
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "search/search_service.h"
#include "thumbcache/desktop_thumbnails.h"

namespace glimpses {

// A document's picture at `edge` pixels (its longer side at most that), or
// null when it has none. Runs on a worker thread.
using CellPictureLoader = std::function<QImage(const std::string& documentPath, int edge)>;

// How the pool uses the desktop's thumbnail cache.
struct DesktopPictures {
  ThumbnailCacheOptions cache;  // root empty: the user's cache
  // The pictures shown and not yet written to the cache are held up to this
  // many bytes; past it, only their documents are noted, read again when
  // their turn to be written comes.
  std::size_t writeBehindBytes = 48 << 20;
  // Writes one picture (or failure record) into the cache; empty:
  // StoreThumbnail. Runs on a writer thread.
  std::function<bool(const std::string& documentPath, const CachedThumbnail& made, ThumbnailFolder folder,
                     const ThumbnailCacheOptions& options)>
      store;
};

// What the pool knows of one document.
struct CellPicture {
  QImage image;  // fitted into edge x edge; null: the document has no picture
  int edge = 0;  // the cell edge it was made for
};

class PicturePool : public QObject {
  Q_OBJECT

 public:
  // Pictures from `loader`, which writes no cache; empty: the desktop's
  // thumbnail cache, with DesktopPictures' defaults.
  explicit PicturePool(CellPictureLoader loader = {}, QObject* parent = nullptr);
  explicit PicturePool(DesktopPictures desktop, QObject* parent = nullptr);
  // Waits for the pictures being made and the cache files being written;
  // the rest are dropped (the cache is only a cache).
  ~PicturePool() override;

  struct Request {
    int row = 0;  // told back with the picture
    SearchResult document;
  };
  // The pictures wanted now at `edge`, most wanted first, in place of every
  // earlier wish not yet started. Those made at that edge already, or being
  // made, are not made again.
  void Want(const std::vector<Request>& requests, int edge);
  // The rows have a new answer: the old one's wishes are dropped, and its
  // pictures still being made are kept but not told as rows. The cache
  // files of pictures already made are still written.
  void NewAnswer();

  // The picture made for `document`, at whatever edge; null when none yet.
  const CellPicture* Find(const SearchResult& document) const;

  // Pictures wished for and not yet arrived (waiting or being made).
  int Pending() const;
  // Cache files still to be written (waiting or being written).
  int PendingWrites() const;
  // Pictures made since the start, arrived or not.
  std::uint64_t Made() const { return made_; }

 signals:
  // The picture of the row asked for has arrived (Find has it).
  void pictureReady(int row);

 private:
  struct Job {
    std::uint64_t answer = 0;
    int row = 0;
    QByteArray key;
    std::string path;
    int edge = 0;
  };
  // A cache file to write: `made` holds the picture, or only its document's
  // stamp when it was read past the byte bound.
  struct Write {
    std::string path;
    ThumbnailFolder folder = ThumbnailFolder::kNormal;
    CachedThumbnail made;
  };
  struct Read {
    QImage image;
    std::optional<Write> write;
  };
  PicturePool(CellPictureLoader loader, DesktopPictures desktop, QObject* parent);
  Read ReadCell(const std::string& path, int edge) const;
  void Work();
  void Arrived(const Job& job, CellPicture picture);
  void Queue(Write write);
  void StartWriters();  // under the lock
  void WriteBehind();
  void Store(Write& write) const;

  const CellPictureLoader loader_;  // empty: desktop_
  const DesktopPictures desktop_;
  QThreadPool workers_;
  QThreadPool writers_;
  QCache<QByteArray, CellPicture> cache_;  // the window thread's alone
  std::uint64_t answer_ = 0;               // counts NewAnswer; the window thread's

  // Shared with the workers and the writers.
  mutable std::mutex mutex_;
  std::deque<Job> waiting_;  // most wanted first
  QSet<QByteArray> making_;  // taken by a worker, not yet arrived
  int working_ = 0;          // workers started and not yet out of jobs
  std::deque<Write> writes_;
  std::size_t writeBytes_ = 0;  // of the pictures in writes_
  int writing_ = 0;             // writers started and not yet out of writes
  int storing_ = 0;             // writes taken and not yet done
  bool stopping_ = false;
  std::atomic<std::uint64_t> made_ = 0;
};

}  // namespace glimpses

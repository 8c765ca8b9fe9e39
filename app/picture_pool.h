// The grid's cell pictures, made off the window thread: a document's
// thumbnail (through the desktop's thumbnail cache) fitted into its cell,
// kept in a memory cache bounded in bytes. A few workers take the pictures
// most wanted first (the cells on screen, then the next screenful); a new
// wish replaces the old one, so cells scrolled far away are never made, and
// a new answer drops the old one's work at once.
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "search/search_service.h"

namespace glimpses {

// A document's picture at `edge` pixels (its longer side at most that), or
// null when it has none. Runs on a worker thread.
using CellPictureLoader = std::function<QImage(const std::string& documentPath, int edge)>;

// LoadThumbnail's picture from the size folder `edge` needs.
QImage DesktopCellPicture(const std::string& documentPath, int edge);

// What the pool knows of one document.
struct CellPicture {
  QImage image;  // fitted into edge x edge; null: the document has no picture
  int edge = 0;  // the cell edge it was made for
};

class PicturePool : public QObject {
  Q_OBJECT

 public:
  // `loader` empty: DesktopCellPicture.
  explicit PicturePool(CellPictureLoader loader = {}, QObject* parent = nullptr);
  // Waits for the pictures being made; those not started are dropped.
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
  // pictures still being made are kept but not told as rows.
  void NewAnswer();

  // The picture made for `document`, at whatever edge; null when none yet.
  const CellPicture* Find(const SearchResult& document) const;

  // Pictures wished for and not yet arrived (waiting or being made).
  int Pending() const;
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
  void Work();
  void Arrived(const Job& job, CellPicture picture);

  const CellPictureLoader loader_;
  QThreadPool workers_;
  QCache<QByteArray, CellPicture> cache_;  // the window thread's alone
  std::uint64_t answer_ = 0;               // counts NewAnswer; the window thread's

  // Shared with the workers.
  mutable std::mutex mutex_;
  std::deque<Job> waiting_;  // most wanted first
  QSet<QByteArray> making_;  // taken by a worker, not yet arrived
  int working_ = 0;          // workers started and not yet out of jobs
  std::atomic<std::uint64_t> made_ = 0;
};

}  // namespace glimpses

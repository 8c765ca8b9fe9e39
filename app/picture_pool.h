// The grid's cell pictures, made off the window thread: a document's
// thumbnail (through the desktop's thumbnail cache) fitted into its cell,
// kept in a memory cache bounded in bytes.
#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <functional>
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
  // Asks for the pictures of `requests` at `edge`; those made at that edge
  // already, or being made, are not asked again.
  void Want(const std::vector<Request>& requests, int edge);

  // The picture made for `document`, at whatever edge; null when none yet.
  const CellPicture* Find(const SearchResult& document) const;

  // Blocks until no picture is being made; their arrivals are then waiting
  // in the event queue.
  void WaitForWorkers() { workers_.waitForDone(); }

 signals:
  // The picture of the row asked for has arrived (Find has it).
  void pictureReady(int row);

 private:
  void Arrived(const QByteArray& key, int row, CellPicture picture);

  CellPictureLoader loader_;
  QThreadPool workers_;
  QCache<QByteArray, CellPicture> cache_;
  QSet<QByteArray> making_;
};

}  // namespace glimpses

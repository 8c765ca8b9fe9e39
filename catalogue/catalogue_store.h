// The catalogue: what each document under the search roots holds (the
// program that made it, fonts, pages, swatches, plates, placed files ...),
// read once and kept in SQLite, so that a query's metadata terms are
// answered without opening a document.
//
// One row per document, keyed by its path and trusted only while the file's
// size, modification time and inode still match the row's. The searched
// texts are stored once each, however many documents hold them (the same
// fonts, swatches and plates recur across thousands of documents), with a
// trigram full-text index over them, and linked to the documents that hold
// them: a text search runs over the distinct texts, not over every document.
// Numbers are plain columns. What a query needs per document (is it
// catalogued, its pages, whether it has a thumbnail) is also held in memory.
//
// The file names its schema version. A file that is damaged, truncated, of
// another version or no catalogue at all is never read: the user's own
// catalogue is made anew, one built elsewhere is refused. Each write is one
// transaction, so a full disk or a crash leaves the last good catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/document_metadata.h"

namespace glimpses {

// The fields a metadata term searches.
enum class MetadataField { kFont = 1, kCreator, kTitle, kAuthor, kSwatch, kPlate, kLink };

// What identifies a document's content on disk.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path` (links followed); nullopt for
// anything else, or when it is gone.
std::optional<FileStamp> StampOf(const std::string& path);

// A document as it was read: no metadata when it could not be read (it is
// catalogued as holding nothing until its stamp changes).
struct ReadDocument {
  std::string path;
  FileStamp stamp;
  std::optional<DocumentMetadata> metadata;
};

// What a query needs of a catalogued document.
struct CataloguedDocument {
  std::uint32_t id = 0;     // its number in the catalogue
  std::int64_t pages = -1;  // -1 when unknown
  bool hasThumbnail = false;
};

enum class CatalogueMode {
  kOwn,       // the user's own: read and written; made anew when unusable
  kBuild,     // one built for other machines: written, and after each write left whole in its one file
  kReadOnly,  // one built elsewhere: never written; what is read meanwhile is kept in memory
};

class CatalogueStore {
 public:
  // Opens (or, but for kReadOnly, makes) the catalogue at `path`. Null, with
  // the reason in `*error`, when it cannot be had: for kReadOnly a file that
  // is missing, damaged or no catalogue of this version; for kBuild a file
  // there that is no catalogue (it is left alone); for any, a file or folder
  // that cannot be read or written (a full disk: the file is left alone).
  static std::unique_ptr<CatalogueStore> Open(const std::string& path, CatalogueMode mode, std::string* error);
  ~CatalogueStore();
  CatalogueStore(const CatalogueStore&) = delete;
  CatalogueStore& operator=(const CatalogueStore&) = delete;

  // Stores `documents` (replacing their earlier rows) and forgets `removed`
  // (paths), in one transaction. False, with the reason, when it could not
  // be written (a full disk): the catalogue is then as it was.
  bool Apply(const std::vector<ReadDocument>& documents, const std::vector<std::string>& removed, std::string* error);

  // Reads every stored row anew, taking in what other processes wrote
  // meanwhile; the path and stamp of each.
  std::vector<std::pair<std::string, FileStamp>> Reload();

  // What is held in memory of every stored document, unchanged while the
  // view lives (writes wait for it): a query looks up each of thousands of
  // entries without taking a lock each time. Destroy it on the thread that
  // made it.
  class MemoryView {
   public:
    // The document stored for `path`; nullopt when there is none.
    std::optional<CataloguedDocument> Find(std::string_view path) const;

   private:
    friend class CatalogueStore;
    explicit MemoryView(const CatalogueStore& store);
    const CatalogueStore& store_;
    std::shared_lock<std::shared_mutex> lock_;
  };
  MemoryView View() const { return MemoryView(*this); }
  // Find through a view of its own.
  std::optional<CataloguedDocument> Find(std::string_view path) const { return View().Find(path); }

  // The ids of the documents holding a text of `field` that `foldedPattern`
  // (case-folded) matches: anywhere in the text, or the whole text when the
  // pattern holds '*' (any run) or '?' (one character). Empty when none
  // does or the catalogue cannot be read.
  std::vector<std::uint32_t> DocumentsWith(MetadataField field, std::string_view foldedPattern) const;

  // What the stored document says of the program that made it (kind,
  // application, version, creator tool, producer); nullopt when there is
  // no row or the document could not be read.
  std::optional<DocumentMetadata> MakerOf(const std::string& path) const;

 private:
  struct Impl;
  explicit CatalogueStore(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The user's own catalogue in the cache folder `cacheDir`.
std::string OwnCataloguePath(const std::string& cacheDir);

}  // namespace glimpses

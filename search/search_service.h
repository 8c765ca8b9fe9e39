// The search service: answers a query of the search language with every
// matching entry (file or folder) under the search roots, from the embedded
// name index or from plocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_filler.h"
#include "metadata/document_metadata.h"

namespace glimpses {

enum class Backend { kIndex, kPlocate };

struct SearchOptions {
  std::vector<std::string> roots;  // empty: $HOME
  Backend backend = Backend::kIndex;
  bool includeHidden = false;
  std::string cacheDir;   // empty: $XDG_CACHE_HOME/glimpses (or ~/.cache/glimpses)
  std::string plocateDb;  // empty: plocate's default database
  // Folders left out of every answer, neither crawled nor watched: a path
  // leaves that folder and everything below it out; a pattern holding '*'
  // or '?' is matched (wildcards as in the query language, case kept)
  // against the full path of every folder, e.g. "*/node_modules".
  std::vector<std::string> excludes;
  // The catalogue of what documents hold, for font:, pages: and the other
  // metadata terms. Empty: the user's own, in the cache folder. Otherwise one
  // built elsewhere (glimpses-cli catalogue), only read: what it lacks is
  // read into memory for this run.
  std::string catalogueFile;
  // `catalogueFile` is made or brought up to date instead, to hold the
  // documents under the roots and nothing else (glimpses-cli catalogue).
  bool buildCatalogue = false;
  // Reads what a document holds for the catalogue; empty: nothing is read,
  // and the documents the catalogue lacks stay pending.
  MetadataReader metadataReader;
};

struct SearchResult {
  std::string fileName;       // with extension, without folder (UTF-8)
  std::string folder;         // the folder that holds it, no trailing '/'
  std::int64_t size = -1;     // bytes; -1 for a folder, or when unknown (vanished, unreadable)
  std::int64_t modified = 0;  // seconds since the epoch, UTC; 0 when unknown
  std::string FullPath() const;
  bool operator==(const SearchResult&) const = default;
};

// The service's answer in its order (by name ignoring case, then by folder);
// nullopt is "no answer": the backend could not answer at all, or the text
// is not a query (QuerySyntaxError says why).
using SearchAnswer = std::optional<std::vector<SearchResult>>;

// What an answer is sorted by. Ties, and the default, go by name ignoring
// case, then by folder.
enum class SortKey { kName, kFolder, kSize, kModified };
struct SortOrder {
  SortKey key = SortKey::kName;
  bool reverse = false;  // the whole order reversed, ties included
  bool operator==(const SortOrder&) const = default;
};

// Why `text` is not a query, in one line of English ("size: needs a number
// with an optional unit b, kb, mb or gb"); empty when it is one.
std::string QuerySyntaxError(std::string_view text);

// Whether a read of rows may wait for the index: the window thread never
// does, since a catch-up can hold the index for seconds.
enum class RowsWait { kMayWait, kNever };

struct RowsRead {
  enum Status {
    kRead,
    kBusy,      // the index is being changed and the read could not wait
    kOutdated,  // the index renumbered its entries since the answer: ask again
  };
  Status status = kRead;
  std::vector<SearchResult> rows;  // when kRead
};

// An answer for a list that shows a few rows at a time: its matches are held
// as entries of the index and made into text a run of rows at a time, when
// the list shows them. The first run is made with the answer.
class AnswerRows {
 public:
  // Rows are read this many at a time, from a multiple of it.
  static constexpr std::size_t kRun = 64;

  virtual ~AnswerRows() = default;
  virtual std::size_t size() const = 0;
  // Rows [first, first + count), a range within size(). Every row has its
  // size and modification time.
  virtual RowsRead Read(std::size_t first, std::size_t count, RowsWait wait) const = 0;
  // Non-empty when the text was not a query: why, in one line of English
  // (as QuerySyntaxError gives it). Such an answer has no rows.
  virtual std::string error() const { return {}; }
  // Documents left out only because the catalogue does not hold them yet:
  // the metadata terms (font: ...) may match them once it does.
  virtual std::size_t pending() const { return 0; }
};

// Null is "no answer".
using RowsAnswer = std::shared_ptr<const AnswerRows>;

// Which names an answer keeps; an empty function keeps all.
using NameFilter = std::function<bool(std::string_view fileName)>;

// What the change notifications of a service kept current do not cover:
// roots on network file systems (changes made by other machines raise none)
// and folders left without a watch (the per-user limit reached). Those are
// checked by modification time before each answer instead.
struct WatchCoverage {
  std::size_t remoteRoots = 0;
  std::size_t unwatchedFolders = 0;
};

class SearchService {
 public:
  virtual ~SearchService() = default;
  // Safe to call from any thread. While the index is first being built the
  // call waits for it rather than failing. Every result has its size and
  // modification time, read as the answer is made.
  virtual SearchAnswer Query(std::string_view text) = 0;
  // Query's answer with only the names `keep` accepts, as rows in `order`.
  // A text that is not a query gives an answer with no rows and its error().
  // The default makes every row's text at once.
  virtual RowsAnswer QueryRows(std::string_view text, const NameFilter& keep, SortOrder order = {});
  // True while the first build of the index is still running.
  virtual bool IsIndexing() const = 0;
  // Entries read so far by the first build (for its progress).
  virtual std::size_t IndexedSoFar() const { return 0; }
  // The process will ask many times: keep the index current from change
  // notifications from now on rather than looking for changes before each
  // answer. Returns at once. One-shot users never call it.
  virtual void KeepCurrent() {}
  // What the notifications did not cover at the last answer; all zero for a
  // service not kept current, or when they cover everything.
  virtual WatchCoverage Coverage() const { return {}; }
  // The catalogue (metadata terms). The documents the user is looking at:
  // read before any other. Returns at once.
  virtual void ReadFirst(std::vector<std::string> paths) { (void)paths; }
  // How far the catalogue's filling in the background is; {0, 0} when it
  // has nothing to read.
  virtual FillProgress CatalogueProgress() const { return {}; }
  // Reads now the documents the catalogue lacks or holds out of date: those
  // in `paths`, or when nullopt every document under the roots (rows of
  // documents gone are dropped); calls `progress` now and then. False, with
  // the reason, when the catalogue cannot be had or written.
  virtual bool FillCatalogue(const std::optional<std::vector<std::string>>& paths,
                             const std::function<void(FillProgress)>& progress, std::string* error);
  // What the catalogue says of the program that made the document at
  // `path` (see CatalogueStore::MakerOf).
  virtual std::optional<DocumentMetadata> CataloguedMaker(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
  // The program is closing: a first build still running stops reading
  // folders, so a Query waiting for it returns soon (from what was read; the
  // rest is read by a later start) instead of holding up the exit.
  virtual void Shutdown() {}
};

// Starts the chosen backend: for the embedded index, loads the saved index
// (if any) and builds or refreshes it on a background thread. Never blocks on
// the build.
std::unique_ptr<SearchService> EnsureSearchServiceRunning(const SearchOptions& options);

}  // namespace glimpses

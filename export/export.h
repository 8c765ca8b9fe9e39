// The batch export: the stored thumbnail of every entry a query answers,
// written into one folder as NAME_T.jpg (XMP JPEG) or NAME_T.png (hex
// preview, CorelDRAW), by a pool of worker threads. The window and the
// command line both call it; it knows neither.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "search/search_service.h"

namespace glimpses {

struct ExportOptions {
  // Worker threads; 0 or less: one per hardware core.
  int jobs = 0;
  // Called with (documents done, documents in total): once with done = 0
  // before any work, then after each document. Calls come from the worker
  // threads but never overlap, and `done` only grows. May be empty.
  std::function<void(int done, int total)> progress;
  // When stop is requested, no new document is started; the pictures already
  // written stay, whole.
  std::stop_token stopToken;
};

enum class ExportError {
  kNone,
  kNoAnswer,              // the search service could not answer the query
  kNoOutputFolder,        // the output folder text is empty
  kOutputFolderUnusable,  // it cannot be created, or is not a writable folder
  kOutputFull             // the disk filled up: stopped, the counts say how far it got
};

// At most this many failures are kept with their reason.
inline constexpr std::size_t kMaxReportedFailures = 100;

struct ExportResult {
  bool answered = false;  // the query was answered (possibly with nothing)
  int entries = 0;        // entries the query answered
  int documents = 0;      // of those, files whose names the extractors accept
  int picturesWritten = 0;
  int withoutThumbnail = 0;  // documents done that hold no picture
  int failed = 0;            // documents unread or whose picture could not be written
  // "PATH: reason", one for each of the first kMaxReportedFailures failures.
  std::vector<std::string> failures;
  bool cancelled = false;  // stopped before every document was done
  ExportError errorKind = ExportError::kNone;
  std::string error;  // one English line naming the folder; empty on success

  bool ok() const { return errorKind == ExportError::kNone; }
  int DocumentsDone() const { return picturesWritten + withoutThumbnail + failed; }
};

// Runs `keywords` through `service` and offers every entry of the answer,
// file or folder, whatever its name, to the Adobe extractor as
// `outputFolder`/NAME_T.jpg and, when that writes nothing, to the CorelDRAW
// extractor as `outputFolder`/NAME_T.png. Only documents are counted: a
// document that vanishes or changes after the query, cannot be read, or whose
// picture cannot be written (a name of more than 255 bytes, a folder that
// turned unwritable) counts as failed and the export goes on; a full disk
// stops it with kOutputFull. Pictures are written whole or not at all. The folder (made absolute against
// the current directory, which is never changed) is created with its missing
// parents after the query has answered; when it cannot be created or written
// to, nothing is written anywhere. Entries sharing a file name are done in
// the answer's order by one worker, so the folder ends up holding exactly
// the files of a one-by-one export in that order.
ExportResult ExportThumbnails(SearchService& service, std::string_view keywords, const std::string& outputFolder,
                              const ExportOptions& options = {});

// The same for the given entries instead of a query's answer (the window's
// selection): the same names, counts, failures and folder handling; the
// entries count as answered.
ExportResult ExportEntries(const std::vector<SearchResult>& entries, const std::string& outputFolder,
                           const ExportOptions& options = {});

}  // namespace glimpses

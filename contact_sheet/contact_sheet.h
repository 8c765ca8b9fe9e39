// Contact sheets: the stored pictures of a set of documents in a grid on
// printable PDF pages, name and folder under each, for sending an overview
// to a client or a printer. The window and the command line both call it;
// it knows neither, and needs no display.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace glimpses {

enum class SheetPage { kA4, kLetter };

inline constexpr int kDefaultSheetColumns = 4;
inline constexpr int kMaxSheetColumns = 12;

struct ContactSheetHeader {
  std::string keywords;  // printed as given (UTF-8; malformed bytes shown as U+FFFD)
  std::string date;      // printed as given; empty: today in local time, "2024-05-17"
  std::string count;     // printed as given; empty: "12 documents"
};

struct ContactSheetOptions {
  SheetPage page = SheetPage::kA4;
  int columns = kDefaultSheetColumns;  // 1 to kMaxSheetColumns
  // Called with (documents drawn, documents in total) after each document,
  // on the calling thread. May be empty.
  std::function<void(int done, int total)> progress;
  // When stop is requested, the sheet is abandoned and nothing is written.
  std::stop_token stopToken;
};

enum class ContactSheetError {
  kNone,
  kNoEntries,    // no document to put on the sheet
  kBadColumns,   // columns outside 1 to kMaxSheetColumns
  kCannotWrite,  // the PDF could not be written; `reason` says why
  kOutputFull,   // the same, because the disk is full
  kCancelled,    // stopped on request
};

struct ContactSheetResult {
  ContactSheetError error = ContactSheetError::kNone;
  std::string reason;  // one English line naming the file; empty on success
  int documents = 0;
  int withPicture = 0;
  int withoutPicture = 0;  // drawn as their kind's badge: no picture, or none that could be read
  int pages = 0;

  bool ok() const { return error == ContactSheetError::kNone; }
};

// Writes the sheet of `documents` (paths, in the order given) to
// `outputPath`: whole, or not at all. Only `outputPath` is ever replaced,
// and only once the whole sheet is on the disk; every failure leaves it as
// it was. A document that is the output file itself (the previous sheet,
// matched by the same keywords) is left out.
ContactSheetResult WriteContactSheet(const std::vector<std::string>& documents, const ContactSheetHeader& header,
                                     const ContactSheetOptions& options, const std::string& outputPath);

}  // namespace glimpses

// The details panel's text: what the selected document says about itself
// (the program that made it, dates, pages, plates, swatches, fonts, placed
// files, ids), as a compact list for reading, and the search a placed
// file's name leads to.
#pragma once

#include <QString>
#include <string>

#include "metadata/document_metadata.h"

namespace glimpses {

// The selected document and what has been read of it.
struct DocumentDetails {
  enum class State { kNone, kReading, kRead, kUnreadable };
  State state = State::kNone;
  std::string path;           // empty while nothing is selected
  DocumentMetadata metadata;  // when kRead
};

// The link a placed file's name carries in DetailsHtml: "#link-N", N its
// index in the document's links.
inline constexpr char kPlacedFileAnchor[] = "link-";

// The panel's rich text for `details`: a placeholder while nothing is
// selected or read, a line when the document cannot be read, else every
// field it holds (absent ones left out), fonts and placed files one a line.
QString DetailsHtml(const DocumentDetails& details);

// The name a placed file is searched by: the stored path's last part after
// '/', '\' or ':' (a Windows path, a URL, an old Mac path), as the
// catalogue keeps it; empty when there is none.
QString PlacedFileName(const std::string& path);

// The keyword text that lists the documents placing a file named `name`:
// links:"NAME". Quoted so that blanks, '|' and '<' stay part of it; a quote,
// '*' or '?' cannot be said inside, so each becomes '?', which matches it
// and makes the term match the whole name.
QString PlacedFileQuery(const QString& name);

}  // namespace glimpses

// The window's contact sheet: the documents of rows of the result list on
// the pages of one PDF, with the paper and columns chosen for them, and the
// status line's account of how it went.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "contact_sheet/contact_sheet.h"
#include "search/search_service.h"

namespace glimpses {

// The columns for a sheet of `count` documents: a few get large pictures,
// many get kDefaultSheetColumns.
int SheetColumnsFor(std::size_t count);

// The paper the user's locale prints on: Letter where its paper is Letter,
// A4 everywhere else.
SheetPage LocaleSheetPage();

struct SheetOfRows {
  RowsAnswer answer;
  std::vector<int> rows;      // of `answer`; rows past its end are left out
  ContactSheetHeader header;  // its count is filled in from `countText`
  QString countText;          // "%1 个文档", %1 the documents on the sheet
  SheetPage page = SheetPage::kA4;
  std::string outputPath;
};

// Reads the rows (waiting for the index when it must: run it off the window
// thread), leaves out documents that are gone and the output file itself,
// and writes their sheet (see WriteContactSheet).
ContactSheetResult WriteSheetOfRows(const SheetOfRows& sheet, std::stop_token stop,
                                    std::function<void(int done, int total)> progress);

// The status line after a contact sheet: what it holds and where, or why
// none was written.
QString ContactSheetOutcomeText(const ContactSheetResult& result, const QString& path);

}  // namespace glimpses

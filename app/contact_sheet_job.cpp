#include "app/contact_sheet_job.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#if defined(__GLIBC__)
#include <langinfo.h>

#include <cstdint>
#endif

#include "app/result_list_model.h"
#include "app/window_language.h"
#include "base/file_util.h"

namespace glimpses {

int SheetColumnsFor(std::size_t count) {
  const auto square = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  return std::clamp(square, 1, kDefaultSheetColumns);
}

SheetPage LocaleSheetPage() {
#if defined(__GLIBC__)
  // LC_PAPER names the paper itself (a user may set it apart from the
  // language); Letter is 279 mm tall, A4 297.
  const auto height = static_cast<int>(reinterpret_cast<std::intptr_t>(nl_langinfo(_NL_PAPER_HEIGHT)));
  return height == 279 ? SheetPage::kLetter : SheetPage::kA4;
#else
  return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? SheetPage::kLetter : SheetPage::kA4;
#endif
}

ContactSheetResult WriteSheetOfRows(const SheetOfRows& sheet, std::stop_token stop,
                                    std::function<void(int done, int total)> progress) {
  const std::optional<std::vector<SearchResult>> entries = ReadRows(sheet.answer, sheet.rows);
  std::vector<std::string> documents;
  for (const SearchResult& entry : entries.value_or(std::vector<SearchResult>{})) {
    std::string path = entry.FullPath();
    // The sheet itself is left out here too, so that the header counts
    // what the sheet shows.
    std::error_code error;
    if (!FileExists(path) || std::filesystem::equivalent(path, sheet.outputPath, error)) continue;
    documents.push_back(std::move(path));
  }
  ContactSheetHeader header = sheet.header;
  header.count = sheet.countText.arg(documents.size()).toStdString();
  ContactSheetOptions options;
  options.page = sheet.page;
  options.columns = SheetColumnsFor(documents.size());
  options.progress = std::move(progress);
  options.stopToken = std::move(stop);
  return WriteContactSheet(documents, header, options, sheet.outputPath);
}

QString ContactSheetOutcomeText(const ContactSheetResult& result, const QString& path) {
  const QString reason = QString::fromStdString(result.reason);
  switch (result.error) {
    case ContactSheetError::kNone:
      break;
    case ContactSheetError::kNoEntries:
      return Tr("导出联系表失败: 没有可放入联系表的文档, 没有写入文件");
    case ContactSheetError::kCancelled:
      return Tr("导出联系表已取消, 没有写入文件");
    case ContactSheetError::kOutputFull:
      return Tr("导出联系表失败: 磁盘已满, 没有写入文件 (%1)").arg(reason);
    case ContactSheetError::kBadColumns:
    case ContactSheetError::kCannotWrite:
      return Tr("导出联系表失败, 没有写入文件: %1").arg(reason);
  }
  if (result.withoutPicture == 0) {
    return Tr("已导出联系表: %1 个文档, %2 页, 保存为 %3").arg(result.documents).arg(result.pages).arg(path);
  }
  return Tr("已导出联系表: %1 个文档, %2 页 (%3 个没有缩略图), 保存为 %4")
      .arg(result.documents)
      .arg(result.pages)
      .arg(result.withoutPicture)
      .arg(path);
}

}  // namespace glimpses

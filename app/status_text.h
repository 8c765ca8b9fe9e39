// The status line's sentence after a search: how many documents the list
// shows, how many the catalogue has still to read, and which folders change
// notifications do not cover; and the catalogue's progress.
#pragma once

#include <QString>

#include "search/search_service.h"

namespace glimpses {

// "匹配: <count> 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径"
// (in the window's language).
QString FormatStatusText(int count);

// What follows the count when change notifications do not cover every
// folder, so the user knows why answers there take longer: " (N 个网络目录、
// M 个未能监视的文件夹: 每次搜索前检查修改时间)", with only the parts that
// are not zero; empty when both are.
QString FormatCoverageNote(const WatchCoverage& coverage);

// What follows the count when metadata terms left documents the catalogue
// has not read yet: " (另有 N 个文档尚未读取信息)"; empty for none.
QString FormatPendingNote(std::size_t pending);

// The catalogue being filled: "正在读取文档信息 (N / M)…"; empty when it
// has nothing to read.
QString FormatCatalogueProgress(const FillProgress& progress);

}  // namespace glimpses

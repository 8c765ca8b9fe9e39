// The keyword search's document filter: which entries the result list shows,
// and the status text that counts them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search_service.h"

namespace glimpses {

// True when `fileName` is a document the list shows (KindOfName with
// NameUse::kListed): at least one character, a dot, and exactly one of ai AI
// indd INDD Indd eps EPS Eps pdf PDF cdr CDR Cdr at its end, with no line
// break ('\n', '\r') anywhere in it.
bool IsListedDocument(std::string_view fileName);

// The entries of `answer` that IsListedDocument accepts, in their order.
std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer);

// "匹配: <count> 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径"
std::string FormatStatusText(int count);

// What follows the count when change notifications do not cover every
// folder, so the user knows why answers there take longer: " (N 个网络目录、
// M 个未能监视的文件夹: 每次搜索前检查修改时间)", with only the parts that
// are not zero; empty when both are.
std::string FormatCoverageNote(const WatchCoverage& coverage);

}  // namespace glimpses

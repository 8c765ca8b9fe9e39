#include "document_filter.h"

#include <array>
#include <cstdio>

namespace glimpses {
namespace {

// The endings the result list accepts, each with its dot; the letter cases
// are exactly these, no others.
constexpr std::array<std::string_view, 13> kDocumentEndings = {
    ".ai", ".AI", ".indd", ".INDD", ".Indd", ".eps", ".EPS", ".Eps", ".pdf", ".PDF", ".cdr", ".CDR", ".Cdr"};

}  // namespace

bool IsListedDocument(std::string_view fileName) {
  // The pattern this stands for reads the name with '.', which matches no
  // line break, so a name holding one was never listed.
  if (fileName.find_first_of("\n\r") != std::string_view::npos) return false;
  for (std::string_view ending : kDocumentEndings) {
    // At least one character must come before the dot.
    if (fileName.size() > ending.size() && fileName.ends_with(ending)) return true;
  }
  return false;
}

std::vector<SearchResult> FilterDocuments(const std::vector<SearchResult>& answer) {
  std::vector<SearchResult> documents;
  for (const SearchResult& result : answer)
    if (IsListedDocument(result.fileName)) documents.push_back(result);
  return documents;
}

std::string FormatStatusText(int count) {
  char text[160];
  std::snprintf(text, sizeof text,
                "匹配: %d 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件\xEF\xBC\x8C右键: 打开路径", count);
  return text;
}

std::string FormatCoverageNote(const WatchCoverage& coverage) {
  std::string parts;
  if (coverage.remoteRoots > 0) parts = std::to_string(coverage.remoteRoots) + " 个网络目录";
  if (coverage.unwatchedFolders > 0) {
    if (!parts.empty()) parts += "、";
    parts += std::to_string(coverage.unwatchedFolders) + " 个未能监视的文件夹";
  }
  return parts.empty() ? parts : " (" + parts + ": 每次搜索前检查修改时间)";
}

}  // namespace glimpses

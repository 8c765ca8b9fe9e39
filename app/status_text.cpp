#include "status_text.h"

#include <cstdio>

namespace glimpses {

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

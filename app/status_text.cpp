#include "app/status_text.h"

#include "app/window_language.h"

namespace glimpses {

QString FormatStatusText(int count) {
  return Tr("匹配: %1 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径").arg(count);
}

QString FormatCoverageNote(const WatchCoverage& coverage) {
  QStringList parts;
  if (coverage.remoteRoots > 0) parts << Tr("%1 个网络目录").arg(coverage.remoteRoots);
  if (coverage.unwatchedFolders > 0) parts << Tr("%1 个未能监视的文件夹").arg(coverage.unwatchedFolders);
  return parts.empty() ? QString() : Tr(" (%1: 每次搜索前检查修改时间)").arg(parts.join(Tr("、")));
}

QString FormatPendingNote(std::size_t pending) {
  return pending == 0 ? QString() : Tr(" (另有 %1 个文档尚未读取信息)").arg(pending);
}

QString FormatCatalogueProgress(const FillProgress& progress) {
  if (progress.total == 0) return {};
  return Tr("正在读取文档信息 (%1 / %2)…").arg(progress.done).arg(progress.total);
}

}  // namespace glimpses

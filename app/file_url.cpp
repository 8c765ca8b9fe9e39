#include "file_url.h"

#include <QByteArray>

namespace glimpses {

QUrl FileUrl(const std::string& path) {
  if (path.empty() || path[0] != '/') return {};
  const QByteArray raw(path.data(), static_cast<qsizetype>(path.size()));
  return QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"), QUrl::StrictMode);
}

}  // namespace glimpses

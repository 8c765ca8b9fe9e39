#include "app/file_url.h"

#include <QByteArray>

#include "base/file_uri.h"

namespace glimpses {

QUrl FileUrl(const std::string& path) {
  if (path.empty() || path[0] != '/') return {};
  return QUrl::fromEncoded(QByteArray::fromStdString(FileUri(path)), QUrl::StrictMode);
}

std::unique_ptr<QMimeData> FilesMimeData(const std::vector<std::string>& paths) {
  QByteArray uriList;
  QByteArray copied("copy");
  for (const std::string& path : paths) {
    const QUrl url = FileUrl(path);
    if (url.isEmpty()) continue;
    uriList += url.toEncoded() + "\r\n";
    copied += "\n" + url.toEncoded();
  }
  auto data = std::make_unique<QMimeData>();
  data->setData(QStringLiteral("text/uri-list"), uriList);
  data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
  return data;
}

std::unique_ptr<QMimeData> PathsMimeData(const std::vector<std::string>& paths) {
  QString text;
  for (const std::string& path : paths) text += QString::fromStdString(path) + u'\n';
  auto data = std::make_unique<QMimeData>();
  data->setText(text);
  return data;
}

}  // namespace glimpses

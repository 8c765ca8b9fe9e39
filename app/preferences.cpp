#include "app/preferences.h"

#include <QSettings>
#include <QStringDecoder>
#include <array>
#include <utility>

namespace glimpses {

namespace {

constexpr std::array<std::pair<SortKey, const char*>, 4> kSortNames{{
    {SortKey::kName, "name"},
    {SortKey::kFolder, "folder"},
    {SortKey::kSize, "size"},
    {SortKey::kModified, "modified"},
}};

QSettings Open(const std::string& path) { return QSettings(QString::fromStdString(path), QSettings::IniFormat); }

// Readable text when the bytes are UTF-8; the bytes themselves otherwise,
// so that such a folder is left out by its real name.
QVariant PathValue(const std::string& path) {
  QByteArray bytes = QByteArray::fromStdString(path);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) return bytes;
  return text;
}

std::string PathOf(const QVariant& value) {
  return value.typeId() == QMetaType::QByteArray ? value.toByteArray().toStdString() : value.toString().toStdString();
}

}  // namespace

std::string PreferencesPathBeside(const std::string& settingsPath) {
  const std::size_t slash = settingsPath.rfind('/');
  return (slash == std::string::npos ? std::string() : settingsPath.substr(0, slash + 1)) + kPreferencesFileName;
}

Preferences LoadPreferences(const std::string& path) {
  QSettings file = Open(path);
  Preferences preferences;
  const QString sortName = file.value("list/sort").toString();
  for (const auto& [key, name] : kSortNames) {
    if (sortName == QLatin1String(name)) preferences.sort.key = key;
  }
  preferences.sort.reverse = file.value("list/reverse", false).toBool();
  for (const QVariant& value : file.value("search/excludes").toList()) {
    if (std::string exclude = PathOf(value); !exclude.empty()) preferences.excludes.push_back(std::move(exclude));
  }
  for (const QString& text : file.value("keywords/recent").toStringList()) {
    if (preferences.recentKeywords.size() < kRecentKeywordsKept) preferences.recentKeywords << text;
  }
  WindowArrangement& window = preferences.window;
  window.size = file.value("window/size").toSize();
  window.maximized = file.value("window/maximized", false).toBool();
  const double share = file.value("window/listShare", window.listShare).toDouble();
  if (share >= 0 && share <= 1) window.listShare = share;  // NaN too stays the default
  window.grid = file.value("window/view").toString() == QLatin1String("grid");
  window.cellEdge = file.value("window/cellSize", window.cellEdge).toInt();
  return preferences;
}

bool SavePreferences(const std::string& path, const Preferences& preferences) {
  QSettings file = Open(path);
  for (const auto& [key, name] : kSortNames) {
    if (key == preferences.sort.key) file.setValue("list/sort", QLatin1String(name));
  }
  file.setValue("list/reverse", preferences.sort.reverse);
  QVariantList excludes;
  for (const std::string& exclude : preferences.excludes) excludes << PathValue(exclude);
  file.setValue("search/excludes", excludes);
  file.setValue("keywords/recent", preferences.recentKeywords);
  const WindowArrangement& window = preferences.window;
  if (window.size.isValid()) file.setValue("window/size", window.size);
  file.setValue("window/maximized", window.maximized);
  file.setValue("window/listShare", window.listShare);
  file.setValue("window/view", QLatin1String(window.grid ? "grid" : "list"));
  file.setValue("window/cellSize", window.cellEdge);
  file.sync();
  return file.status() == QSettings::NoError;
}

QStringList WithRecentKeyword(QStringList recent, const QString& text) {
  if (text.trimmed().isEmpty()) return recent;
  recent.removeAll(text);
  recent.prepend(text);
  while (recent.size() > kRecentKeywordsKept) recent.removeLast();
  return recent;
}

}  // namespace glimpses

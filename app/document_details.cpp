#include "app/document_details.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QUrl>
#include <cmath>
#include <utility>
#include <vector>

#include "app/window_language.h"

namespace glimpses {

namespace {

constexpr char kQuiet[] = "#777777";

QString Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

QString Quiet(const QString& html) { return QStringLiteral("<span style=\"color:%1\">%2</span>").arg(kQuiet, html); }

// A stored ISO 8601 date in the locale's short form; as stored when it is
// not one.
QString ShownDate(const std::string& stored) {
  const QDateTime date = QDateTime::fromString(QString::fromStdString(stored), Qt::ISODate);
  if (!date.isValid()) return Escaped(stored);
  return QLocale().toString(date.toLocalTime(), QLocale::ShortFormat).toHtmlEscaped();
}

QString Number(double value) { return QLocale().toString(value, 'f', value == std::round(value) ? 0 : 1); }

// "595 × 842 pt (210 × 297 mm)": as stored, and in millimetres when the
// unit is another one that converts.
QString ShownPageSize(const PageSize& size) {
  static const std::vector<std::pair<const char*, std::pair<const char*, double>>> kUnits = {
      {"Points", {"pt", 25.4 / 72}}, {"Picas", {"pc", 25.4 / 6}}, {"Inches", {"in", 25.4}},
      {"Millimeters", {"mm", 1}},    {"Centimeters", {"cm", 10}}, {"Pixels", {"px", 0}},
  };
  QString unit = Escaped(size.unit);
  double toMillimetres = 0;
  for (const auto& [stored, shown] : kUnits) {
    if (size.unit == stored) {
      unit = QLatin1String(shown.first);
      toMillimetres = shown.second;
    }
  }
  QString text = QStringLiteral("%1 × %2 %3").arg(Number(size.width), Number(size.height), unit);
  if (toMillimetres > 0 && toMillimetres != 1) {
    text += Quiet(
        QStringLiteral(" (%1 × %2 mm)").arg(Number(size.width * toMillimetres), Number(size.height * toMillimetres)));
  }
  return text;
}

QString Joined(const std::vector<std::string>& texts) {
  QStringList escaped;
  for (const std::string& text : texts) escaped << Escaped(text);
  return escaped.join(QStringLiteral(", "));
}

QString FontLine(const DocumentFont& font) {
  QString line = Escaped(font.family.empty() ? font.name : font.family);
  if (!font.family.empty() && !font.face.empty()) line += QLatin1Char(' ') + Escaped(font.face);
  if (!font.type.empty()) line += Quiet(QStringLiteral(" · ") + Escaped(font.type));
  return line;
}

// The name as a link, then where it was (a file URL as its path); a file
// placed without a path by its document id alone.
QString PlacedFileLine(const PlacedFile& link, std::size_t index) {
  const QString name = PlacedFileName(link.path);
  if (name.isEmpty()) return Quiet(Escaped(link.path.empty() ? link.documentId : link.path));
  QString where = QString::fromStdString(link.path).chopped(name.size());
  if (where.startsWith(QLatin1String("file://"))) where = QUrl::fromPercentEncoding(where.mid(7).toUtf8());
  return QStringLiteral("<a href=\"#%1%2\">%3</a> %4")
      .arg(QLatin1String(kPlacedFileAnchor))
      .arg(index)
      .arg(name.toHtmlEscaped(), Quiet(where.toHtmlEscaped()));
}

// The short fields as rows of label and value; a list as a heading with its
// count and one line an item.
class DetailsText {
 public:
  void Row(const char* label, const QString& value) {
    if (value.isEmpty()) return;
    if (!inTable_) html_ += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    inTable_ = true;
    html_ += QStringLiteral("<tr><td style=\"color:%1; padding-right:8px\">%2</td><td>%3</td></tr>")
                 .arg(kQuiet, Tr(label), value);
  }
  void List(const char* heading, const QStringList& lines) {
    if (lines.isEmpty()) return;
    EndTable();
    html_ += QStringLiteral("<p style=\"margin-top:6px; margin-bottom:2px\"><b>%1</b> %2</p>")
                 .arg(Tr(heading), Quiet(QStringLiteral("(%1)").arg(lines.size())));
    for (const QString& line : lines) html_ += QStringLiteral("<div>%1</div>").arg(line);
  }
  QString Html() {
    EndTable();
    return html_;
  }

 private:
  void EndTable() {
    if (inTable_) html_ += QStringLiteral("</table>");
    inTable_ = false;
  }

  QString html_;
  bool inTable_ = false;
};

QString Placeholder(const char* text) { return QStringLiteral("<p>%1</p>").arg(Quiet(Tr(text))); }

}  // namespace

QString DetailsHtml(const DocumentDetails& details) {
  switch (details.state) {
    case DocumentDetails::State::kNone:
      return Placeholder(QT_TRANSLATE_NOOP("glimpses", "选择一个文档, 这里显示它的信息"));
    case DocumentDetails::State::kReading:
      return Placeholder(QT_TRANSLATE_NOOP("glimpses", "正在读取文档信息..."));
    case DocumentDetails::State::kUnreadable:
      return Placeholder(QT_TRANSLATE_NOOP("glimpses", "无法读取此文档的信息"));
    case DocumentDetails::State::kRead:
      break;
  }
  const DocumentMetadata& m = details.metadata;
  DetailsText text;
  text.Row(QT_TRANSLATE_NOOP("glimpses", "程序"), Escaped(VersionLabel(m)));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "创建工具"), Escaped(m.creatorTool));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "生成程序"), Escaped(m.producer));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "标题"), Escaped(m.title));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "作者"), Joined(m.authors));
  if (!m.created.empty()) text.Row(QT_TRANSLATE_NOOP("glimpses", "创建日期"), ShownDate(m.created));
  if (!m.modified.empty()) text.Row(QT_TRANSLATE_NOOP("glimpses", "修改日期"), ShownDate(m.modified));
  if (!m.metadataDate.empty()) text.Row(QT_TRANSLATE_NOOP("glimpses", "元数据日期"), ShownDate(m.metadataDate));
  if (m.pages) text.Row(QT_TRANSLATE_NOOP("glimpses", "页数"), QLocale().toString(static_cast<qlonglong>(*m.pages)));
  if (m.pageSize) text.Row(QT_TRANSLATE_NOOP("glimpses", "页面尺寸"), ShownPageSize(*m.pageSize));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "缩略图"),
           Tr(m.hasThumbnail ? QT_TRANSLATE_NOOP("glimpses", "内含") : QT_TRANSLATE_NOOP("glimpses", "没有")));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "印版"), Joined(m.plates));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "色板"), Joined(m.swatches));

  // Those with a name first: the ones known by their id alone say little.
  QStringList placed, unnamed;
  for (std::size_t i = 0; i < m.links.size(); ++i)
    (PlacedFileName(m.links[i].path).isEmpty() ? unnamed : placed) << PlacedFileLine(m.links[i], i);
  placed << unnamed;
  text.List(QT_TRANSLATE_NOOP("glimpses", "置入文件"), placed);
  QStringList fonts;
  for (const DocumentFont& font : m.fonts) fonts << FontLine(font);
  text.List(QT_TRANSLATE_NOOP("glimpses", "字体"), fonts);

  text.Row(QT_TRANSLATE_NOOP("glimpses", "文档 ID"), Escaped(m.documentId));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "实例 ID"), Escaped(m.instanceId));
  text.Row(QT_TRANSLATE_NOOP("glimpses", "原始文档 ID"), Escaped(m.originalDocumentId));
  return text.Html();
}

QString PlacedFileName(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  return QString::fromStdString(separator == std::string::npos ? path : path.substr(separator + 1));
}

QString PlacedFileQuery(const QString& name) {
  QString said = name;
  for (QChar& c : said) {
    if (c == u'"' || c == u'*' || c == u'?') c = u'?';
  }
  return QStringLiteral("links:\"%1\"").arg(said);
}

}  // namespace glimpses

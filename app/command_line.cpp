#include "app/command_line.h"

#include <QCommandLineParser>
#include <vector>

#include "metadata/document_metadata.h"
#include "search/search_options.h"

namespace glimpses {
namespace {

constexpr OptionInfo kHelpOption = {"help", 'h', nullptr, "show this help"};
constexpr OptionInfo kVersionOption = {"version", 'V', nullptr, "show the version"};

QCommandLineOption ToQtOption(const OptionInfo& option) {
  QStringList names{QString::fromLatin1(option.name)};
  if (option.shortName != 0) names.prepend(QString(QLatin1Char(option.shortName)));
  QCommandLineOption qtOption(names, QString::fromUtf8(option.help));
  if (option.valueName != nullptr) qtOption.setValueName(QString::fromLatin1(option.valueName));
  return qtOption;
}

}  // namespace

WindowCommandLine ParseWindowCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption help = ToQtOption(kHelpOption);
  const QCommandLineOption version = ToQtOption(kVersionOption);
  parser.addOption(help);
  parser.addOption(version);
  for (const OptionInfo& option : SearchOptionTable()) parser.addOption(ToQtOption(option));
  const bool known = parser.parse(arguments);

  WindowCommandLine line;
  // The catalogue reads, in the background, what the documents hold.
  line.search.metadataReader = ReadDocumentMetadata;
  if (parser.isSet(help)) {
    line.start = WindowStart::kHelp;
    return line;
  }
  if (parser.isSet(version)) {
    line.start = WindowStart::kVersion;
    return line;
  }
  for (const OptionInfo& option : SearchOptionTable()) {
    const QString name = QString::fromLatin1(option.name);
    const QStringList values = option.valueName != nullptr ? parser.values(name)
                               : parser.isSet(name)        ? QStringList{QString()}
                                                           : QStringList{};
    for (const QString& value : values) {
      if (!ApplySearchOption(option.name, value.toStdString(), line.search, line.error)) {
        line.start = WindowStart::kBadUsage;
        return line;
      }
    }
  }
  if (!known) {
    // A missing value or a value given to a flag is bad whatever Qt takes.
    line.start = parser.unknownOptionNames().isEmpty() ? WindowStart::kBadUsage : WindowStart::kUnknownOption;
    line.error = parser.errorText().toStdString();
  } else if (!parser.positionalArguments().isEmpty()) {
    line.start = WindowStart::kBadUsage;
    line.error = "unexpected argument '" + parser.positionalArguments().first().toStdString() + "'";
  }
  return line;
}

std::string WindowUsage() {
  std::vector<OptionInfo> options(SearchOptionTable().begin(), SearchOptionTable().end());
  options.push_back(kHelpOption);
  options.push_back(kVersionOption);
  return "Usage: glimpses [OPTION]... [QT OPTION]...\n"
         "Finds AI, EPS, INDD, PDF and CDR documents by keyword, shows the thumbnail stored in the selected one\n"
         "and exports the thumbnails of every match into a folder.\n" +
         FormatOptionHelp(options) +
         "Qt's own options (-platform NAME, -style NAME, ...) work too.\n"
         "The settings are kept in a Glimpses.ini beside the program when there is one, otherwise in\n"
         "$XDG_CONFIG_HOME/glimpses/; --version names the file in use.\n";
}

}  // namespace glimpses

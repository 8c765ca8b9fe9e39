#include "window_language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace glimpses {

QString Tr(const char* chineseText) { return QCoreApplication::translate("glimpses", chineseText); }

bool InstallWindowLanguage(QCoreApplication& app, const QLocale& locale) {
  // Only English is translated; a Chinese locale needs nothing, and loading
  // by the locale's UI languages could pick English for a Chinese user whose
  // list of languages merely names it second.
  if (locale.language() != QLocale::English) return false;
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral(":/i18n/glimpses_en.qm"))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace glimpses

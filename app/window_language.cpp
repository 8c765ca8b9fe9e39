#include "app/window_language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace glimpses {

QString Tr(const char* chineseText) { return QCoreApplication::translate("glimpses", chineseText); }

std::unique_ptr<QTranslator> WindowTranslator(const QLocale& locale) {
  // Only English is translated; a Chinese locale needs nothing, and loading
  // by the locale's UI languages could pick English for a Chinese user whose
  // list of languages merely names it second.
  if (locale.language() != QLocale::English) return nullptr;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral(":/i18n/glimpses_en.qm"))) return nullptr;
  return translator;
}

bool InstallWindowLanguage(QCoreApplication& app, const QLocale& locale) {
  std::unique_ptr<QTranslator> translator = WindowTranslator(locale);
  if (!translator) return false;
  translator->setParent(&app);
  return QCoreApplication::installTranslator(translator.release());
}

QString WindowLanguageName(const QLocale& locale) {
  return WindowTranslator(locale) ? QStringLiteral("English") : QStringLiteral("Chinese");
}

}  // namespace glimpses

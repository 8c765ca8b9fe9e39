// The window's language. Its texts are written in Chinese, the program's own
// language; an English translation (glimpses_en.ts, built into the program)
// is shown when the user's locale is English. Every other locale, and the
// C/POSIX one, keeps the Chinese texts exactly.
#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>
#include <memory>

class QCoreApplication;
class QTranslator;

namespace glimpses {

// The one translation context of the window's texts; sources mark their
// texts with QT_TRANSLATE_NOOP("glimpses", ...) or pass them to Tr.
QString Tr(const char* chineseText);

// The translation `locale` asks for, loaded from the program's resources;
// null for Chinese (the texts as written).
std::unique_ptr<QTranslator> WindowTranslator(const QLocale& locale);

// Installs the translation `locale` asks for, when there is one; true when
// the window now speaks another language than Chinese.
bool InstallWindowLanguage(QCoreApplication& app, const QLocale& locale);

// "English" or "Chinese": what the window will speak under `locale`, for
// `glimpses --version`, which shows that the installed program carries its
// translation.
QString WindowLanguageName(const QLocale& locale);

}  // namespace glimpses

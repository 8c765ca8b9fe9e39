// The window's language. Its texts are written in Chinese, the program's own
// language; an English translation (glimpses_en.ts, built into the program)
// is shown when the user's locale is English. Every other locale, and the
// C/POSIX one, keeps the Chinese texts exactly.
#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

class QCoreApplication;

namespace glimpses {

// The one translation context of the window's texts; sources mark their
// texts with QT_TRANSLATE_NOOP("glimpses", ...) or pass them to Tr.
QString Tr(const char* chineseText);

// Installs the translation `locale` asks for, when there is one; true when
// the window now speaks another language than Chinese.
bool InstallWindowLanguage(QCoreApplication& app, const QLocale& locale);

}  // namespace glimpses

// The window's command line: the shared search options, --help and
// --version, read with QCommandLineParser. Qt's own options (-platform,
// -style, ...) are taken out of argv by QApplication, which needs a display;
// so the line is read once before it exists, for --help, --version and bad
// values, and again after it for what was left unknown.
#pragma once

#include <QStringList>
#include <string>

#include "search/search_service.h"

namespace glimpses {

enum class WindowStart { kRun, kHelp, kVersion, kBadUsage, kUnknownOption };

struct WindowCommandLine {
  WindowStart start = WindowStart::kRun;
  SearchOptions search;
  std::string error;  // one line, for kBadUsage and kUnknownOption
};

// Reads `arguments` (the first is the program). --help and --version win over
// everything else; then a search option with a bad value gives kBadUsage, an
// option the window does not know kUnknownOption (it may be one of Qt's
// while Qt has not yet taken them), and an operand kBadUsage.
WindowCommandLine ParseWindowCommandLine(const QStringList& arguments);

// The text --help prints.
std::string WindowUsage();

}  // namespace glimpses

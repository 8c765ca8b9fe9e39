// The window's preferences: the list's sort order, the folders and patterns
// left out of the search, the keyword texts used last, and the window's
// arrangement (size, splitter, view, cell size). They live in a file of
// their own beside Glimpses.ini, which keeps its two lines for the Windows
// build.
#pragma once

#include <QSize>
#include <QStringList>
#include <string>
#include <vector>

#include "search/search_service.h"

namespace glimpses {

inline constexpr char kPreferencesFileName[] = "glimpses-preferences.ini";
inline constexpr int kRecentKeywordsKept = 20;

// How the window was arranged when last used.
struct WindowArrangement {
  QSize size;  // not maximised; empty: the first size
  bool maximized = false;
  double listShare = 0.6;  // the results' part of the width beyond the first size, 0..1
  bool grid = false;       // the results shown as the grid, not the list
  int cellEdge = 128;      // the grid's picture box, px
  bool operator==(const WindowArrangement&) const = default;
};

struct Preferences {
  SortOrder sort;
  // Folder paths and patterns as raw bytes: a folder's name need not be UTF-8.
  std::vector<std::string> excludes;
  QStringList recentKeywords;  // newest first, at most kRecentKeywordsKept
  WindowArrangement window;
};

// The preferences file in the folder of `settingsPath`.
std::string PreferencesPathBeside(const std::string& settingsPath);

// What `path` holds; the defaults for a missing file and for every value
// that is missing or not understood.
Preferences LoadPreferences(const std::string& path);

// Writes every value (QSettings replaces the file whole); false when it
// could not be written.
bool SavePreferences(const std::string& path, const Preferences& preferences);

// `recent` with `text` first, once, cut to kRecentKeywordsKept; blank texts
// are not kept.
QStringList WithRecentKeyword(QStringList recent, const QString& text);

}  // namespace glimpses

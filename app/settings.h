// The settings file "Glimpses.ini": the keyword text and the output folder,
// kept from one run to the next. Two lines in GBK (code page 936) ending in
// CRLF, no byte-order mark, so the file stays interchangeable with the
// Windows build.
#pragma once

#include <string>

#include "base/file_util.h"

namespace glimpses {

inline constexpr char kSettingsFileName[] = "Glimpses.ini";

// The longest line a reader takes whole; a longer line is cut to this many
// UTF-16 units and ends the reading (the Windows reader's 260-unit buffer).
inline constexpr std::size_t kSettingsLineLimit = 259;

struct Settings {
  std::u16string keywords;
  std::u16string outputDir;
  bool operator==(const Settings&) const = default;
};

// Empty keywords and "$HOME/Thumbs缩略图": what a first start shows.
Settings DefaultSettings();

// What the two lines of `fileBytes` give, read as the Windows reader does:
// a line ends at LF (CRLF counts as LF; a lone CR is text); a line of more
// than kSettingsLineLimit units is cut and leaves the second value empty; a
// missing line is empty. Bytes that are not GBK read as U+FFFD.
Settings DecodeSettings(const Bytes& fileBytes);

// The settings read from `path`; both values empty when the file cannot be
// read. Callers that want the defaults for a missing file test FileExists
// first, as start-up does.
Settings LoadSettings(const std::string& path);

enum class SettingsError {
  kNone,
  kNotGbk,     // a character GBK cannot hold: writing it would lose it
  kTooLong,    // a value longer than kSettingsLineLimit would come back cut
  kLineBreak,  // a CR or LF inside a value would split the lines
  kWrite,      // the folder or the file could not be written
};

// The file's bytes, or kNotGbk / kTooLong / kLineBreak in `error` and an
// empty result when a value would not read back exactly as it is.
Bytes EncodeSettings(const Settings& settings, SettingsError* error);

// Replaces `path` (temporary file and rename, so a crash never leaves half a
// file), creating its folder when missing. A value that would not read back
// unchanged is refused rather than written damaged: the old file stays as it
// was and the reason is returned. kNone on success.
SettingsError SaveSettings(const std::string& path, const Settings& settings);

}  // namespace glimpses

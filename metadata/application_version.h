// People's names for the programs that make design documents and for their
// versions: "Adobe Illustrator(R) 13.0" is Illustrator CS3, InDesign 4.0 is
// "CS2 (4.0)", CorelDRAW's version 1400 is X4.
#pragma once

#include <string>
#include <string_view>

namespace glimpses {

struct ApplicationVersion {
  std::string application;  // "Illustrator", "Microsoft Word"; empty for an empty text
  std::string version;      // "CS3", "CC 2017", "CS2 (4.0)", "8.0"; empty when the text names none
  bool operator==(const ApplicationVersion&) const = default;
};

// The program and version a creator text names (xmp:CreatorTool or a
// PostScript %%Creator comment). Illustrator, InDesign, Photoshop and
// CorelDRAW versions get their release names; any other program is split
// before its first word that starts with a digit. The maker's name "Adobe",
// "(R)", "(TM)" and the platform ("(Windows)", "Macintosh") are left out.
ApplicationVersion NameCreator(std::string_view creator);

// CorelDRAW's release name for the version number its documents store (1400
// or 14 give "X4", 2200 gives "2020"); empty for a number no release has.
std::string CorelDrawVersionName(int number);

}  // namespace glimpses

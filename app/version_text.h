#pragma once
// The program's version text as the title and the about box show it.

#include <QString>

namespace camfleet {

// "V" followed by the project version; "build %s, %s" with the build time and date when
// the version is empty.
QString VersionText();

// Window title: "%s %s" with the display string "TITLE" and the version text.
QString WindowTitle();

// Text of the about box, one item a line: the display string "TITLE", "ABOUT_VERSION" and
// the version text, "ABOUT_TEXT", and the Qt version the program runs on.
QString AboutText();

}  // namespace camfleet

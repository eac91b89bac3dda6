#pragma once
// The program's version text as the title and the about box show it.

#include <QString>

namespace camfleet {

// "V" followed by the project version; "build %s, %s" with the build time and date when
// the version is empty.
QString VersionText();

// Window title: "%s %s" with the display string "TITLE" and the version text.
QString WindowTitle();

}  // namespace camfleet

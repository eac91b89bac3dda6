#pragma once
// The window's title, made of the display string "TITLE" and the program's version text.

#include <QString>

#include "resources/program_version.h"

namespace camfleet {

// Window title: "%s %s" with the display string "TITLE" and the version text.
QString WindowTitle();

// Text of the about box, one item a line: the display string "TITLE", "ABOUT_VERSION" and
// the version text, "ABOUT_TEXT", and the Qt version the program runs on.
QString AboutText();

}  // namespace camfleet

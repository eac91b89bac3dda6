#pragma once
// The window's title, made of the display string "TITLE" and the program's version text.

#include <QString>

#include "resources/program_version.h"

namespace camfleet {

// Window title: "%s %s" with the display string "TITLE" and the version text.
QString WindowTitle();

}  // namespace camfleet

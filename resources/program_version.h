#pragma once
// The program's version text, the same in the window's title and about box and in
// `camfleet-cli version`: it follows the project version the build was made from.

#include <QString>

namespace camfleet {

// "V" followed by the project version; "build %s, %s" with the build time and date when
// the version is empty.
QString VersionText();

}  // namespace camfleet

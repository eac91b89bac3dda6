#include "app/version_text.h"

#include "resources/display_strings.h"

namespace camfleet {

QString AboutText() {
    return GetDisplayString("TITLE") + QLatin1Char('\n') + GetDisplayString("ABOUT_VERSION") +
           QLatin1Char(' ') + VersionText() + QLatin1Char('\n') + GetDisplayString("ABOUT_TEXT") +
           QStringLiteral("\nQt ") + QString::fromLatin1(qVersion());
}

QString WindowTitle() {
    return QString::asprintf("%s %s", qPrintable(GetDisplayString("TITLE")),
                             qPrintable(VersionText()));
}

}  // namespace camfleet

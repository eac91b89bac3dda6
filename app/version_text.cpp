#include "app/version_text.h"

#include "resources/display_strings.h"

namespace camfleet {

QString VersionText() {
    const QString version = QStringLiteral(CAMFLEET_VERSION);
    if (version.isEmpty())
        return QString::asprintf("build %s, %s", __TIME__, __DATE__);
    return QLatin1Char('V') + version;
}

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

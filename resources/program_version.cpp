#include "resources/program_version.h"

namespace camfleet {

QString VersionText() {
    const QString version = QStringLiteral(CAMFLEET_VERSION);
    if (version.isEmpty())
        return QString::asprintf("build %s, %s", __TIME__, __DATE__);
    return QLatin1Char('V') + version;
}

}  // namespace camfleet

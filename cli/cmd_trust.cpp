// camfleet-cli trust SERIAL: accepts a replaced camera. The key pinned for its serial number
// is forgotten, the camera is searched for and logged in, and the key it then shows is pinned.
// Succeeds only when that login succeeds.

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "cli/command.h"
#include "cli/search_options.h"
#include "resources/display_strings.h"
#include "resources/known_cameras.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 10;

int RunTrust(const QStringList& args) {
    // SERIAL comes first; the options follow it.
    QString serial;
    QStringList options;
    for (const QString& arg : args) {
        if (serial.isEmpty() && !arg.startsWith(QLatin1String("--")) && options.isEmpty())
            serial = arg;
        else
            options.append(arg);
    }
    if (serial.isEmpty())
        return Fail("trust", QStringLiteral("a serial number is required"), 2);
    SearchOptions a;
    a.seconds = kDefaultSeconds;
    QString error;
    if (!ParseSearchOptions(options, &a, &error))
        return Fail("trust", error, 2);

    KnownCameras& known = KnownCameras::Shared();
    bool wasPinned = false;
    if (!known.Trust(serial.toStdString(), &wasPinned))
        return Fail("trust", QStringLiteral("cannot write ") + known.filePath(), 1);

    CliSession session;
    int status = 0;
    if (!session.Start(a, true, &error, &status))
        return Fail("trust", error, status);
    DeviceListModel& model = session.model();
    const QByteArray key = serial.toUtf8();
    session.SearchUntil(
        [&](qint64) {
            const int row = model.FindRowByKey(key.constData());
            return row >= 0 && LoginSettled(model, row);
        },
        a.seconds);
    const int row = model.FindRowByKey(key.constData());
    const bool loggedIn = row >= 0 && model.State(row)->LoggedIn();
    const QString state = row >= 0 ? model.CellText(row, kColumnState) : QString();
    const QString message = loggedIn ? GetDisplayString("CAMERA_KEY_TRUSTED") : state;
    if (a.json) {
        QJsonObject o;
        o["SN"] = serial;
        o["WASPINNED"] = wasPinned;
        o["FOUND"] = row >= 0;
        o["LOGGEDIN"] = loggedIn;
        o["STATE"] = state;
        o["KEY"] = QString::fromStdString(known.KeyOf(serial.toStdString()));
        const QByteArray out = QJsonDocument(o).toJson(QJsonDocument::Indented);
        std::fwrite(out.constData(), 1, out.size(), stdout);
    } else {
        if (!wasPinned)
            std::printf("%s\n", qPrintable(GetDisplayString("CAMERA_KEY_NOT_PINNED")));
        if (!message.isEmpty())
            std::printf("%s\n", qPrintable(message));
    }
    if (row < 0)
        return Fail("trust", QStringLiteral("camera ") + serial + QStringLiteral(" not found"), 1);
    return loggedIn ? 0 : 1;
}

const CommandRegistration trustCommand(
    "trust", "trust SERIAL [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "accept a replaced camera: forget its pinned key and pin the one it shows now", RunTrust);

}  // namespace
}  // namespace camfleet::cli

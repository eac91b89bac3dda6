// camfleet-cli list: searches, logs every camera in through the device SDK and prints the
// device list as the window shows it, with the state and version columns.

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "operations/device_list_sync.h"
#include "operations/device_login.h"
#include "operations/job_engine.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 10;
// Searches and merges until every camera is settled (after at least `minimumMs`) or the time
// is up, as the window's timers do.
void RunUntilSettled(SearchSession& session, DeviceListSync& sync, const DeviceListModel& model,
                     int expected, int minimumMs, int seconds) {
    SearchAndMergeUntil(
        session, sync,
        [&](qint64 elapsedMs) {
            return elapsedMs >= minimumMs && AllLoginsSettled(model, expected);
        },
        seconds);
}

QByteArray ListJson(const DeviceListModel& model) {
    QJsonArray array;
    for (int row = 0; row < model.Count(); ++row) {
        const DeviceRecord& d = *model.Record(row);
        QJsonObject o = AnswerJson(d.answer);
        o["STATE"] = model.CellText(row, kColumnState);
        o["LOGGEDIN"] = d.loggedIn != 0;
        if (d.answer.version[0] == '\0')
            o["VERSION"] = QString::fromUtf8(d.firmwareVersion);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray ListTable(const DeviceListModel& model) {
    std::vector<QStringList> rows;
    for (int row = 0; row < model.Count(); ++row) {
        QStringList cells;
        for (int c = 0; c < kDeviceColumnCount; ++c)
            cells.append(model.CellText(row, c));
        rows.push_back(cells);
    }
    return FormatCellTable(rows);
}

int RunList(const QStringList& args) {
    SearchOptions a;
    a.seconds = kDefaultSeconds;
    QString error;
    if (!ParseSearchOptions(args, &a, &error))
        return Fail("list", error, 2);
    SearchSession session;
    int status = 0;
    if (!session.Start(a, &error, &status))
        return Fail("list", error, status);
    if (QV_NETSDK_IPC_Init() != QV_OK)
        return Fail("list", "the device SDK did not start", 1);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    QByteArray out;
    {
        DeviceListModel model;
        JobEngine engine(&model);
        DeviceListSync sync(&session.table(), &model);
        sync.SetDefaultAccount(StoredDefaultAccount());
        // A lab says how many cameras to wait for; on a LAN the search gets two seconds.
        const bool lab = a.labCameras > 0;
        RunUntilSettled(session, sync, model, lab ? a.labCameras : 1, lab ? 1000 : 2000, a.seconds);
        SortAsAsked(a, model);
        out = a.json ? ListJson(model) : ListTable(model);
    }
    QV_NETSDK_IPC_Cleanup();
    std::fwrite(out.constData(), 1, out.size(), stdout);
    return 0;
}

const CommandRegistration listCommand(
    "list",
    "list [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--sort COLUMN[:desc]] [--json]",
    "search, log every camera in and print the list with state and version", RunList);

}  // namespace
}  // namespace camfleet::cli

// camfleet-cli config, export and import: configuration files to and from listed cameras, the
// default configuration, and the device list as an XML file or a workbook.
//
//   config download [--out DIR] SERIAL...|--all   the cameras' configurations into DIR
//   config upload FILE SERIAL...|--all             FILE to each camera, as it stands
//   config default FILE                            FILE checked, then sent to every listed
//                                                  camera as its default configuration
//   export --xml FILE|--xlsx FILE SERIAL...|--all  the device list of those cameras
//   import FILE [--json]                           the list replaced by FILE, cameras logged in
//
// Each searches and logs in as `list` does (import lists only the file's cameras), prints one
// line (or JSON object) per camera and exits 0 only when every camera succeeded.

#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"
#include "device/config_file.h"
#include "devicelist/device_list_file.h"
#include "operations/config_transfer.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 15;
// How long a transfer may take once it started (a whole configuration is small).
constexpr int kTransferSeconds = 60;
// How long a camera has to confirm its default configuration after it took the file.
constexpr int kConfirmMs = 3000;

struct ConfigArgs {
    QString action;  // download, upload, default; export; import
    QString file;    // upload, default, import: the file; export: the output file
    bool xlsx = false;
    QString out;  // download: the folder
    QStringList serials;
    bool all = false;
    SearchOptions search;
};

bool TakeValue(const QStringList& args, qsizetype* i, QString* value, QString* error) {
    if (*i + 1 >= args.size()) {
        *error = "missing value of " + args[*i];
        return false;
    }
    *value = args[++*i];
    return true;
}

// Parses what follows the action word (`from` on); `needsTargets`: SERIAL... or --all.
bool ParseTargets(const QStringList& args, qsizetype from, bool needsTargets, ConfigArgs* a,
                  QString* error) {
    TargetArgs targets;
    for (qsizetype i = from; i < args.size(); ++i) {
        if (args[i] == "--out" && a->action == "download") {
            if (!TakeValue(args, &i, &a->out, error))
                return false;
        } else if ((args[i] == "--xml" || args[i] == "--xlsx") && a->action == "export") {
            if (!a->file.isEmpty()) {
                *error = "give one of --xml FILE and --xlsx FILE";
                return false;
            }
            a->xlsx = args[i] == "--xlsx";
            if (!TakeValue(args, &i, &a->file, error))
                return false;
        } else {
            targets.Take(args, &i);
        }
    }
    a->search.seconds = kDefaultSeconds;
    if (!targets.Finish(&a->serials, &a->all, &a->search, error))
        return false;
    if (a->action == "export" && a->file.isEmpty())
        *error = "give --xml FILE or --xlsx FILE";
    else if (needsTargets && a->serials.isEmpty() == !a->all)
        *error = "give SERIAL... or --all";
    else if (!needsTargets && (!a->serials.isEmpty() || a->all))
        *error = a->action + " takes no SERIAL or --all";
    return error->isEmpty();
}

// The last job of `kind` for the row's camera.
const ConfigTransfer::Job* LastJob(const ConfigTransfer& configs, const DeviceRecord& record,
                                   ConfigTransfer::Kind kind) {
    const ConfigTransfer::Job* found = nullptr;
    for (const ConfigTransfer::Job& job : configs.Jobs())
        if (job.kind == kind && job.key == record.key)
            found = &job;
    return found;
}

int RunTransfer(const ConfigArgs& a) {
    const QByteArray name = ("config " + a.action).toLatin1();
    if (a.action != "download" && !QFileInfo(a.file).isFile())
        return Fail(name.constData(), "cannot read " + a.file, 2);
    if (a.action == "default" && !CheckConfigFile(a.file.toStdString()))
        return Fail(name.constData(), GetDisplayString(DisplayKey("STR_XML_ERROR")), 1);
    CliSession session;
    session.SetConfigFolder(a.out.isEmpty() ? DefaultConfigFolder() : QDir(a.out).absolutePath());
    QString error;
    int status = 0;
    if (!session.Start(a.search, true, &error, &status))
        return Fail(name.constData(), error, status);
    FleetSession& fleet = session.fleet();
    DeviceListModel& model = fleet.Model();
    const bool everyCamera = a.action == "default";
    session.SearchForTargets(a.serials, a.all || everyCamera, a.search);
    QStringList unknown;
    const std::vector<int> rows = CliTargetRows(model, a.serials, a.all || everyCamera, &unknown);
    if (rows.empty())
        return Fail(name.constData(), "no camera asked for is listed", 1);
    ConfigTransfer& configs = *fleet.Configs();
    const ConfigTransfer::Kind kind = a.action == "download" ? ConfigTransfer::Kind::kDownload
                                      : a.action == "upload" ? ConfigTransfer::Kind::kUpload
                                                             : ConfigTransfer::Kind::kDefault;
    if (kind == ConfigTransfer::Kind::kDownload)
        configs.Download(rows);
    else if (kind == ConfigTransfer::Kind::kUpload)
        configs.Upload(rows, QFileInfo(a.file).absoluteFilePath());
    else
        configs.ChooseDefault(QFileInfo(a.file).absoluteFilePath());
    qint64 uploadsEndedAt = -1;
    session.WaitUntil(
        [&](qint64 elapsedMs) {
            if (configs.Running() > 0)
                return false;
            if (kind != ConfigTransfer::Kind::kDefault)
                return true;
            // Give the cameras that took their default a moment to confirm it.
            if (uploadsEndedAt < 0)
                uploadsEndedAt = elapsedMs;
            for (int row : rows) {
                const DeviceRecord* record = model.Record(row);
                const ConfigTransfer::Job* job = LastJob(configs, *record, kind);
                if (job != nullptr && job->state == ConfigTransfer::State::kDone &&
                    configs.DefaultState(record->answer.serialNumber) !=
                        ConfigTransfer::kDefaultConfirmed &&
                    elapsedMs - uploadsEndedAt < kConfirmMs)
                    return false;
            }
            return true;
        },
        kTransferSeconds);
    status = unknown.isEmpty() ? 0 : 1;
    for (const QString& serial : unknown)
        std::fprintf(stderr, "camfleet-cli %s: %s is not listed\n", name.constData(),
                     qPrintable(serial));
    for (int row : rows) {
        const DeviceRecord* record = model.Record(row);
        const ConfigTransfer::Job* job = LastJob(configs, *record, kind);
        const bool ok = job != nullptr && job->state == ConfigTransfer::State::kDone;
        QString state =
            job == nullptr ? QString("not logged in") : model.CellText(row, kColumnState);
        if (kind == ConfigTransfer::Kind::kDefault && ok)
            state = configs.DefaultState(record->answer.serialNumber) ==
                            ConfigTransfer::kDefaultConfirmed
                        ? QString("confirmed")
                        : QString("sent, not confirmed");
        if (!ok)
            status = 1;
        PrintCameraOutcome(a.search.json, record->key, ok, state,
                           kind == ConfigTransfer::Kind::kDownload && ok ? job->path : QString());
    }
    return status;
}

int RunConfig(const QStringList& args) {
    ConfigArgs a;
    QString error;
    a.action = args.value(0);
    qsizetype from = 1;
    if (a.action == "upload" || a.action == "default") {
        a.file = args.value(1);
        if (a.file.isEmpty() || a.file.startsWith("--"))
            return Fail("config", a.action + " takes FILE", 2);
        from = 2;
    } else if (a.action != "download") {
        return Fail("config", "give download, upload or default", 2);
    }
    if (!ParseTargets(args, from, a.action != "default", &a, &error))
        return Fail("config", error, 2);
    return RunTransfer(a);
}

int RunExport(const QStringList& args) {
    ConfigArgs a;
    a.action = "export";
    QString error;
    if (!ParseTargets(args, 0, true, &a, &error))
        return Fail("export", error, 2);
    CliSession session;
    int status = 0;
    if (!session.Start(a.search, true, &error, &status))
        return Fail("export", error, status);
    DeviceListModel& model = session.model();
    session.SearchForTargets(a.serials, a.all, a.search);
    QStringList unknown;
    const std::vector<int> rows = CliTargetRows(model, a.serials, a.all, &unknown);
    for (const QString& serial : unknown)
        std::fprintf(stderr, "camfleet-cli export: %s is not listed\n", qPrintable(serial));
    if (rows.empty())
        return Fail("export", "no camera asked for is listed", 1);
    std::vector<const DeviceRecord*> records;
    for (int row : rows)
        records.push_back(model.Record(row));
    const bool saved = a.xlsx ? SaveExportWorkbook(a.file, records, &error)
                              : SaveDeviceListXml(a.file, records, &error);
    if (!saved)
        return Fail("export", GetDisplayString(DisplayKey("EXPORT_FAILED")) + " " + error, 1);
    std::printf("%zu cameras exported to %s\n", records.size(), qPrintable(a.file));
    return unknown.isEmpty() ? 0 : 1;
}

int RunImport(const QStringList& args) {
    if (args.isEmpty() || args[0].startsWith("--"))
        return Fail("import", "give FILE", 2);
    SearchOptions search;
    search.seconds = kDefaultSeconds;
    QString error;
    if (!ParseSearchOptions(args.mid(1), &search, &error))
        return Fail("import", error, 2);
    std::vector<SearchAnswer> answers;
    if (!LoadDeviceListXml(args[0], &answers, &error))
        return Fail("import", GetDisplayString(DisplayKey("STR_XML_ERROR")) + " " + error, 1);
    CliSession session;
    int status = 0;
    if (!session.Start(search, true, &error, &status))
        return Fail("import", error, status);
    FleetSession& fleet = session.fleet();
    fleet.ImportDevices(answers);
    const int expected = fleet.Model().Count();
    session.WaitUntil([&](qint64) { return AllLoginsSettled(fleet.Model(), expected); },
                      search.seconds);
    SortAsAsked(search, fleet.Model());
    const QByteArray out = FormatList(fleet.Model(), search.json);
    std::fwrite(out.constData(), 1, out.size(), stdout);
    for (int row = 0; row < fleet.Model().Count(); ++row)
        if (!fleet.Model().State(row)->LoggedIn())
            return 1;
    return 0;
}

const CommandRegistration configCommand(
    "config",
    "config download [--out DIR] SERIAL...|--all | config upload FILE SERIAL...|--all | "
    "config default FILE  [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "download, upload or set the default configuration file of listed cameras", RunConfig);

const CommandRegistration exportCommand(
    "export",
    "export --xml FILE|--xlsx FILE SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S]",
    "write the device list of those cameras as an XML file or an Excel workbook", RunExport);

const CommandRegistration importCommand(
    "import", "import FILE [--lab N | --loopback] [--seconds S] [--sort COLUMN[:desc]] [--json]",
    "replace the list by an exported XML file, log the cameras in and print the list", RunImport);

}  // namespace
}  // namespace camfleet::cli

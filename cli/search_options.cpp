#include "cli/search_options.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "operations/batch_targets.h"

#include <cstdio>
#include <string>

#include "device/xml_messages.h"
#include "devicelist/device_row_text.h"
#include "discovery/adapter_map.h"

namespace camfleet::cli {

bool ParseSearchOptions(const QStringList& args, SearchOptions* a, QString* error) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& flag = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (flag == "--json") {
            a->json = true;
        } else if (flag == "--loopback") {
            a->loopback = true;
        } else if (flag == "--lab" && hasValue) {
            a->labCameras = args[++i].toInt(&ok);
            ok = ok && a->labCameras > 0;
        } else if (flag == "--seconds" && hasValue) {
            a->seconds = args[++i].toInt(&ok);
            ok = ok && a->seconds > 0;
        } else if (flag == "--adapter" && hasValue) {
            a->adapter = args[++i];
        } else if (flag == "--sort" && hasValue) {
            ok = ParseSortColumn(args[++i], &a->sortColumn, &a->sortOrder);
        } else {
            ok = false;
        }
        if (!ok) {
            *error = "invalid option " + flag;
            return false;
        }
    }
    if (a->labCameras > 0 && a->loopback)
        *error = "--lab and --loopback exclude each other";
    return error->isEmpty();
}

bool ParseSortColumn(const QString& text, int* column, Qt::SortOrder* order) {
    QString name = text.trimmed().toUpper();
    *order = Qt::AscendingOrder;
    if (name.endsWith(":DESC")) {
        *order = Qt::DescendingOrder;
        name.chop(5);
    } else if (name.endsWith(":ASC")) {
        name.chop(4);
    }
    bool number = false;
    const int index = name.toInt(&number);
    if (number) {
        *column = index;
        return index >= 0 && index < kDeviceColumnCount;
    }
    struct JsonKey {
        const char* key;
        int column;
    };
    static constexpr JsonKey kJsonKeys[] = {
        {"IPADDR", kColumnIp},       {"HTTPPORT", kColumnHttpPort}, {"TYPE", kColumnModel},
        {"TITLE", kColumnTitle},     {"VERSION", kColumnVersion},   {"RUNTIME", kColumnRunningTime},
        {"ADAPTER", kColumnNetcard}, {"P2PSTATUS", kColumnCloud},
    };
    for (const JsonKey& k : kJsonKeys)
        if (name == QLatin1String(k.key)) {
            *column = k.column;
            return true;
        }
    for (int c = 0; c < kDeviceColumnCount; ++c)
        if (name == QLatin1String(DeviceColumnKey(c))) {
            *column = c;
            return true;
        }
    return false;
}

bool AdapterSelection(const SearchOptions& a, uint32_t* selection) {
    *selection = 0;
    if (a.adapter.isEmpty())
        return true;
    const uint32_t address = ParseAddress(a.adapter.toLatin1().constData());
    const bool lab = a.labCameras > 0 || a.loopback;
    *selection = address;
    return EnumAdapters(lab).count(address) == 1;
}

bool CliSession::Start(const SearchOptions& a, bool sdk, QString* error, int* status) {
    *status = 1;
    if (!AdapterSelection(a, &netcard_)) {
        *error = "no local adapter " + a.adapter;
        return false;
    }
    if (a.labCameras > 0) {
        sim::LabOptions options;
        options.cameras = a.labCameras;
        std::string labError;
        if (lab_.Start(options, &labError) != 0) {
            *error = QString::fromStdString(labError);
            return false;
        }
    }
    fleet_ = std::make_unique<FleetSession>(
        FleetOptions{.searcher = {.labMode = a.labCameras > 0 || a.loopback},
                     .snapshotFolder = snapshotFolder_,
                     .configFolder = configFolder_});
    if (sdk) {
        if (!fleet_->StartSdk()) {
            *error = "the device SDK did not start";
            return false;
        }
        const LoginAccount account = StoredDefaultAccount();
        fleet_->SetAccountSource([account] { return account; });
    }
    *status = 0;
    return true;
}

void TargetArgs::Take(const QStringList& args, qsizetype* i) {
    const QString& arg = args[*i];
    if (arg == "--all") {
        all_ = true;
    } else if (arg == "--lab" || arg == "--seconds" || arg == "--adapter" || arg == "--sort") {
        searchArgs_ << arg;
        if (*i + 1 < args.size())
            searchArgs_ << args[++*i];
    } else if (arg.startsWith("--")) {
        searchArgs_ << arg;
    } else {
        serials_ << arg;
    }
}

bool TargetArgs::Finish(QStringList* serials, bool* all, SearchOptions* options,
                        QString* error) const {
    *serials = serials_;
    *all = all_;
    return ParseSearchOptions(searchArgs_, options, error);
}

void CliSession::WaitUntil(const std::function<bool(qint64 elapsedMs)>& done, int seconds) {
    constexpr int kCheckIntervalMs = 50;
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= seconds * 1000 || done(clock.elapsed()))
            loop.quit();
    });
    clock.start();
    check.start(kCheckIntervalMs);
    loop.exec();
}

void CliSession::SearchForTargets(const QStringList& serials, bool all,
                                  const SearchOptions& options) {
    DeviceListModel& model = fleet_->Model();
    const int expected = options.labCameras > 0 ? options.labCameras
                         : all                  ? 1
                                                : static_cast<int>(serials.size());
    SearchUntil(
        [&](qint64 elapsedMs) {
            if (elapsedMs < 1000)
                return false;
            if (all)
                return elapsedMs >= 2000 && AllLoginsSettled(model, expected);
            for (const QString& serial : serials) {
                const int row = model.FindRowByKey(serial.toLatin1().constData());
                if (row < 0 || !LoginSettled(model, row))
                    return false;
            }
            return true;
        },
        options.seconds);
    SortAsAsked(options, model);
}

std::vector<int> CliTargetRows(const DeviceListModel& model, const QStringList& serials, bool all,
                               QStringList* unknown) {
    ScriptedPrompt prompt;
    TargetSelection selection;
    selection.kind = all ? TargetSelection::kAll : TargetSelection::kSerials;
    selection.serials = serials;
    return SelectTargets(model, selection, prompt, unknown);
}

void SortAsAsked(const SearchOptions& options, DeviceListModel& model) {
    if (options.sortColumn >= 0)
        model.sort(options.sortColumn, options.sortOrder);
}

int Fail(const char* command, const QString& message, int status) {
    std::fprintf(stderr, "camfleet-cli %s: %s\n", command, qPrintable(message));
    return status;
}

}  // namespace camfleet::cli

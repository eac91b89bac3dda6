// camfleet-cli ip: the network settings of listed cameras, with the window's rules. Searches
// and logs in as `list` does, sends the set-network datagrams, then searches on until every
// camera that was sent new settings is listed at its new address and logged in again.
// Prints one result line (or one JSON object per line) for each camera asked for.

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>

#include "cli/command.h"
#include "cli/search_options.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "operations/batch_targets.h"
#include "operations/device_list_sync.h"
#include "operations/device_login.h"
#include "operations/ip_assignment.h"
#include "operations/job_engine.h"
#include "resources/save_param.h"

namespace camfleet::cli {

namespace {

constexpr const char* kName = "ip";
constexpr int kDefaultSeconds = 15;

struct IpArgs {
    QString action;  // set, dhcp, free, number
    QStringList serials;
    bool all = false;
    // Given values; empty = not given.
    QString ip, mask, gateway, dns1, dns2, from;
    bool dhcp = false;
    SearchOptions search;
};

bool ParseIpArgs(const QStringList& args, IpArgs* a, QString* error) {
    if (args.isEmpty()) {
        *error = "missing action (set, dhcp, free, number)";
        return false;
    }
    a->action = args.first();
    QStringList searchArgs;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        QString* value = arg == "--ip"        ? &a->ip
                         : arg == "--mask"    ? &a->mask
                         : arg == "--gateway" ? &a->gateway
                         : arg == "--dns1"    ? &a->dns1
                         : arg == "--dns2"    ? &a->dns2
                         : arg == "--from"    ? &a->from
                                              : nullptr;
        if (value != nullptr && hasValue) {
            *value = args[++i];
        } else if (value != nullptr) {
            *error = "missing value of " + arg;
            return false;
        } else if (arg == "--dhcp") {
            a->dhcp = true;
        } else if (arg == "--all") {
            a->all = true;
        } else if (arg == "--lab" || arg == "--seconds" || arg == "--adapter" || arg == "--sort") {
            searchArgs << arg;
            if (hasValue)
                searchArgs << args[++i];
        } else if (arg.startsWith("--")) {
            searchArgs << arg;
        } else {
            a->serials << arg;
        }
    }
    a->search.seconds = kDefaultSeconds;
    if (!ParseSearchOptions(searchArgs, &a->search, error))
        return false;
    const bool one = a->action == "set" || a->action == "free";
    const bool many = a->action == "dhcp" || a->action == "number";
    if (!one && !many)
        *error = "unknown action " + a->action;
    else if (one && (a->serials.size() != 1 || a->all))
        *error = "ip " + a->action + " takes exactly one SERIAL";
    else if (many && a->serials.isEmpty() == !a->all)
        *error = "give SERIAL... or --all";
    else if (a->action == "set" && a->ip.isEmpty() && !a->dhcp)
        *error = "ip set needs --ip or --dhcp";
    else if (a->action == "number" && a->from.isEmpty())
        *error = "ip number needs --from";
    return error->isEmpty();
}

// One camera's outcome.
struct Outcome {
    QString serial;
    QString oldIp;
    int result = kTableUnknownSerial;
    QString expectedIp;  // empty for DHCP: any new address
    int row = -1;
};

bool Relisted(const DeviceListModel& model, const Outcome& o) {
    const DeviceRecord* r = model.Record(o.row);
    if (r == nullptr || r->loggedIn == 0 || model.CellText(o.row, kColumnVersion).isEmpty())
        return false;
    const QString now = QString::fromLatin1(r->answer.network.ipAddress);
    return o.expectedIp.isEmpty() ? now != o.oldIp : now == o.expectedIp;
}

// The camera kept answering with its old settings until its wait ran out.
bool NotApplied(const DeviceListSync& sync, const Outcome& o) {
    return o.result == kTableOk &&
           sync.MoveOutcome(o.serial.toLatin1().constData()) == MoveState::kNotApplied;
}

void Print(const DeviceListModel& model, const DeviceListSync& sync, const Outcome& o, bool json) {
    const DeviceRecord* r = model.Record(o.row);
    const bool relisted = o.result == kTableOk && Relisted(model, o);
    const bool notApplied = !relisted && NotApplied(sync, o);
    // Not relisted: the address it was sent, or (DHCP) the one it is still listed at.
    const QString ip = !relisted && !o.expectedIp.isEmpty() ? o.expectedIp
                       : r != nullptr ? QString::fromLatin1(r->answer.network.ipAddress)
                                      : QString();
    if (json) {
        QJsonObject object{{"SERIAL", o.serial},
                           {"OLDIP", o.oldIp},
                           {"IP", ip},
                           {"RESULT", o.result},
                           {"RELISTED", relisted},
                           {"APPLIED", o.result == kTableOk && !notApplied},
                           {"LOGGEDIN", r != nullptr && r->loggedIn != 0}};
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
        return;
    }
    const QString state = o.result != kTableOk ? QString("failed (%1)").arg(o.result)
                          : relisted           ? QString("ok")
                          : notApplied         ? QString("sent, not applied")
                                               : QString("sent, not relisted");
    std::printf("%s %s -> %s %s\n", qPrintable(o.serial), qPrintable(o.oldIp),
                qPrintable(o.result == kTableOk ? ip : o.oldIp), qPrintable(state));
}

NetworkSettings Override(NetworkSettings v, const IpArgs& a) {
    auto take = [](std::string& field, const QString& given) {
        if (!given.isEmpty())
            field = given.toStdString();
    };
    take(v.ip, a.ip);
    take(v.mask, a.mask);
    take(v.gateway, a.gateway);
    take(v.dns1, a.dns1);
    take(v.dns2, a.dns2);
    return v;
}

// Runs the action on the listed cameras; fills `outcomes` (one per target). Returns the exit
// status of a refusal (message printed), or 0.
int RunAction(const IpArgs& a, IpAssignment& ip, DeviceListModel& model, Prompt& prompt,
              std::vector<Outcome>* outcomes) {
    std::vector<int> rows;
    for (const Outcome& o : *outcomes)
        if (o.row >= 0)
            rows.push_back(o.row);
    auto refuse = [](const char* key) {
        std::fprintf(stderr, "camfleet-cli ip: %s\n", qPrintable(GetDisplayString(key)));
        return 1;
    };
    std::vector<int> results;
    if (a.action == "set") {
        const NetworkSettings v =
            Override(EditDialogValues(model.Record(rows[0])->answer.network), a);
        NetworkSettings sent = v;
        sent.dhcp = a.dhcp;
        if (!a.dhcp && !DialogValuesAccepted(v))
            return refuse(kDialogRuleKey);
        results = {ip.SendNetwork(rows[0], sent)};
        if (!a.dhcp)
            (*outcomes)[0].expectedIp = QString::fromStdString(sent.ip);
    } else if (a.action == "free") {
        const AddressChecks checks = SystemAddressChecks();
        const std::optional<uint32_t> address =
            FindFreeAddress(ip.CollectFreeSearchInput(), *checks.probe, *checks.neighbours);
        if (!address)
            return refuse(kNoFreeAddressKey);
        results = {ip.ApplyFreeAddress(rows[0], address, prompt)};
        (*outcomes)[0].expectedIp = QString::fromStdString(DottedAddress(*address));
    } else if (a.action == "dhcp") {
        results = ip.SwitchToDhcp(rows);
    } else {
        // Read for the last start address and saved with the new one, as the window does.
        CSaveParam settings = LoadedSettings();
        NumberingStart start;
        if (!ip.PrepareNumbering(settings, prompt, &start))
            return refuse(kNoAdapterKey);
        IpArgs given = a;
        given.ip = a.from;
        const NetworkSettings v = Override(start.values, given);
        if (!DialogValuesAccepted(v))
            return refuse(kDialogRuleKey);
        results = ip.NumberDevices(rows, v, &settings);
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (results[i] == kTableOk)
                (*outcomes)[i].expectedIp = model.CellText(rows[i], kColumnIp);
    }
    std::size_t k = 0;
    for (Outcome& o : *outcomes)
        if (o.row >= 0)
            o.result = results[k++];
    return 0;
}

int RunIp(const QStringList& args) {
    IpArgs a;
    QString error;
    if (!ParseIpArgs(args, &a, &error))
        return Fail(kName, error, 2);
    SearchSession session;
    int status = 0;
    if (!session.Start(a.search, &error, &status))
        return Fail(kName, error, status);
    if (QV_NETSDK_IPC_Init() != QV_OK)
        return Fail(kName, "the device SDK did not start", 1);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    {
        DeviceListModel model;
        JobEngine engine(&model);
        DeviceListSync sync(&session.table(), &model);
        sync.SetDefaultAccount(StoredDefaultAccount());
        const int expected = a.search.labCameras > 0 ? a.search.labCameras
                             : a.all                 ? 1
                                                     : static_cast<int>(a.serials.size());
        SearchAndMergeUntil(
            session, sync,
            [&](qint64 elapsedMs) {
                if (elapsedMs < 1000)
                    return false;
                if (a.all)
                    return elapsedMs >= 2000 && AllLoginsSettled(model, expected);
                for (const QString& serial : a.serials) {
                    const int row = model.FindRowByKey(serial.toLatin1().constData());
                    if (row < 0 || !LoginSettled(model, row))
                        return false;
                }
                return true;
            },
            a.search.seconds);
        SortAsAsked(a.search, model);

        ScriptedPrompt prompt;
        TargetSelection selection;
        selection.kind = a.all ? TargetSelection::kAll : TargetSelection::kSerials;
        selection.serials = a.serials;
        QStringList unknown;
        std::vector<Outcome> outcomes;
        for (int row : SelectTargets(model, selection, prompt, &unknown))
            outcomes.push_back({QString::fromLatin1(model.Record(row)->key),
                                model.CellText(row, kColumnIp),
                                kTableUnknownSerial,
                                {},
                                row});
        for (const QString& serial : unknown)
            outcomes.push_back({serial, {}, kTableUnknownSerial, {}, -1});

        PcNetwork pc;
        std::unique_ptr<NetworkParamSource> source = MakeSystemNetworkParamSource();
        IpAssignment ip(&session.table(), &model, &pc, source.get());
        if (outcomes.empty() || outcomes.front().row < 0)
            std::fprintf(stderr, "camfleet-cli ip: no camera asked for is listed\n");
        status = outcomes.empty() || outcomes.front().row < 0
                     ? 1
                     : RunAction(a, ip, model, prompt, &outcomes);
        if (status == 0) {
            SearchAndMergeUntil(
                session, sync,
                [&](qint64) {
                    for (const Outcome& o : outcomes)
                        if (o.result == kTableOk && !Relisted(model, o) && !NotApplied(sync, o))
                            return false;
                    return true;
                },
                a.search.seconds, SearchStart::kKeepTable);
            for (const Outcome& o : outcomes) {
                Print(model, sync, o, a.search.json);
                if (o.result != kTableOk || !Relisted(model, o))
                    status = 1;
            }
        } else if (outcomes.empty() || outcomes.front().row < 0) {
            for (const Outcome& o : outcomes)
                Print(model, sync, o, a.search.json);
        }
    }
    QV_NETSDK_IPC_Cleanup();
    return status;
}

const CommandRegistration ipCommand(
    "ip",
    "ip set SERIAL --ip A [--mask M] [--gateway G] [--dns1 D] [--dns2 D] [--dhcp] | "
    "ip dhcp SERIAL...|--all | ip free SERIAL | ip number --from A SERIAL...|--all "
    "[--lab N | --loopback] [--adapter ADDR] [--seconds S] [--sort COLUMN[:desc]] [--json]",
    "set cameras' network settings and wait until they are listed at the new address", RunIp);

}  // namespace
}  // namespace camfleet::cli

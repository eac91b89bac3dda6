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
#include "operations/batch_targets.h"
#include "operations/ip_assignment.h"
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
    TargetArgs targets;
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
        } else {
            targets.Take(args, &i);
        }
    }
    a->search.seconds = kDefaultSeconds;
    if (!targets.Finish(&a->serials, &a->all, &a->search, error))
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

// One camera asked for: its row (-1 when not listed) and the IP column before the send.
struct Target {
    QString serial;
    QString oldIp;
    int row = -1;
};

void Print(const DeviceListModel& model, const IpAssignment& ip, const Target& t, bool json) {
    const DeviceRecord* r = model.Record(t.row);
    const NetworkJob* job = ip.Job(t.serial.toStdString());
    const int result = job != nullptr ? job->result : kTableUnknownSerial;
    const bool sent = result == kTableOk;
    const bool relisted = sent && job->phase == JobPhase::kDone;
    const bool notApplied = sent && job->notApplied;
    const RowState* state = model.State(t.row);
    // Not relisted: the address it was sent, or (DHCP) the one it is still listed at.
    const QString shownIp = !relisted && sent && !job->expectedIp.empty()
                                ? QString::fromStdString(job->expectedIp)
                            : r != nullptr ? QString::fromLatin1(r->answer.network.ipAddress)
                                           : QString();
    if (json) {
        QJsonObject object{{"SERIAL", t.serial},
                           {"OLDIP", t.oldIp},
                           {"IP", shownIp},
                           {"RESULT", result},
                           {"RELISTED", relisted},
                           {"APPLIED", sent && !notApplied},
                           {"LOGGEDIN", state != nullptr && state->LoggedIn()}};
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
        return;
    }
    const QString text = !sent        ? QString("failed (%1)").arg(result)
                         : relisted   ? QString("ok")
                         : notApplied ? QString("sent, not applied")
                                      : QString("sent, not relisted");
    std::printf("%s %s -> %s %s\n", qPrintable(t.serial), qPrintable(t.oldIp),
                qPrintable(sent ? shownIp : t.oldIp), qPrintable(text));
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

// Runs the action on the listed targets (their jobs then tell each outcome). Returns the
// exit status of a refusal (message printed), or 0.
int RunAction(const IpArgs& a, IpAssignment& ip, DeviceListModel& model, Prompt& prompt,
              const std::vector<int>& rows) {
    auto refuse = [](const char* key) {
        std::fprintf(stderr, "camfleet-cli ip: %s\n", qPrintable(GetDisplayString(key)));
        return 1;
    };
    if (a.action == "set") {
        const NetworkSettings v =
            Override(EditDialogValues(model.Record(rows[0])->answer.network), a);
        NetworkSettings sent = v;
        sent.dhcp = a.dhcp;
        if (!a.dhcp && !DialogValuesAccepted(v))
            return refuse(kDialogRuleKey);
        ip.SendNetwork(rows[0], sent);
    } else if (a.action == "free") {
        const AddressChecks checks = SystemAddressChecks();
        const std::optional<uint32_t> address =
            FindFreeAddress(ip.CollectFreeSearchInput(), *checks.probe, *checks.neighbours);
        if (!address)
            return refuse(kNoFreeAddressKey);
        ip.ApplyFreeAddress(rows[0], address, prompt);
    } else if (a.action == "dhcp") {
        ip.SwitchToDhcp(rows);
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
        ip.NumberDevices(rows, v, &settings);
    }
    return 0;
}

int RunIp(const QStringList& args) {
    IpArgs a;
    QString error;
    if (!ParseIpArgs(args, &a, &error))
        return Fail(kName, error, 2);
    CliSession session;
    int status = 0;
    if (!session.Start(a.search, true, &error, &status))
        return Fail(kName, error, status);
    FleetSession& fleet = session.fleet();
    DeviceListModel& model = fleet.Model();
    session.SearchForTargets(a.serials, a.all, a.search);

    ScriptedPrompt prompt;
    QStringList unknown;
    std::vector<Target> targets;
    std::vector<int> rows;
    for (int row : CliTargetRows(model, a.serials, a.all, &unknown)) {
        const DeviceRecord* r = model.Record(row);
        targets.push_back(
            {QString::fromLatin1(r->key), QString::fromLatin1(r->answer.network.ipAddress), row});
        rows.push_back(row);
    }
    for (const QString& serial : unknown)
        targets.push_back({serial, {}, -1});

    PcNetwork pc;
    std::unique_ptr<NetworkParamSource> source = MakeSystemNetworkParamSource();
    IpAssignment ip(&fleet.Table(), &model, &pc, source.get());
    ip.Follow(&fleet.Sync(), fleet.Tracker());
    if (rows.empty()) {
        std::fprintf(stderr, "camfleet-cli ip: no camera asked for is listed\n");
        for (const Target& t : targets)
            Print(model, ip, t, a.search.json);
        return 1;
    }
    status = RunAction(a, ip, model, prompt, rows);
    if (status != 0)
        return status;
    session.SearchUntil([&](qint64) { return ip.AllJobsFinished(); }, a.search.seconds,
                        SearchStart::kKeepTable);
    for (const Target& t : targets) {
        Print(model, ip, t, a.search.json);
        const NetworkJob* job = ip.Job(t.serial.toStdString());
        if (job == nullptr || job->phase != JobPhase::kDone)
            status = 1;
    }
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

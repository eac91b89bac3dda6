// camfleet-cli reboot, restore, time sync, password set and language: maintenance of listed
// cameras with the window's rules. Searches and logs in as `list` does, runs the command on
// the cameras asked for, waits for each camera's outcome and prints one line (or JSON object)
// per camera with the text of its final state. The window's confirmations become --yes:
// without it the command asks on a terminal and refuses otherwise. Exit status 0 only when
// every camera ended in success.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "cli/command.h"
#include "cli/search_options.h"
#include "cli/search_output.h"
#include "operations/device_maintenance.h"
#include "operations/feature_switches.h"
#include "operations/night_demo.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 15;

// Answers the operation's questions: yes with --yes, else asks on a terminal; messages go to
// stderr.
class CliPrompt : public ScriptedPrompt {
public:
    CliPrompt(const char* command, bool yes) : command_(command), yes_(yes) {}
    void ShowMessage(const char* textKey, const char* captionKey, PromptIcon icon) override {
        ScriptedPrompt::ShowMessage(textKey, captionKey, icon);
        std::fprintf(stderr, "camfleet-cli %s: %s\n", command_,
                     qPrintable(GetDisplayString(textKey)));
    }
    bool AskYesNo(const char* textKey, const char* captionKey) override {
        ScriptedPrompt::AskYesNo(textKey, captionKey);
        return Ask(GetDisplayString(textKey));
    }
    void ShowText(const QString& text, const char* captionKey, PromptIcon icon) override {
        ScriptedPrompt::ShowText(text, captionKey, icon);
        std::fprintf(stderr, "camfleet-cli %s: %s\n", command_, qPrintable(text));
    }
    bool AskYesNoText(const QString& text, const char* captionKey) override {
        ScriptedPrompt::AskYesNoText(text, captionKey);
        return Ask(text);
    }

private:
    bool Ask(const QString& text) {
        if (yes_)
            return true;
        if (isatty(fileno(stdin)) == 0) {
            std::fprintf(stderr, "camfleet-cli %s: %s (give --yes to confirm)\n", command_,
                         qPrintable(text));
            return false;
        }
        std::fprintf(stderr, "%s [y/N] ", qPrintable(text));
        std::string answer;
        std::getline(std::cin, answer);
        return answer == "y" || answer == "Y" || answer == "yes";
    }

    const char* command_;
    bool yes_;
};

struct MaintenanceArgs {
    QString command;  // reboot, restore, time, password, language
    QString value;    // language: en, cn, tw; protocol: hik, onvif, dh, tst
    QString onOff;    // protocol: on, off
    QString passwordFile;
    QString out;  // snapshot: the folder for the pictures
    bool yes = false;
    QStringList serials;
    bool all = false;
    SearchOptions search;
};

bool ParseArgs(const QString& command, const QStringList& args, MaintenanceArgs* a,
               QString* error) {
    a->command = command;
    qsizetype from = 0;
    // The word after the command: its action, or its value.
    const std::map<QString, QStringList> words = {{"time", {"sync"}},
                                                  {"password", {"set"}},
                                                  {"language", {"en", "cn", "tw"}},
                                                  {"video-type", {"H264", "H265", "H265+"}},
                                                  {"io", {"0", "1"}},
                                                  {"p2p", {"on", "off"}},
                                                  {"tv-system", {"pal", "ntsc"}},
                                                  {"onvif-allnet", {"on", "off"}},
                                                  {"factory-mode", {"on", "off"}},
                                                  {"pixel", {"scan", "save"}},
                                                  {"protocol", {"hik", "onvif", "dh", "tst"}}};
    if (const auto it = words.find(command); it != words.end()) {
        if (args.isEmpty() || !it->second.contains(args[0])) {
            *error = command + " takes " + it->second.join(", ");
            return false;
        }
        a->value = args[0];
        from = 1;
    }
    if (command == "protocol") {
        if (args.size() < 2 || (args[1] != "on" && args[1] != "off")) {
            *error = "protocol " + a->value + " takes on or off";
            return false;
        }
        a->onOff = args[1];
        from = 2;
    }
    TargetArgs targets;
    for (qsizetype i = from; i < args.size(); ++i) {
        if (args[i] == "--yes") {
            a->yes = true;
        } else if (args[i] == "--out" && command == "snapshot") {
            if (i + 1 >= args.size()) {
                *error = "missing value of --out";
                return false;
            }
            a->out = args[++i];
        } else if (args[i] == "--password-file" && command == "password") {
            if (i + 1 >= args.size()) {
                *error = "missing value of --password-file";
                return false;
            }
            a->passwordFile = args[++i];
        } else {
            targets.Take(args, &i);
        }
    }
    a->search.seconds = kDefaultSeconds;
    if (!targets.Finish(&a->serials, &a->all, &a->search, error))
        return false;
    if (a->serials.isEmpty() == !a->all)
        *error = "give SERIAL... or --all";
    return error->isEmpty();
}

// A line from the terminal without echo.
QString ReadHidden(const char* question) {
    std::fprintf(stderr, "%s", question);
    termios old{};
    const bool terminal = tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::fprintf(stderr, "\n");
    return QString::fromStdString(line);
}

// The new password, twice: from the file's first line, or asked on the terminal.
bool ReadPassword(const MaintenanceArgs& a, QString* password, QString* repeat, QString* error) {
    if (!a.passwordFile.isEmpty()) {
        QFile file(a.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = "cannot read " + a.passwordFile;
            return false;
        }
        const QByteArray line = file.readLine().trimmed();
        *password = *repeat = QString::fromUtf8(line);
        return true;
    }
    if (isatty(STDIN_FILENO) == 0) {
        *error = "password set needs a terminal or --password-file";
        return false;
    }
    *password = ReadHidden("New password: ");
    *repeat = ReadHidden("Repeat it: ");
    return true;
}

Language LanguageOf(const QString& value) {
    return value == "cn"   ? Language::kSimplifiedChinese
           : value == "tw" ? Language::kTraditionalChinese
                           : Language::kEnglish;
}

int Run(const MaintenanceArgs& a) {
    const QByteArray name = a.command.toLatin1();
    QString password, repeat, error;
    if (a.command == "password" && !ReadPassword(a, &password, &repeat, &error))
        return Fail(name.constData(), error, 2);
    CliSession session;
    if (a.command == "snapshot")
        session.SetSnapshotFolder(a.out.isEmpty() ? DefaultSnapshotFolder()
                                                  : QDir(a.out).absolutePath());
    int status = 0;
    if (!session.Start(a.search, true, &error, &status))
        return Fail(name.constData(), error, status);
    FleetSession& fleet = session.fleet();
    DeviceListModel& model = fleet.Model();
    session.SearchForTargets(a.serials, a.all, a.search);
    QStringList unknown;
    const std::vector<int> rows = CliTargetRows(model, a.serials, a.all, &unknown);
    if (rows.empty()) {
        std::fprintf(stderr, "camfleet-cli %s: no camera asked for is listed\n", name.constData());
        return 1;
    }
    DeviceMaintenance maintenance(&model, &fleet.Table(), &fleet.Workers(), SdkMaintenanceCalls(),
                                  fleet.Router());
    FeatureSwitches switches(&model, fleet.Router());
    NightDemo demo(&model, fleet.Router(), &fleet.Workers());
    CliPrompt prompt(name.constData(), a.yes);
    const MaintenanceForm form = MaintenanceForm::kTicked;  // the batch's confirmation
    bool started = false;
    // The read-change-write switches keep their own jobs.
    const bool isSwitch =
        a.command == "tv-system" || a.command == "onvif-allnet" || a.command == "protocol";
    const std::map<std::string, JobState>& jobs = isSwitch                    ? switches.Jobs()
                                                  : a.command == "night-demo" ? demo.Jobs()
                                                                              : maintenance.Jobs();
    if (a.command == "tv-system")
        started = switches.Switch(rows, FeatureSwitch::kTvSystem, a.value == "pal" ? 1 : 0,
                                  SwitchForm::kWindow, prompt);
    else if (a.command == "onvif-allnet")
        started = switches.Switch(rows, FeatureSwitch::kOnvifAllNet, a.value == "on" ? 1 : 0,
                                  SwitchForm::kWindow, prompt);
    else if (a.command == "protocol")
        started = switches.Switch(rows,
                                  a.value == "hik"     ? FeatureSwitch::kHik
                                  : a.value == "onvif" ? FeatureSwitch::kOnvif
                                  : a.value == "dh"    ? FeatureSwitch::kDh
                                                       : FeatureSwitch::kTst,
                                  a.onOff == "on" ? 1 : 0, SwitchForm::kWindow, prompt);
    else if (a.command == "night-demo")
        started = demo.Start(rows, prompt);
    else if (a.command == "snapshot")
        started = maintenance.Snapshot(rows, form, prompt);
    else if (a.command == "factory-mode")
        started = maintenance.SetFactoryMode(rows, a.value == "on", form, prompt);
    else if (a.command == "pixel")
        started = maintenance.PixelMaintenance(
            rows, a.value == "scan" ? kPixelScanPreset : kPixelSavePreset, prompt);
    else if (a.command == "reboot")
        started = maintenance.Reboot(rows, form, prompt);
    else if (a.command == "restore")
        started = maintenance.Restore(rows, form, prompt);
    else if (a.command == "time")
        started = maintenance.SyncTime(rows, prompt);
    else if (a.command == "password")
        started = maintenance.SetPassword(rows, password, repeat, prompt);
    else if (a.command == "video-type")
        started = maintenance.SetVideoType(rows,
                                           a.value == "H264"   ? VideoType::kH264
                                           : a.value == "H265" ? VideoType::kH265
                                                               : VideoType::kH265Plus,
                                           form, prompt);
    else if (a.command == "p2p")
        started = maintenance.SetP2p(rows, a.value == "on", prompt);
    else if (a.command == "io")
        started = maintenance.SetIoOutput(rows, a.value.toInt(), prompt);
    else
        started = maintenance.SetLanguage(rows, LanguageOf(a.value), form, prompt);
    if (!started)
        return 1;
    PictureDownloads* pictures = fleet.Pictures();
    const auto finished = [&](qint64 elapsedMs) {
        if (maintenance.Running() > 0 || switches.Running() > 0 || demo.Active() ||
            demo.Running() > 0)
            return false;
        for (const auto& [key, job] : jobs)
            if (!job.Finished())
                return false;
        if (a.command != "snapshot")
            return true;
        // Every camera that took the request sends its picture within the snapshot watch's
        // 5 s; its download ends with the SDK's event.
        if (pictures->Running() > 0)
            return false;
        for (int row : rows) {
            const auto it = jobs.find(model.Record(row)->key);
            if (it != jobs.end() && it->second.phase == JobPhase::kDone &&
                model.Record(row)->snapshotPending != 0 && elapsedMs < 6000)
                return false;
        }
        return true;
    };
    session.SearchUntil(finished, a.search.seconds + 15, SearchStart::kKeepTable);
    status = unknown.isEmpty() ? 0 : 1;
    for (int row : rows) {
        const DeviceRecord* record = model.Record(row);
        const auto it = jobs.find(record->key);
        bool ok = it != jobs.end() && it->second.phase == JobPhase::kDone;
        QString file;
        if (a.command == "snapshot" && ok) {
            // The picture decides: fetched whole, or what the row shows instead.
            ok = false;
            for (const PictureDownloads::Download& d : pictures->Downloads())
                if (d.key == record->key) {
                    ok = d.state == PictureDownloads::State::kDone;
                    file = d.path;
                }
        }
        const QString state = a.command == "snapshot" && it != jobs.end()
                                  ? (ok ? GetDisplayString(DisplayKey("MSGTIP9"))
                                     : file.isEmpty() && record->snapshotPending != 0
                                         ? GetDisplayString(DisplayKey("SNAPPING_TIMEOUT"))
                                         : model.CellText(row, kColumnState))
                              : it == jobs.end()          ? QString("not logged in")
                              : it->second.key != nullptr ? GetDisplayString(it->second.key)
                              : it->second.phase == JobPhase::kDone   ? QString("ok")
                              : it->second.phase == JobPhase::kFailed ? QString("failed")
                                                                      : QString("no answer");
        if (!ok)
            status = 1;
        PrintCameraOutcome(a.search.json, record->key, ok, state, file);
    }
    for (const QString& serial : unknown) {
        if (a.search.json)
            std::printf("%s\n", QJsonDocument(QJsonObject{{"SERIAL", serial},
                                                          {"RESULT", "not-listed"},
                                                          {"STATE", ""}})
                                    .toJson(QJsonDocument::Compact)
                                    .constData());
        else
            std::printf("%s not-listed\n", qPrintable(serial));
    }
    return status;
}

CommandFunction Command(const char* name) {
    return [name](const QStringList& args) {
        MaintenanceArgs a;
        QString error;
        if (!ParseArgs(name, args, &a, &error))
            return Fail(name, error, 2);
        return Run(a);
    };
}

const CommandRegistration rebootCommand(
    "reboot",
    "reboot SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "reboot cameras (SDK session, then the discovery reboot)", Command("reboot"));
const CommandRegistration restoreCommand("restore",
                                         "restore SERIAL...|--all [--yes] [--lab N | --loopback] "
                                         "[--adapter ADDR] [--seconds S] [--json]",
                                         "restore cameras' factory settings", Command("restore"));
const CommandRegistration timeCommand("time",
                                      "time sync SERIAL...|--all [--yes] [--lab N | --loopback] "
                                      "[--adapter ADDR] [--seconds S] [--json]",
                                      "set cameras' clocks to this PC's time and zone",
                                      Command("time"));
const CommandRegistration passwordCommand(
    "password",
    "password set [--password-file F] SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter "
    "ADDR] [--seconds S] [--json]",
    "change cameras' admin password (asked twice, without echo)", Command("password"));
const CommandRegistration languageCommand("language",
                                          "language en|cn|tw SERIAL...|--all [--yes] [--lab N | "
                                          "--loopback] [--adapter ADDR] [--seconds S] [--json]",
                                          "set cameras' interface language", Command("language"));

const CommandRegistration videoTypeCommand(
    "video-type",
    "video-type H264|H265|H265+ SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--json]",
    "set both streams' video codec (with default encoding values)", Command("video-type"));
const CommandRegistration ioCommand(
    "io",
    "io 0|1 SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "set cameras' IO output", Command("io"));

const CommandRegistration p2pCommand("p2p",
                                     "p2p on|off SERIAL...|--all [--yes] [--lab N | --loopback] "
                                     "[--adapter ADDR] [--seconds S] [--json]",
                                     "switch cameras' P2P service on or off", Command("p2p"));
const CommandRegistration nightDemoCommand(
    "night-demo",
    "night-demo SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] [--seconds S] [--json]",
    "force the cameras into night mode for 5 s, then restore what they had", Command("night-demo"));
const CommandRegistration snapshotCommand(
    "snapshot",
    "snapshot [--out DIR] SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] [--seconds S] "
    "[--json]",
    "take a picture on each camera and fetch it into DIR/<camera's IP address>/ (default: the "
    "documents folder's snap)",
    Command("snapshot"));
const CommandRegistration factoryModeCommand(
    "factory-mode",
    "factory-mode on|off SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--json]",
    "switch cameras' factory mode on or off (system command, then the discovery datagram)",
    Command("factory-mode"));
const CommandRegistration pixelCommand(
    "pixel",
    "pixel scan|save SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] [--seconds S] "
    "[--json]",
    "scan or save the image sensors' defective pixels (PTZ presets 200 and 201)", Command("pixel"));
const CommandRegistration tvSystemCommand(
    "tv-system",
    "tv-system pal|ntsc SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--json]",
    "set cameras' TV system (PAL 50 Hz, NTSC 60 Hz); a camera already there gets no write",
    Command("tv-system"));
const CommandRegistration onvifAllNetCommand(
    "onvif-allnet",
    "onvif-allnet on|off SERIAL...|--all [--yes] [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--json]",
    "switch cameras' ONVIF all-net flag", Command("onvif-allnet"));
const CommandRegistration protocolCommand(
    "protocol",
    "protocol hik|onvif|dh|tst on|off SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--json]",
    "switch one of cameras' protocol services (HIK, ONVIF, DH, TST)", Command("protocol"));

}  // namespace
}  // namespace camfleet::cli

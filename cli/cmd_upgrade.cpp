// camfleet-cli upgrade and model: firmware upgrades, clearing the custom configuration and
// the custom model of listed cameras, with the window's rules. Searches and logs in as `list`
// does, starts the uploads, shows a live progress line per camera on a terminal, then waits
// for every upgraded camera to restart and log in again and reports the version it now runs.
// Exit status 0 only when every camera asked for succeeded: an upgraded camera runs another
// version than before, a cleared one came back, a custom model was taken.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "cli/command.h"
#include "cli/search_options.h"
#include "operations/batch_targets.h"
#include "operations/firmware_upgrade.h"
#include "resources/save_param.h"

namespace camfleet::cli {

namespace {

constexpr int kDefaultSeconds = 15;
constexpr int kDefaultReturnSeconds = 180;

enum class Action { kFile, kDirectory, kClearCustom, kModelSet, kModelClear };

struct UpgradeArgs {
    const char* command = "upgrade";
    Action action = Action::kFile;
    QString file, directory, modelText, toolDirectory;
    QStringList serials;
    bool all = false;
    int deadlineSeconds = static_cast<int>(FirmwareUpgrade::kDefaultDeadlineMs / 1000);
    int returnSeconds = kDefaultReturnSeconds;
    SearchOptions search;
};

bool ParseNumber(const QString& text, int* value) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        return false;
    *value = n;
    return true;
}

// The targets (SERIAL... or --all), the command's own options and the search options.
bool ParseCommon(const QStringList& args, qsizetype from, UpgradeArgs* a, QString* error) {
    TargetArgs targets;
    for (qsizetype i = from; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        QString* text = arg == "--file"       ? &a->file
                        : arg == "--dir"      ? &a->directory
                        : arg == "--tool-dir" ? &a->toolDirectory
                                              : nullptr;
        int* number = arg == "--deadline"      ? &a->deadlineSeconds
                      : arg == "--return-wait" ? &a->returnSeconds
                                               : nullptr;
        if ((text != nullptr || number != nullptr) && !hasValue) {
            *error = "missing value of " + arg;
            return false;
        }
        if (text != nullptr) {
            *text = args[++i];
        } else if (number != nullptr) {
            if (!ParseNumber(args[++i], number)) {
                *error = arg + " takes a whole number of seconds above 0";
                return false;
            }
        } else if (arg == "--clear-custom") {
            a->action = Action::kClearCustom;
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

bool ParseUpgradeArgs(const QStringList& args, UpgradeArgs* a, QString* error) {
    if (!ParseCommon(args, 0, a, error))
        return false;
    const int given = (a->file.isEmpty() ? 0 : 1) + (a->directory.isEmpty() ? 0 : 1) +
                      (a->action == Action::kClearCustom ? 1 : 0);
    if (given != 1) {
        *error = "give exactly one of --file F, --dir D and --clear-custom";
        return false;
    }
    if (!a->directory.isEmpty())
        a->action = Action::kDirectory;
    return true;
}

bool ParseModelArgs(const QStringList& args, UpgradeArgs* a, QString* error) {
    a->command = "model";
    if (args.isEmpty() || (args[0] != "set" && args[0] != "clear")) {
        *error = "missing action (set TEXT, clear)";
        return false;
    }
    qsizetype from = 1;
    if (args[0] == "set") {
        if (args.size() < 2) {
            *error = "model set needs the model TEXT";
            return false;
        }
        a->action = Action::kModelSet;
        a->modelText = args[1];
        from = 2;
    } else {
        a->action = Action::kModelClear;
    }
    if (!ParseCommon(args, from, a, error))
        return false;
    if (!a->file.isEmpty() || !a->directory.isEmpty()) {
        *error = "model takes no --file or --dir";
        return false;
    }
    return true;
}

// One camera asked for and what became of it.
struct Target {
    QString serial;
    QString oldVersion;
    int row = -1;  // -1: not listed
    bool reported = false;
};

bool IsFirmware(Action action) {
    return action == Action::kFile || action == Action::kDirectory ||
           action == Action::kClearCustom;
}

// The result word of a camera, and whether it counts as a success.
QString ResultOf(const UpgradeArgs& a, const DeviceListModel& model, const UpgradeJob* job,
                 const Target& t, bool* ok) {
    *ok = false;
    if (t.row < 0)
        return "not-listed";
    if (job == nullptr) {
        const RowState* state = model.State(t.row);
        if (state == nullptr || !state->LoggedIn())
            return "not-logged-in";
        return a.action == Action::kDirectory ? "no-file" : "skipped";
    }
    if (job->phase == JobPhase::kFailed)
        return job->failKey != nullptr && std::strcmp(job->failKey, kUpgradeNotStartedKey) == 0
                   ? "not-started"
                   : "failed";
    if (job->phase != JobPhase::kDone)
        return "unfinished";
    if (!IsFirmware(a.action)) {
        *ok = true;
        return "ok";
    }
    if (!job->returned)
        return "no-return";
    if (a.action == Action::kClearCustom || job->version != job->oldVersion) {
        *ok = true;
        return "ok";
    }
    return "unchanged";
}

// Whether the camera's outcome is known (and can be printed).
bool Ended(const UpgradeArgs& a, const UpgradeJob* job, const Target& t, int64_t nowMs,
           int64_t returnMs) {
    if (t.row < 0 || job == nullptr || job->phase == JobPhase::kFailed)
        return true;
    if (job->phase != JobPhase::kDone)
        return false;
    return !IsFirmware(a.action) || job->returned || nowMs - job->endedMs >= returnMs;
}

class Report {
public:
    Report(const UpgradeArgs& a, const DeviceListModel& model, const FirmwareUpgrade& upgrade,
           std::vector<Target>* targets)
        : a_(a),
          model_(model),
          upgrade_(upgrade),
          targets_(targets),
          live_(!a.search.json && isatty(fileno(stdout)) != 0) {}

    // Prints the cameras that ended since the last call and redraws the live lines.
    void Update(int64_t nowMs, int64_t returnMs, bool final) {
        if (live_ && drawn_ > 0)
            std::printf("\x1b[%dA\x1b[J", drawn_);
        drawn_ = 0;
        for (Target& t : *targets_) {
            const UpgradeJob* job = JobOf(t);
            if (t.reported || (!final && !Ended(a_, job, t, nowMs, returnMs)))
                continue;
            t.reported = true;
            PrintEnd(t, job);
        }
        if (live_ && !final) {
            for (const Target& t : *targets_)
                if (!t.reported) {
                    std::printf("%s %s\n", qPrintable(t.serial),
                                qPrintable(model_.CellText(t.row, kColumnState)));
                    ++drawn_;
                }
        }
        std::fflush(stdout);
    }

    bool AllSucceeded() const {
        for (const Target& t : *targets_) {
            bool ok = false;
            ResultOf(a_, model_, JobOf(t), t, &ok);
            if (!ok)
                return false;
        }
        return true;
    }

private:
    const UpgradeJob* JobOf(const Target& t) const {
        return t.row < 0 ? nullptr : upgrade_.Job(t.serial.toStdString());
    }

    void PrintEnd(const Target& t, const UpgradeJob* job) {
        bool ok = false;
        const QString result = ResultOf(a_, model_, job, t, &ok);
        const QString version = job != nullptr && job->returned ? job->version : QString();
        const int64_t end = job == nullptr     ? 0
                            : job->returned    ? job->returnedMs
                            : job->endedMs > 0 ? job->endedMs
                                               : job->startedMs;
        const double seconds = job == nullptr ? 0.0 : (end - job->startedMs) / 1000.0;
        if (a_.search.json) {
            QJsonObject object{{"SERIAL", t.serial},
                               {"OLDVERSION", t.oldVersion},
                               {"VERSION", version},
                               {"RESULT", result},
                               {"SECONDS", qRound(seconds * 10) / 10.0}};
            std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
            return;
        }
        const QString state = t.row >= 0 ? model_.CellText(t.row, kColumnState) : QString();
        std::printf("%s %s -> %s %s %.1fs %s\n", qPrintable(t.serial),
                    qPrintable(t.oldVersion.isEmpty() ? QString("-") : t.oldVersion),
                    qPrintable(version.isEmpty() ? QString("-") : version), qPrintable(result),
                    seconds, qPrintable(state));
    }

    const UpgradeArgs& a_;
    const DeviceListModel& model_;
    const FirmwareUpgrade& upgrade_;
    std::vector<Target>* targets_;
    const bool live_;
    int drawn_ = 0;
};

// Starts the action; false when it was refused as a whole (its box printed).
bool StartAction(const UpgradeArgs& a, FirmwareUpgrade& upgrade, const std::vector<int>& rows,
                 ScriptedPrompt& prompt) {
    switch (a.action) {
        case Action::kFile:
            return upgrade.UpgradeFile(QDir::current().absoluteFilePath(a.file), rows, prompt);
        case Action::kDirectory:
            return upgrade.UpgradeDirectory(QDir::current().absoluteFilePath(a.directory), rows,
                                            prompt);
        case Action::kClearCustom:
            return upgrade.ClearCustomConfiguration(rows, prompt);
        case Action::kModelSet:
            return upgrade.SetCustomModel(a.modelText, rows, prompt);
        case Action::kModelClear:
            return upgrade.RemoveCustomModel(rows, prompt);
    }
    return false;
}

int Run(const UpgradeArgs& a) {
    QString error;
    CliSession session;
    int status = 0;
    if (!session.Start(a.search, true, &error, &status))
        return Fail(a.command, error, status);
    FleetSession& fleet = session.fleet();
    DeviceListModel& model = fleet.Model();
    // The directory upgrade needs each camera's version, which its login's follow-up brings.
    session.SearchForTargets(a.serials, a.all, a.search);

    ScriptedPrompt prompt;
    QStringList unknown;
    std::vector<Target> targets;
    std::vector<int> rows;
    for (int row : CliTargetRows(model, a.serials, a.all, &unknown)) {
        const DeviceRecord* r = model.Record(row);
        targets.push_back({QString::fromLatin1(r->key),
                           QString::fromUtf8(r->firmwareVersion,
                                             static_cast<qsizetype>(strnlen(
                                                 r->firmwareVersion, sizeof r->firmwareVersion))),
                           row});
        rows.push_back(row);
    }
    for (const QString& serial : unknown)
        targets.push_back({serial, {}, -1});

    FirmwareUpgrade upgrade(&model, fleet.Router(), fleet.Tracker(), &fleet.Workers());
    upgrade.SetDeadline(int64_t{a.deadlineSeconds} * 1000);
    if (!a.toolDirectory.isEmpty())
        upgrade.SetToolDirectory(QDir::current().absoluteFilePath(a.toolDirectory));
    Report report(a, model, upgrade, &targets);
    if (rows.empty()) {
        std::fprintf(stderr, "camfleet-cli %s: no camera asked for is listed\n", a.command);
        report.Update(0, 0, true);
        return 1;
    }
    if (!StartAction(a, upgrade, rows, prompt)) {
        const QStringList keys = prompt.MessageKeys();
        return Fail(a.command,
                    keys.isEmpty() ? QString("not started")
                                   : GetDisplayString(keys.last().toLatin1().constData()),
                    1);
    }
    const int64_t returnMs = int64_t{a.returnSeconds} * 1000;
    QElapsedTimer clock;
    clock.start();
    qint64 lastDrawn = -1000;
    const int cap = a.deadlineSeconds + a.returnSeconds + a.search.seconds + 60;
    session.SearchUntil(
        [&](qint64 elapsedMs) {
            if (elapsedMs - lastDrawn >= 250) {
                report.Update(clock.elapsed(), returnMs, false);
                lastDrawn = elapsedMs;
            }
            return upgrade.UploadsRunning() == 0 && upgrade.AllFinished(true, returnMs);
        },
        cap, SearchStart::kKeepTable);
    report.Update(clock.elapsed(), returnMs, true);
    return report.AllSucceeded() ? 0 : 1;
}

int RunUpgrade(const QStringList& args) {
    UpgradeArgs a;
    QString error;
    if (!ParseUpgradeArgs(args, &a, &error))
        return Fail("upgrade", error, 2);
    return Run(a);
}

int RunModel(const QStringList& args) {
    UpgradeArgs a;
    QString error;
    if (!ParseModelArgs(args, &a, &error))
        return Fail("model", error, 2);
    return Run(a);
}

const CommandRegistration upgradeCommand(
    "upgrade",
    "upgrade --file F | --dir D | --clear-custom [--tool-dir DIR]  SERIAL...|--all "
    "[--deadline S] [--return-wait S] [--lab N | --loopback] [--adapter ADDR] [--seconds S] "
    "[--sort COLUMN[:desc]] [--json]",
    "upgrade cameras' firmware, wait until they run it and report their versions", RunUpgrade);

const CommandRegistration modelCommand(
    "model",
    "model set TEXT | model clear  SERIAL...|--all [--lab N | --loopback] [--adapter ADDR] "
    "[--seconds S] [--sort COLUMN[:desc]] [--json]",
    "set or remove the custom model name cameras report", RunModel);

}  // namespace
}  // namespace camfleet::cli

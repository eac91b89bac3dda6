#pragma once
// Helpers of the window tests: a lab of simulated cameras on loopback addresses of its own,
// windows whose search timers the test drives, and a prompt that records what it was asked.
// Waits end as soon as the awaited state is reached and are bounded by a generous limit;
// nothing asserts on how long anything took.

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/search_controls.h"
#include "app/window_prompt.h"
#include "discovery/lab_helpers.h"
#include "sim/sim_lab.h"

namespace camfleet {

// Records every message and question; answers questions from a queue (No when empty).
class RecordingPrompt : public WindowPrompt {
public:
    struct Message {
        QString text;
        QString caption;
        PromptIcon icon;
    };

    void ShowMessage(const QString& text, const QString& caption, PromptIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool AskYesNo(const QString& text, const QString& caption) override {
        messages.push_back({text, caption, PromptIcon::kQuestion});
        return false;
    }
    // The next of `files` (cancelled when none is left); the proposed name is kept.
    QString ChooseFile(const QString&, const QString& filter, bool,
                       const QString& proposedName = {}) override {
        lastFilter = filter;
        lastProposedName = proposedName;
        if (files.empty())
            return {};
        const QString file = files.front();
        files.pop_front();
        return file;
    }
    QString ChooseFolder(const QString&) override { return {}; }

    std::vector<Message> messages;
    std::deque<QString> files;
    QString lastFilter;
    QString lastProposedName;
};

// A lab of `cameras` simulated cameras on 127.0.60.1 upward and a discovery port of its own
// (stored in `port`).
inline std::unique_ptr<sim::SimLab> StartLab(int cameras, uint16_t* port) {
    auto lab = std::make_unique<sim::SimLab>();
    sim::LabOptions options;
    options.cameras = cameras;
    options.port = *port = FreeUdpPort();
    options.firstAddress = "127.0.60.1";
    options.maxAnswerDelayMs = 5;
    std::string error;
    if (lab->Start(options, &error) != 0)
        qFatal("lab not started: %s", error.c_str());
    return lab;
}

// Window options for a lab on `port`: manual ticks, no maximising, the given prompt.
inline WindowOptions LabWindowOptions(uint16_t port, WindowPrompt* prompt) {
    WindowOptions options;
    options.searcher.labMode = true;
    options.searcher.port = port;
    options.manualTicks = true;
    options.maximiseAfterShow = false;
    options.prompt = prompt;
    // Pictures go to a folder of the test run's own, never the user's documents.
    options.snapshotFolder = QDir::temp().filePath(
        QStringLiteral("camfleet-window-test-snap-%1").arg(QCoreApplication::applicationPid()));
    return options;
}

// Drives the search timers by hand (a request now and then, merge ticks often) until `done`
// holds or 30 s passed. Returns the last value of `done`.
inline bool DriveSearch(CRoRudAzovorErarDlg& window, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    qint64 nextRequest = 0;
    while (!done()) {
        if (clock.elapsed() > 30000)
            return false;
        if (clock.elapsed() >= nextRequest) {
            window.Search()->OnRequestTick();
            nextRequest += 300;
        }
        window.Search()->OnSyncTick();
        window.Search()->OnFollowUpTick();  // merges only while no search runs
        QTest::qWait(20);
    }
    return true;
}

// Ends the automatic stop of the first search by driving its 27 merge ticks, then starts a
// search of the operator's own (which does not stop by itself).
inline void StartUsersSearch(CRoRudAzovorErarDlg& window) {
    for (int tick = 0; tick < 27 && window.Search()->IsAutoStopPending(); ++tick)
        window.Search()->OnSyncTick();
    window.Search()->Start();
}

// True when the list shows `rows` cameras, all logged in with a firmware version.
inline bool AllListedAndLoggedIn(CRoRudAzovorErarDlg& window, int rows) {
    DeviceListModel& model = window.Model();
    if (model.Count() != rows)
        return false;
    for (int row = 0; row < rows; ++row) {
        if (!model.Record(row)->loggedIn || model.CellText(row, kColumnVersion).isEmpty())
            return false;
    }
    return true;
}

}  // namespace camfleet

// Reboot benchmark: the real window (offscreen platform unless QT_QPA_PLATFORM says
// otherwise) reboots a lab of 500 cameras at once with the batch reboot button. The cameras run
// in a camfleet-sim started beside this program (same network namespace, discovery port 3111,
// 3 s down after a reboot), so that nothing of theirs counts towards this process.
//
// Figures, from the click that starts the reboot (the question answered yes):
//  - every row showing its result (the SDK's reboot answered: "RESTARTING", or a failure);
//  - every camera logged in again (each row seen logged out after the click, then logged in
//    with its version read again), counted from the moment the cameras come back: the click
//    plus the lab's downtime (target 15 s);
//  - the longest gap between ticks of a 2 ms timer on the UI thread from the click until every
//    camera is back (target under 100 ms), and the UI thread's own CPU time within that gap.
//
//   bench_reboot [--cameras N] [--silence-ms MS]

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/maintenance_commands.h"
#include "app/window_prompt.h"
#include "device/codes.h"
#include "lab_window_bench.h"
#include "operations/device_maintenance.h"

namespace {

using namespace camfleet::bench;
constexpr uint16_t kLabPort = 3111;
constexpr double kBackTargetSeconds = 15;
constexpr double kStallTargetMs = 100;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

bool Report(const char* what, double value, const char* unit, double target) {
    const bool met = value <= target;
    std::printf("  %s: %.3f %s, target %s %.0f %s: %s\n", what, value, unit,
                target == kStallTargetMs ? "<" : "<=", target, unit, met ? "met" : "MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    int cameras = 500;
    int silenceMs = 3000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--cameras") == 0)
            cameras = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--silence-ms") == 0)
            silenceMs = std::max(0, std::atoi(argv[++i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SimProcess lab(cameras, kLabPort, {"--reboot-silence", std::to_string(silenceMs)});
    if (!lab.Ready())
        return 1;
    PrintingPrompt prompt("bench_reboot");
    CRoRudAzovorErarDlg window(LabWindow(&prompt, kLabPort));
    window.resize(1920, 1080);
    window.show();
    if (!RunUntil([&] { return AllListedAndLoggedIn(window, cameras); }, 120)) {
        std::fprintf(stderr, "bench_reboot: only %d of %d cameras listed and logged in\n",
                     window.Model().Count(), cameras);
        return 1;
    }
    camfleet::DeviceListModel& model = window.Model();
    model.SetAllChecked(true);
    // Let the list repaint its ticks before the measurement starts.
    RunUntil([] { return false; }, 0.2);
    std::vector<char> wentDown(static_cast<std::size_t>(model.Count()), 0);
    camfleet::DeviceMaintenance* op = window.Maintenance()->Operation();
    StallProbe probe;
    probe.Start();
    const Clock::time_point click = Clock::now();
    window.Maintenance()->RebootButton()->click();
    Clock::time_point shown{};
    const bool back = RunUntil(
        [&] {
            bool all = true;
            for (int row = 0; row < model.Count(); ++row) {
                const camfleet::DeviceRecord* r = model.Record(row);
                if (!r->loggedIn)
                    wentDown[static_cast<std::size_t>(row)] = 1;
                all = all && wentDown[static_cast<std::size_t>(row)] && r->loggedIn &&
                      r->firmwareVersion[0] != '\0';
            }
            if (shown == Clock::time_point{} && op->Running() == 0 &&
                static_cast<int>(op->Jobs().size()) >= cameras) {
                bool finished = true;
                for (const auto& [key, job] : op->Jobs())
                    finished = finished && job.Finished();
                if (finished)
                    shown = Clock::now();
            }
            return all && shown != Clock::time_point{};
        },
        120);
    const Clock::time_point end = Clock::now();
    probe.Stop();
    int restarting = 0;
    for (const auto& [key, job] : op->Jobs())
        restarting += job.phase == camfleet::JobPhase::kDone ? 1 : 0;
    std::printf(
        "%d lab cameras (camfleet-sim, another process, %d ms down after a reboot) "
        "rebooted by the window's batch reboot:\n",
        cameras, silenceMs);
    std::printf("  every row shows its result after %.3f s (%d of %d rebooting)\n",
                Seconds(shown - click), restarting, cameras);
    bool ok = back;
    if (!back)
        std::printf("  not every camera came back within 120 s\n");
    const double afterBack = Seconds(end - click) - silenceMs / 1000.0;
    ok = Report("every camera logged in again, after the cameras came back", afterBack, "s",
                kBackTargetSeconds) &&
         ok;
    ok = Report("longest UI-thread stall (2 ms timer)", probe.LongestMs(), "ms", kStallTargetMs) &&
         ok;
    std::printf("    of which the UI thread ran %.1f ms (the rest it waited for a core)\n",
                probe.LongestCpuMs());
    window.close();
    return ok ? 0 : 1;
}

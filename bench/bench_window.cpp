// Window benchmark (offscreen platform unless QT_QPA_PLATFORM says otherwise):
//  - the window shown on a lab of 12 cameras: from construction to the first exposed frame,
//    median of 5 (target 1.5 s);
//  - sorting 1,000 rows by a header click, serial and IP columns, median of 5 (target 50 ms);
//  - with a lab of 1,000 cameras, the longest stall of the UI thread during the search and
//    the login storm (5 s; target under 100 ms) and the peak memory (target 200 MB).
//
//   bench_window [--cameras N] [--storm-seconds S]

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/search_controls.h"
#include "devicelist/device_list_model.h"
#include "sim/sim_lab.h"
#include "widgets/report_ctrl.h"

namespace {

using camfleet::CRoRudAzovorErarDlg;
constexpr uint16_t kBenchPort = 3102;  // apart from a lab that may run on 3001
constexpr double kShowTargetSeconds = 1.5;
constexpr double kSortTargetMs = 50;
constexpr double kStallTargetMs = 100;
constexpr double kMemoryTargetMb = 200;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::unique_ptr<camfleet::sim::SimLab> StartLab(int cameras) {
    auto lab = std::make_unique<camfleet::sim::SimLab>();
    camfleet::sim::LabOptions options;
    options.cameras = cameras;
    options.port = kBenchPort;
    std::string error;
    if (lab->Start(options, &error) != 0) {
        std::fprintf(stderr, "bench_window: lab not started: %s\n", error.c_str());
        return nullptr;
    }
    return lab;
}

camfleet::WindowOptions LabWindow() {
    camfleet::WindowOptions options;
    options.searcher.labMode = true;
    options.searcher.port = kBenchPort;
    options.maximiseAfterShow = false;
    return options;
}

double SecondsToShow() {
    QElapsedTimer clock;
    clock.start();
    CRoRudAzovorErarDlg window(LabWindow());
    window.resize(1366, 768);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1e9;
    return clock.nsecsElapsed() / 1e9;
}

// A row with a hexadecimal serial and an address in 10.x.
std::unique_ptr<camfleet::DeviceRecord> RandomRecord(int i) {
    auto record = std::make_unique<camfleet::DeviceRecord>();
    const unsigned value = 2654435761u * unsigned(i + 1);
    std::snprintf(record->key, sizeof record->key, "%08X%04X", value, i);
    std::strcpy(record->answer.serialNumber, record->key);
    std::snprintf(record->answer.network.ipAddress, sizeof record->answer.network.ipAddress,
                  "10.%u.%u.%u", (value >> 16) & 255, (value >> 8) & 255, value & 255);
    return record;
}

double SortMilliseconds(int rows, int column) {
    CRoRudAzovorErarDlg window(LabWindow());
    window.Search()->Stop();
    for (int i = 0; i < rows; ++i)
        window.Model().AppendRow(RandomRecord(i));
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        window.List()->SortByHeaderClick(column);
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

// Longest gap between 10 ms ticks of the UI thread while the window searches `cameras` lab
// cameras and logs them in, over `seconds` (before the first search stops by itself). Also
// reports how many were listed and logged in, and how long the Stop that follows holds the
// UI thread (it joins the search thread).
double LongestStallMs(int cameras, int seconds) {
    auto lab = StartLab(cameras);
    if (!lab)
        return 1e9;
    CRoRudAzovorErarDlg window(LabWindow());
    window.resize(1920, 1080);
    window.show();
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    probe.start(10);
    while (clock.elapsed() < seconds * 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    int loggedIn = 0;
    for (int row = 0; row < window.Model().Count(); ++row)
        loggedIn += window.Model().Record(row)->loggedIn ? 1 : 0;
    std::printf("  listed %d, logged in %d of %d cameras after %d s\n", window.Model().Count(),
                loggedIn, cameras, seconds);
    probe.stop();
    QElapsedTimer stop;
    stop.start();
    window.Search()->Stop();
    std::printf("  Stop (joins the search thread): %lld ms\n", stop.elapsed());
    return double(longest);
}

double PeakMemoryMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

bool Report(const char* what, double value, const char* unit, double target) {
    const bool ok = value < target;
    std::printf("  %s: %.3f %s, target < %.1f %s: %s\n", what, value, unit, target, unit,
                ok ? "met" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int cameras = 1000;
    int stormSeconds = 5;  // the first search stops itself after about 5.4 s
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--cameras")
            cameras = std::max(1, args[i + 1].toInt());
        if (args[i] == "--storm-seconds")
            stormSeconds = std::max(1, args[i + 1].toInt());
    }
    bool ok = true;
    {
        auto lab = StartLab(12);
        if (!lab)
            return 1;
        std::vector<double> times;
        for (int run = 0; run < 5; ++run)
            times.push_back(SecondsToShow());
        std::printf("window on a lab of 12 cameras, median of 5:\n");
        ok &= Report("construction to first frame", Median(times), "s", kShowTargetSeconds);
    }
    std::printf("sorting 1,000 rows by a header click, median of 5:\n");
    ok &= Report("serial number column", SortMilliseconds(1000, camfleet::kColumnSerial), "ms",
                 kSortTargetMs);
    ok &= Report("IP address column", SortMilliseconds(1000, camfleet::kColumnIp), "ms",
                 kSortTargetMs);
    std::printf("search and login storm of %d lab cameras:\n", cameras);
    ok &= Report("longest UI-thread stall", LongestStallMs(cameras, stormSeconds), "ms",
                 kStallTargetMs);
    ok &= Report("peak memory", PeakMemoryMb(), "MB", kMemoryTargetMb);
    return ok ? 0 : 1;
}

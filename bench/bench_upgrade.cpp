// Firmware upgrade benchmark: the real window (offscreen platform unless QT_QPA_PLATFORM says
// otherwise) upgrades a lab of 50 cameras at once from one lab firmware file of 16 MiB of
// payload. The cameras run in a camfleet-sim started beside this program (same network
// namespace, discovery port 3110), so that nothing of theirs counts towards this process.
//
// First run, the lab's firmware timing (1 s write, 2 s reboot):
//  - every camera back, logged in again and reporting the new version, counted from the
//    start of the upgrade to the last job's return (target 20 s);
//  - the longest gap between ticks of a 2 ms timer on the UI thread, from just before the
//    upgrade is started until every job returned (target under 100 ms);
//  - the peak resident memory of this process, the window's, up to then (target 200 MB).
// Second run, a 30 s write so that no camera restarts and logs in again while others still
// receive: the transfer's aggregate rate, 50 x the file's size over the time from the start
// of the upgrade until the last camera's transfer ended (its upgrade progress reached 50 %,
// which the SDK sets once the camera acknowledged the file's last chunk), as a ratio of a
// plain loopback TCP copy of the same bytes over as many parallel connections, measured in
// the same program run (target 0.5).
//
//   bench_upgrade [--cameras N] [--mib M] [--plain-runs R]

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/path_controls.h"
#include "app/upgrade_commands.h"
#include "app/window_prompt.h"
#include "device/sdk/bulk_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/socket_util.h"
#include "lab_window_bench.h"
#include "operations/firmware_upgrade.h"
#include "sim/firmware_image.h"

namespace {

using namespace camfleet::bench;
constexpr uint16_t kLabPort = 3110;  // apart from a lab that may run on 3001 or 3102
constexpr char kNewVersion[] = "V8.8.8-bench";
constexpr double kReturnTargetSeconds = 20;
constexpr double kStallTargetMs = 100;
constexpr double kMemoryTargetMb = 200;
constexpr double kRateTargetRatio = 0.5;
constexpr int kProbePeriodMs = 2;
constexpr int kLongWriteMs = 30000;
constexpr int kTransferShare = 50;  // the SDK's upgrade percentage once the file arrived

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The lab's firmware timing on camfleet-sim's command line.
std::vector<std::string> Timing(int writeMs, int rebootMs) {
    return {"--upgrade-write-ms", std::to_string(writeMs), "--upgrade-reboot-ms",
            std::to_string(rebootMs)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Polls the SDK's upgrade percentage of every handle from a thread of its own and notes when
// each first reached the transfer's share, so that the UI thread's pace does not blur it.
class TransferWatch {
public:
    explicit TransferWatch(std::vector<int> handles)
        : handles_(std::move(handles)), ended_(handles_.size()), open_(handles_.size()) {}
    ~TransferWatch() { Stop(); }
    void Start(Clock::time_point start) {
        start_ = start;
        thread_ = std::thread([this] {
            while (!stop_ && open_ > 0) {
                for (std::size_t i = 0; i < handles_.size(); ++i) {
                    if (ended_[i] != Clock::time_point{})
                        continue;
                    if (QV_NETSDK_IPC_GetUpgradeProgress(handles_[i]) >= kTransferShare) {
                        ended_[i] = Clock::now();
                        --open_;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool AllEnded() const { return open_ == 0; }
    // After Stop: seconds from the start until the last transfer ended; negative when one
    // never did.
    double LastEndSeconds() const {
        Clock::time_point last = start_;
        for (const Clock::time_point& t : ended_) {
            if (t == Clock::time_point{})
                return -1;
            last = std::max(last, t);
        }
        return Seconds(last - start_);
    }
    double FirstEndSeconds() const {
        Clock::time_point first = Clock::time_point::max();
        for (const Clock::time_point& t : ended_)
            if (t != Clock::time_point{})
                first = std::min(first, t);
        return first == Clock::time_point::max() ? -1 : Seconds(first - start_);
    }

private:
    std::vector<int> handles_;
    std::vector<Clock::time_point> ended_;  // written by the thread until Stop
    Clock::time_point start_;
    std::atomic<std::size_t> open_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct UpgradeRun {
    bool ran = false;
    int returned = 0;         // jobs whose camera came back with the new version
    double backSeconds = -1;  // start of the upgrade to the last return
    double stallMs = -1;
    double stallCpuMs = -1;       // CPU time the UI thread had within the longest gap
    double transferSeconds = -1;  // start of the upgrade to the last transfer's end
    double firstTransferSeconds = -1;
    double clickMs = -1;  // the button's click handler: every upload started
    // CPU seconds used from the start of the upgrade until every transfer ended.
    double toolCpuSeconds = 0;
    double labCpuSeconds = 0;
};

// Shows the window on a lab of `cameras`, waits until all are logged in with their version
// shown, ticks every row, puts `image` in the firmware file edit and clicks the file upgrade
// button. With `untilReturned` it waits for every camera to come back, else only for every
// transfer to end.
UpgradeRun RunWindowUpgrade(int cameras, const QString& image, pid_t lab, bool untilReturned) {
    UpgradeRun run;
    PrintingPrompt prompt("bench_upgrade");
    CRoRudAzovorErarDlg window(LabWindow(&prompt, kLabPort));
    window.resize(1920, 1080);
    window.show();
    if (!RunUntil([&] { return AllListedAndLoggedIn(window, cameras); }, 30)) {
        std::fprintf(stderr, "bench_upgrade: %d of %d cameras listed in 30 s\n",
                     window.Model().Count(), cameras);
        return run;
    }
    camfleet::FirmwareUpgrade* upgrade = window.Upgrades()->Operation();
    if (upgrade == nullptr) {
        std::fprintf(stderr, "bench_upgrade: the window has no upgrade operation (no SDK)\n");
        return run;
    }
    std::vector<int> handles;
    for (int row = 0; row < window.Model().Count(); ++row) {
        window.Model().SetChecked(row, true);
        handles.push_back(window.Model().Record(row)->loginHandle);
    }
    window.Paths()->FirmwareFile()->setText(image);
    // Let the list repaint its ticks before the measurement starts.
    RunUntil([] { return false; }, 0.2);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    // The UI thread's own CPU time tells whether a long gap was work or a wait for a core.
    int64_t lastCpu = ThreadCpuNs();
    int64_t longestCpu = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const int64_t cpu = ThreadCpuNs();
        if (now - last > longest) {
            longest = now - last;
            longestCpu = cpu - lastCpu;
        }
        last = now;
        lastCpu = cpu;
    });
    probe.start(kProbePeriodMs);
    TransferWatch transfers(handles);
    const std::string labPid = std::to_string(lab);
    double toolCpu = 0, labCpu = 0;
    QTimer::singleShot(0, &window, [&] {
        toolCpu = CpuSeconds("self");
        labCpu = CpuSeconds(labPid);
        transfers.Start(Clock::now());
        const Clock::time_point click = Clock::now();
        window.Upgrades()->FileUpgradeButton()->click();
        run.clickMs = Seconds(Clock::now() - click) * 1000;
    });
    const auto allTransferred = [&] {
        if (!transfers.AllEnded())
            return false;
        if (run.toolCpuSeconds == 0) {
            run.toolCpuSeconds = CpuSeconds("self") - toolCpu;
            run.labCpuSeconds = CpuSeconds(labPid) - labCpu;
        }
        return true;
    };
    const auto allReturned = [&] {
        allTransferred();
        if (static_cast<int>(upgrade->Jobs().size()) < cameras)
            return false;
        return std::all_of(upgrade->Jobs().begin(), upgrade->Jobs().end(), [](const auto& e) {
            return e.second.returned || e.second.phase == camfleet::JobPhase::kFailed;
        });
    };
    const bool finished = untilReturned ? RunUntil(allReturned, 60) : RunUntil(allTransferred, 60);
    probe.stop();
    transfers.Stop();
    run.stallMs = longest / 1e6;
    run.stallCpuMs = longestCpu / 1e6;
    run.transferSeconds = transfers.LastEndSeconds();
    run.firstTransferSeconds = transfers.FirstEndSeconds();
    int64_t firstStart = INT64_MAX, lastReturn = 0;
    for (const auto& [key, job] : upgrade->Jobs()) {
        firstStart = std::min(firstStart, job.startedMs);
        if (job.returned && job.version == kNewVersion) {
            ++run.returned;
            lastReturn = std::max(lastReturn, job.returnedMs);
        } else if (untilReturned) {
            std::fprintf(stderr, "bench_upgrade: camera %s: %s, version \"%s\"\n", key.c_str(),
                         job.phase == camfleet::JobPhase::kFailed ? "failed" : "not back",
                         qPrintable(job.version));
        }
    }
    if (untilReturned && run.returned == cameras)
        run.backSeconds = (lastReturn - firstStart) / 1000.0;
    run.ran = finished;
    if (!finished)
        std::fprintf(stderr, "bench_upgrade: the upgrade did not end within 60 s\n");
    return run;
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

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Seconds to push the file at `path` over `connections` loopback TCP connections at once: one
// sender thread per connection reading the file chunk by chunk (as the SDK runs one thread per
// transfer), one receiver thread polling every connection and dropping the bytes (as the lab
// serves every camera from one thread and keeps no firmware), one byte answered on each
// connection once its file arrived. From the senders' start until the last answer.
double PlainCopySeconds(const std::string& path, uint64_t bytes, int connections) {
    std::string error;
    const int listener = camfleet::sdk::Listen("127.0.0.1", 0, &error);
    if (listener < 0)
        return -1;
    const uint16_t port = camfleet::sdk::LocalPort(listener);
    std::atomic<int> received{0};
    std::thread receiver([&] {
        std::vector<int> fds;
        while (static_cast<int>(fds.size()) < connections) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                break;
            const int fd = camfleet::sdk::AcceptOne(listener);
            if (fd >= 0)
                fds.push_back(fd);
        }
        std::vector<uint64_t> got(fds.size(), 0);
        std::vector<char> buffer(camfleet::sdk::kBulkChunk);
        std::vector<pollfd> polled;
        int open = static_cast<int>(fds.size());
        while (open > 0) {
            polled.clear();
            for (std::size_t i = 0; i < fds.size(); ++i)
                if (got[i] < bytes)
                    polled.push_back({fds[i], POLLIN, 0});
            if (poll(polled.data(), polled.size(), 5000) <= 0)
                break;
            for (const pollfd& p : polled) {
                if (p.revents == 0)
                    continue;
                const std::size_t i = std::find(fds.begin(), fds.end(), p.fd) - fds.begin();
                const ssize_t n = recv(p.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (n <= 0 && !(n < 0 && errno == EAGAIN)) {
                    got[i] = bytes;  // closed early: the sender reports the failure
                    --open;
                    continue;
                }
                if (n > 0 && (got[i] += static_cast<uint64_t>(n)) >= bytes) {
                    SendAll(p.fd, "!", 1);
                    ++received;
                    --open;
                }
            }
        }
        for (int fd : fds)
            camfleet::sdk::CloseSocket(fd);
    });
    std::atomic<bool> go{false};
    std::atomic<int> failed{0};
    std::vector<std::thread> senders;
    for (int c = 0; c < connections; ++c) {
        senders.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            const int fd = camfleet::sdk::StartConnect("127.0.0.1", port);
            pollfd w{fd, POLLOUT, 0};
            poll(&w, 1, 5000);
            std::FILE* f = std::fopen(path.c_str(), "rb");
            std::vector<char> chunk(camfleet::sdk::kBulkChunk);
            bool ok = f != nullptr && fd >= 0;
            while (ok) {
                const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
                if (n == 0)
                    break;
                ok = SendAll(fd, chunk.data(), n);
            }
            char end = 0;
            pollfd r{fd, POLLIN, 0};
            poll(&r, 1, 30000);
            ok = ok && recv(fd, &end, 1, 0) == 1;
            if (!ok)
                ++failed;
            if (f != nullptr)
                std::fclose(f);
            camfleet::sdk::CloseSocket(fd);
        });
    }
    const Clock::time_point start = Clock::now();
    go = true;
    for (std::thread& t : senders)
        t.join();
    const double seconds = Seconds(Clock::now() - start);
    receiver.join();
    camfleet::sdk::CloseSocket(listener);
    return failed == 0 && received == connections ? seconds : -1;
}

enum class Target { kAtMost, kBelow, kAtLeast };

// Prints the figure with its target; a negative value (not measured) misses it.
bool Report(const char* what, double value, const char* unit, Target kind, double target) {
    const bool ok = value >= 0 && (kind == Target::kAtMost  ? value <= target
                                   : kind == Target::kBelow ? value < target
                                                            : value >= target);
    const char* relation = kind == Target::kAtMost ? "<=" : kind == Target::kBelow ? "<" : ">=";
    std::printf("  %s: %.3f%s%s, target %s %g%s%s: %s\n", what, value, *unit ? " " : "", unit,
                relation, target, *unit ? " " : "", unit, ok ? "met" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and the cameras' pinned keys go to a folder of the benchmark's own.
    char documents[] = "/tmp/bench_upgrade.XXXXXX";
    if (mkdtemp(documents) == nullptr)
        return 2;
    qputenv("CAMFLEET_DOCUMENTS_DIR", documents);
    QApplication app(argc, argv);
    int cameras = 50;
    int mib = 16;
    int plainRuns = 3;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--cameras")
            cameras = std::max(1, args[i + 1].toInt());
        if (args[i] == "--mib")
            mib = std::max(1, args[i + 1].toInt());
        if (args[i] == "--plain-runs")
            plainRuns = std::max(1, args[i + 1].toInt());
    }
    const QString image = QDir(documents).filePath("firmware_bench.bin");
    std::string error;
    if (!camfleet::sim::WriteLabFirmwareFile(image.toStdString(),
                                             {"*", kNewVersion, uint64_t(mib) * 1048576}, &error)) {
        std::fprintf(stderr, "bench_upgrade: %s\n", error.c_str());
        return 2;
    }
    const uint64_t fileBytes = static_cast<uint64_t>(QFile(image).size());
    bool ok = true;

    std::printf(
        "%d lab cameras (camfleet-sim, another process) upgraded by the window from one "
        "file of %d MiB payload (%llu bytes), 1 s write, 2 s reboot:\n",
        cameras, mib, static_cast<unsigned long long>(fileBytes));
    UpgradeRun first;
    {
        SimProcess lab(cameras, kLabPort, Timing(1000, 2000));
        if (!lab.Ready())
            return 2;
        first = RunWindowUpgrade(cameras, image, lab.Pid(), true);
    }
    std::printf(
        "  back with %s: %d of %d; first transfer ended after %.2f s, last after %.2f s; "
        "the click that started them held the UI thread %.1f ms\n",
        kNewVersion, first.returned, cameras, first.firstTransferSeconds, first.transferSeconds,
        first.clickMs);
    ok &= Report("every camera back, logged in, new version", first.backSeconds, "s",
                 Target::kAtMost, kReturnTargetSeconds);
    ok &= Report("longest UI-thread stall (2 ms timer)", first.stallMs, "ms", Target::kBelow,
                 kStallTargetMs);
    std::printf("    of which the UI thread ran %.1f ms (the rest it waited for a core)\n",
                first.stallCpuMs);
    ok &= Report("peak memory of this process (the window; lab apart)", PeakMemoryMb(), "MB",
                 Target::kBelow, kMemoryTargetMb);

    std::printf(
        "transfer rate: the same upgrade with a %d s write (no restart overlaps the "
        "transfers):\n",
        kLongWriteMs / 1000);
    UpgradeRun second;
    {
        SimProcess lab(cameras, kLabPort, Timing(kLongWriteMs, 2000));
        if (!lab.Ready())
            return 2;
        second = RunWindowUpgrade(cameras, image, lab.Pid(), false);
    }
    const double total = double(fileBytes) * cameras / 1048576.0;
    std::vector<double> plain;
    std::printf("  plain loopback copy, %d connections at once, %.0f MiB:", cameras, total);
    for (int r = 0; r < plainRuns; ++r) {
        plain.push_back(PlainCopySeconds(image.toStdString(), fileBytes, cameras));
        std::printf(" %.3f s", plain.back());
        std::fflush(stdout);
    }
    const double plainSeconds = Median(plain);
    const bool measured = second.ran && second.transferSeconds > 0 &&
                          *std::min_element(plain.begin(), plain.end()) > 0;
    const double upgradeRate = total / second.transferSeconds;
    const double plainRate = total / plainSeconds;
    std::printf(
        "\n  upgrade transfers: last ended after %.3f s (first after %.3f s), %.1f MiB/s; "
        "plain copy (median of %d) %.3f s, %.1f MiB/s\n",
        second.transferSeconds, second.firstTransferSeconds, upgradeRate, plainRuns, plainSeconds,
        plainRate);
    std::printf(
        "  CPU used from the start until the last transfer ended: this process (window, "
        "SDK) %.2f s, the lab %.2f s\n",
        second.toolCpuSeconds, second.labCpuSeconds);
    ok &= Report("upgrade / plain", measured ? upgradeRate / plainRate : -1, "", Target::kAtLeast,
                 kRateTargetRatio);
    QDir(documents).removeRecursively();
    return ok ? 0 : 1;
}

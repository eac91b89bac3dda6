#pragma once
// What the benchmarks that drive the real window against a camfleet-sim lab share: the lab in a
// child process, a prompt that answers yes and prints, the window's lab options, the event
// loop run until a condition holds, and the CPU clocks they read.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_prompt.h"

namespace camfleet::bench {

using CRoRudAzovorErarDlg = camfleet::CRoRudAzovorErarDlg;
using Clock = std::chrono::steady_clock;

// Boxes the window would show are printed instead; nothing waits for an operator.
class PrintingPrompt : public camfleet::WindowPrompt {
public:
    explicit PrintingPrompt(const char* program) : program_(program) {}
    void ShowMessage(const QString& text, const QString&, camfleet::PromptIcon) override {
        std::fprintf(stderr, "%s: the window says: %s\n", program_, qPrintable(text));
    }
    bool AskYesNo(const QString& text, const QString&) override {
        std::fprintf(stderr, "%s: the window asks (answered yes): %s\n", program_,
                     qPrintable(text));
        return true;
    }
    QString ChooseFile(const QString&, const QString&, bool, const QString& = {}) override {
        return {};
    }
    QString ChooseFolder(const QString&) override { return {}; }

private:
    const char* program_;
};

// A camfleet-sim lab in a child process; stopped (SIGTERM, then waited for) when it goes.
class SimProcess {
public:
    // `options` follow --lab N --port P on camfleet-sim's command line.
    SimProcess(int cameras, uint16_t port, const std::vector<std::string>& options) {
        const std::string program =
            QDir(QCoreApplication::applicationDirPath()).filePath("camfleet-sim").toStdString();
        std::vector<std::string> args = {program, "--lab", std::to_string(cameras), "--port",
                                         std::to_string(port)};
        args.insert(args.end(), options.begin(), options.end());
        int out[2];
        if (pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        // The lab prints one line once every camera listens.
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        const Clock::time_point until = Clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && line.find('\n') == std::string::npos && Clock::now() < until) {
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
        close(out[0]);
        ready_ = line.find("cameras from") != std::string::npos;
        if (!ready_)
            std::fprintf(stderr, "%s did not start (%s)\n", program.c_str(), line.c_str());
    }
    ~SimProcess() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    bool Ready() const { return ready_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// CPU seconds (user and system, every thread) a process has used so far; "self" for this one.
inline double CpuSeconds(const std::string& pid) {
    QFile file(QString::fromStdString("/proc/" + pid + "/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    // The fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
}

inline int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

inline camfleet::WindowOptions LabWindow(camfleet::WindowPrompt* prompt, uint16_t port) {
    camfleet::WindowOptions options;
    options.searcher.labMode = true;
    options.searcher.port = port;
    options.maximiseAfterShow = false;
    options.prompt = prompt;
    return options;
}

// Runs the window's event loop, as the program does, until `done` (checked every 5 ms) or
// `seconds` passed. The thread sleeps between events: a loop of processEvents calls would
// keep one of the machine's two cores busy and slow the transfers it measures.
inline bool RunUntil(const std::function<bool()>& done, double seconds) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

inline bool AllListedAndLoggedIn(CRoRudAzovorErarDlg& window, int cameras) {
    if (window.Model().Count() < cameras)
        return false;
    for (int row = 0; row < window.Model().Count(); ++row) {
        const camfleet::DeviceRecord* r = window.Model().Record(row);
        if (!r->loggedIn || r->firmwareVersion[0] == '\0')
            return false;
    }
    return true;
}

// The longest gap between ticks of a 2 ms timer on the UI thread, and the UI thread's own
// CPU time within the longest one.
class StallProbe {
public:
    StallProbe() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            const int64_t cpu = ThreadCpuNs();
            if (last_ != Clock::time_point{}) {
                const double gap = std::chrono::duration<double, std::milli>(now - last_).count();
                if (gap > longestMs_) {
                    longestMs_ = gap;
                    longestCpuMs_ = static_cast<double>(cpu - lastCpu_) / 1e6;
                }
            }
            last_ = now;
            lastCpu_ = cpu;
        });
    }
    // The first gap counts from here, so work done right after Start is measured too.
    void Start() {
        last_ = Clock::now();
        lastCpu_ = ThreadCpuNs();
        timer_.start(2);
    }
    void Stop() { timer_.stop(); }
    double LongestMs() const { return longestMs_; }
    double LongestCpuMs() const { return longestCpuMs_; }

private:
    QTimer timer_;
    Clock::time_point last_{};
    int64_t lastCpu_ = 0;
    double longestMs_ = 0;
    double longestCpuMs_ = 0;
};

}  // namespace camfleet::bench

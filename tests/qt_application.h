#pragma once
// The QCoreApplication that Qt objects of a test need (queued calls, timers). Created on the
// first call, on the test's main thread, and kept until the process ends.

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace camfleet::testing {

inline QCoreApplication* EnsureCoreApplication() {
    static int argc = 1;
    static char name[] = "camfleet-test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
    return QCoreApplication::instance();
}

// Runs the event loop until `done` holds; false after the 10 s safety limit.
inline bool ProcessEventsUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Processes events until `done` or `seconds` passed (for waits longer than the 10 s above).
inline bool RunUntil(const std::function<bool()>& done, int seconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace camfleet::testing

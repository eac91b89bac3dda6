// The background worker: a result comes back on the owner's thread, a stop reaches the job,
// waits for its thread and drops the result, and no job thread outlives the worker.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "operations/worker.h"
#include "qt_application.h"

namespace camfleet {
namespace {

using namespace std::chrono_literals;

int ThreadCount() {
    return static_cast<int>(
        QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs until stopped; `running` is true meanwhile.
auto UntilStopped(std::atomic<bool>& running) {
    return [&running](std::stop_token stop) {
        running = true;
        while (!stop.stop_requested())
            std::this_thread::sleep_for(1ms);
        running = false;
        return 1;
    };
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { testing::EnsureCoreApplication(); }
};

TEST_F(WorkerTest, HandsTheResultBackOnTheOwnersThread) {
    Worker worker;
    std::thread::id jobThread;
    std::thread::id doneThread;
    std::optional<int> result;
    ASSERT_TRUE(worker.Start(
        [&](std::stop_token) {
            jobThread = std::this_thread::get_id();
            return 42;
        },
        [&](int r) {
            doneThread = std::this_thread::get_id();
            result = r;
        }));
    EXPECT_TRUE(worker.Busy());
    EXPECT_FALSE(worker.Start([](std::stop_token) { return 0; }, [](int) {}))
        << "one job at a time";
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 42);
    EXPECT_EQ(doneThread, std::this_thread::get_id());
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_FALSE(worker.Busy());

    // The hand-back may start the next job.
    std::optional<int> second;
    ASSERT_TRUE(worker.Start([](std::stop_token) { return 1; },
                             [&](int) {
                                 EXPECT_TRUE(worker.Start([](std::stop_token) { return 2; },
                                                          [&](int r) { second = r; }));
                             }));
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return second.has_value(); }));
    EXPECT_EQ(*second, 2);
}

TEST_F(WorkerTest, StopEndsTheJobAndDropsItsResult) {
    Worker worker;
    std::atomic<bool> running{false};
    bool delivered = false;
    ASSERT_TRUE(worker.Start(UntilStopped(running), [&](int) { delivered = true; }));
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return running.load(); }));
    worker.Stop();
    EXPECT_FALSE(running) << "Stop returned before the job did";
    EXPECT_FALSE(worker.Busy());

    // A result already on its way is dropped too.
    std::atomic<bool> returned{false};
    ASSERT_TRUE(worker.Start(
        [&](std::stop_token) {
            returned = true;
            return 1;
        },
        [&](int) { delivered = true; }));
    while (!returned)
        std::this_thread::sleep_for(1ms);  // no event processing: the result stays queued
    std::this_thread::sleep_for(20ms);
    worker.Stop();
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST_F(WorkerTest, NoJobThreadOutlivesTheWorker) {
    const int before = ThreadCount();
    std::atomic<bool> running{false};
    bool delivered = false;
    {
        Worker worker;
        ASSERT_TRUE(worker.Start(UntilStopped(running), [&](int) { delivered = true; }));
        ASSERT_TRUE(testing::ProcessEventsUntil([&] { return running.load(); }));
        EXPECT_EQ(ThreadCount(), before + 1);
    }
    EXPECT_FALSE(running);
    EXPECT_EQ(ThreadCount(), before);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

}  // namespace
}  // namespace camfleet

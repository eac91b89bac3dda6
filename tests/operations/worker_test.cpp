// The background worker facility. Worker: a result comes back on the owner's thread, a stop
// reaches the job, waits for its thread and drops the result, and no job thread outlives the
// worker. WorkerPool: jobs run side by side on at most its threads, one job is cancelled
// alone, StopAll joins every thread and nothing is handed back after it, and jobs without a
// result run with no event loop. RunItems: every item once, on the threads given, none
// taken after a stop.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "operations/worker.h"
#include "qt_application.h"
#include "thread_list.h"

namespace camfleet {
namespace {

using namespace std::chrono_literals;
using testing::ThreadCount;
using testing::ThreadCountFallsTo;

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
    EXPECT_TRUE(ThreadCountFallsTo(before));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

// Waits without running the event loop, so nothing is handed back meanwhile.
bool WaitWithoutEvents(const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(1ms);
    return done();
}

TEST_F(WorkerTest, PoolRunsJobsSideBySideOnAtMostItsThreads) {
    const int before = ThreadCount();
    WorkerPool pool(3);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<bool> release{false};
    std::vector<int> results;
    std::vector<std::thread::id> doneThreads;
    for (int job = 0; job < 5; ++job) {
        pool.Start(
            [&, job](std::stop_token) {
                const int now = ++inside;
                for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                while (!release)
                    std::this_thread::sleep_for(1ms);
                --inside;
                return job;
            },
            [&](int r) {
                doneThreads.push_back(std::this_thread::get_id());
                results.push_back(r);
            });
    }
    // Three run at once, and wait for each other: they could not all be inside otherwise.
    ASSERT_TRUE(WaitWithoutEvents([&] { return inside == 3; }));
    EXPECT_EQ(pool.ThreadCount(), 3);
    release = true;
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return results.size() == 5; }));
    EXPECT_EQ(most.load(), 3) << "never more jobs at once than threads";
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, (std::vector<int>{0, 1, 2, 3, 4}));
    for (std::thread::id id : doneThreads)
        EXPECT_EQ(id, std::this_thread::get_id()) << "results come back on the owner's thread";
    EXPECT_FALSE(pool.Busy());
    pool.WaitIdle();
    EXPECT_EQ(pool.ThreadCount(), 0) << "an idle pool holds no thread";
    EXPECT_TRUE(ThreadCountFallsTo(before));
}

TEST_F(WorkerTest, CancellingOneJobLeavesTheOthers) {
    WorkerPool pool(2);
    std::atomic<bool> running[2] = {false, false};
    std::vector<int> delivered;
    const WorkerPool::JobId first =
        pool.Start(UntilStopped(running[0]), [&](int) { delivered.push_back(0); });
    const WorkerPool::JobId second =
        pool.Start(UntilStopped(running[1]), [&](int) { delivered.push_back(1); });
    std::atomic<bool> queuedRan{false};
    const WorkerPool::JobId queued = pool.Post([&](std::stop_token) { queuedRan = true; });
    const WorkerPool::JobId last =
        pool.Start([](std::stop_token) { return 3; }, [&](int r) { delivered.push_back(r); });
    ASSERT_TRUE(WaitWithoutEvents([&] { return running[0] && running[1]; }));

    EXPECT_TRUE(pool.Cancel(queued));
    EXPECT_FALSE(pool.Pending(queued));
    EXPECT_TRUE(pool.Cancel(first));
    EXPECT_FALSE(pool.Cancel(first)) << "no longer pending";
    // The first job's thread is free again and takes the last job.
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return !delivered.empty(); }));
    EXPECT_EQ(delivered, std::vector<int>{3});
    EXPECT_FALSE(running[0]);
    EXPECT_TRUE(running[1]) << "the other job goes on";
    EXPECT_TRUE(pool.Pending(second));
    EXPECT_FALSE(pool.Pending(last));
    EXPECT_FALSE(queuedRan) << "a cancelled job that had not started never runs";

    pool.StopAll();
    EXPECT_FALSE(running[1]);
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, std::vector<int>{3});
}

TEST_F(WorkerTest, StopAllJoinsEveryJobAndHandsNothingBackAfterIt) {
    const int before = ThreadCount();
    WorkerPool pool(4);
    std::atomic<bool> running[3] = {false, false, false};
    int delivered = 0;
    for (std::atomic<bool>& r : running)
        pool.Start(UntilStopped(r), [&](int) { ++delivered; });
    std::atomic<bool> returned{false};
    pool.Start(
        [&](std::stop_token) {
            returned = true;
            return 1;
        },
        [&](int) { ++delivered; });
    ASSERT_TRUE(
        WaitWithoutEvents([&] { return running[0] && running[1] && running[2] && returned; }));
    std::this_thread::sleep_for(20ms);  // the returned job's result is queued by now
    pool.StopAll();
    for (const std::atomic<bool>& r : running)
        EXPECT_FALSE(r) << "StopAll returned before a job did";
    EXPECT_EQ(pool.ThreadCount(), 0);
    EXPECT_TRUE(ThreadCountFallsTo(before));
    EXPECT_FALSE(pool.Busy());
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0) << "a result already queued is dropped too";

    // The pool takes jobs again.
    std::optional<int> again;
    pool.Start([](std::stop_token) { return 7; }, [&](int r) { again = r; });
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return again.has_value(); }));
    EXPECT_EQ(*again, 7);
}

TEST_F(WorkerTest, JobsWithoutResultNeedNoEventLoop) {
    const int before = ThreadCount();
    std::atomic<int> ran{0};
    {
        WorkerPool pool(2);
        for (int job = 0; job < 6; ++job)
            pool.Post([&](std::stop_token) { ++ran; });
        pool.WaitIdle();
        EXPECT_EQ(ran.load(), 6);
        EXPECT_FALSE(pool.Busy());
        EXPECT_TRUE(ThreadCountFallsTo(before));

        // The destructor stops a job that honours its token.
        std::atomic<bool> running{false};
        pool.Post([&](std::stop_token stop) { UntilStopped(running)(stop); });
        ASSERT_TRUE(WaitWithoutEvents([&] { return running.load(); }));
    }
    EXPECT_TRUE(ThreadCountFallsTo(before));
}

TEST(RunItems, EveryItemOnceOnAtMostTheThreadsGiven) {
    const int before = ThreadCount();
    constexpr std::size_t kItems = 200;
    std::vector<std::atomic<int>> calls(kItems);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;
    RunItems(kItems, 4, {}, [&](std::size_t i) {
        const int now = ++inside;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        {
            std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        ++calls[i];
        std::this_thread::sleep_for(100us);
        --inside;
    });
    for (std::size_t i = 0; i < kItems; ++i)
        EXPECT_EQ(calls[i].load(), 1) << "item " << i;
    EXPECT_LE(most.load(), 4);
    EXPECT_LE(threads.size(), 4u);
    EXPECT_TRUE(threads.count(std::this_thread::get_id())) << "the caller takes part";
    EXPECT_TRUE(ThreadCountFallsTo(before)) << "every helper thread is joined";

    int none = 0;
    RunItems(0, 4, {}, [&](std::size_t) { ++none; });
    EXPECT_EQ(none, 0);
}

TEST(RunItems, TakesNoItemAfterAStop) {
    constexpr int kThreads = 3;
    std::stop_source source;
    std::atomic<int> taken{0};
    RunItems(1000, kThreads, source.get_token(), [&](std::size_t i) {
        ++taken;
        if (i == 10)
            source.request_stop();
        while (i > 10 && !source.stop_requested())  // hold the others until the stop comes
            std::this_thread::sleep_for(100us);
    });
    // Items 0 to 10, plus one at most in the hand of each other thread when the stop came.
    EXPECT_GE(taken.load(), 11);
    EXPECT_LE(taken.load(), 11 + kThreads - 1);

    taken = 0;
    RunItems(10, kThreads, source.get_token(), [&](std::size_t) { ++taken; });
    EXPECT_EQ(taken.load(), 0);
}

}  // namespace
}  // namespace camfleet

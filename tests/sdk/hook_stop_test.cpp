// A hook that ends the SDK's threads from inside: the dispatcher's own Stop, the engine's
// shutdown and the C call Cleanup. None of them may wait for the hook thread from that
// thread (it would wait for itself) and none may leave the thread running: the call returns,
// nothing more is delivered, and the hook thread is gone once the owner lets go from
// another thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "device/sdk/hook_dispatcher.h"
#include "device/sdk/sdk_engine.h"
#include "sdk_fixture.h"
#include "thread_list.h"

namespace camfleet::testing {
namespace {

using namespace std::chrono_literals;

// A hook that calls a stop path on its first call and then goes on a little before it
// returns, so that an owner which did not wait for it would be gone first.
struct HookRun {
    std::function<int()> stop;  // the stop path, with its result
    std::atomic<int> calls{0};
    std::atomic<int> result{-100};
    std::atomic<pid_t> thread{0};
    std::atomic<bool> stopReturned{false};
    std::atomic<bool> ended{false};

    static int OnStatus(int, int, const void*, void* user) {
        auto* self = static_cast<HookRun*>(user);
        if (++self->calls != 1)
            return 0;
        self->thread = CurrentThreadId();
        self->result = self->stop();
        self->stopReturned = true;
        std::this_thread::sleep_for(100ms);
        self->ended = true;
        return 0;
    }
    bool WaitStopReturned() {
        for (int i = 0; i < 10000 && !stopReturned; ++i)
            std::this_thread::sleep_for(1ms);
        return stopReturned;
    }
};

TEST(HookStop, DispatcherStoppedFromItsHookEndsDeliveriesAndIsJoinedByItsOwner) {
    const int before = ThreadCount();
    HookRun run;
    auto dispatcher = std::make_unique<sdk::HookDispatcher>([](int) { return true; });
    run.stop = [&] {
        dispatcher->Stop();
        return 0;
    };
    dispatcher->SetStatusHook(&HookRun::OnStatus, &run);
    dispatcher->PostStatus(1, QV_EVENT_LOGGED_IN, {});
    dispatcher->PostStatus(1, QV_EVENT_DISCONNECTED, {});
    ASSERT_TRUE(run.WaitStopReturned()) << "Stop from the hook did not return";
    dispatcher->PostStatus(1, QV_EVENT_LOGGED_IN, {});
    dispatcher.reset();
    EXPECT_TRUE(run.ended) << "the destructor returned before the hook that stopped it";
    EXPECT_EQ(run.calls.load(), 1) << "nothing is delivered after Stop";
    EXPECT_TRUE(ThreadsGone({run.thread}));
    EXPECT_TRUE(ThreadCountFallsTo(before));
}

TEST(HookStop, EngineShutDownFromAHookLeavesNoThreadOnceDestroyed) {
    const int before = ThreadCount();
    HookRun run;
    auto engine = std::make_unique<sdk::Engine>(FastTiming());
    run.stop = [&] {
        engine->Shutdown();
        return 0;
    };
    engine->hooks().SetStatusHook(&HookRun::OnStatus, &run);
    const int handle = engine->Login({"127.0.0.1", 1, "admin", "x"});
    ASSERT_GT(handle, 0);
    engine->hooks().PostStatus(handle, QV_EVENT_LOGGED_IN, {});
    ASSERT_TRUE(run.WaitStopReturned()) << "the shutdown from the hook did not return";
    EXPECT_EQ(engine->Login({"127.0.0.1", 1, "admin", "x"}), QV_ERR_NOT_INIT);
    engine.reset();
    EXPECT_TRUE(run.ended) << "the engine went before the hook that shut it down returned";
    EXPECT_EQ(run.calls.load(), 1);
    EXPECT_TRUE(ThreadsGone({run.thread}));
    EXPECT_TRUE(ThreadCountFallsTo(before));
}

using HookCleanup = SdkTest;

TEST_F(HookCleanup, IsRefusedAndTheSdkStopsFromAnotherThread) {
    HookRun run;
    run.stop = [] { return QV_NETSDK_IPC_Cleanup(); };
    QV_NETSDK_IPC_SetStatusEventCallBack(&HookRun::OnStatus, &run);
    ASSERT_GT(Login(AddCamera()), 0);
    ASSERT_TRUE(run.WaitStopReturned()) << "Cleanup from the hook did not return";
    EXPECT_EQ(run.result.load(), QV_ERR_PARAM);
    EXPECT_GT(Login(AddCamera()), 0) << "the SDK still runs after the refused call";
    EXPECT_EQ(QV_NETSDK_IPC_Cleanup(), QV_OK);
    EXPECT_TRUE(run.ended) << "Cleanup returned before the hook did";
    EXPECT_TRUE(ThreadsGone({run.thread}));
}

}  // namespace
}  // namespace camfleet::testing

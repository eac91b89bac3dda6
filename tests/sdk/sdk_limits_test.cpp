// A camera that sends more than the tool takes: its session is closed and reported as event
// 38, and what waits for the hooks stays bounded.

#include <atomic>
#include <thread>

#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

class SdkLimits : public SdkTest {
protected:
    // Starts the SDK again with `timing`; hooks as the fixture installs them unless given.
    void Restart(const sdk::SdkTiming& timing,
                 QV_NETSDK_IPC_StatusEventCallBack status = &HookRecorder::OnStatus,
                 void* user = nullptr) {
        QV_NETSDK_IPC_Cleanup();
        sdk::SetSdkTimingForTesting(timing);
        ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
        QV_NETSDK_IPC_SetStatusEventCallBack(status, user != nullptr ? user : &hooks_);
        QV_NETSDK_IPC_SetAUXResponseCallBack(&HookRecorder::OnAnswer, &hooks_);
    }
    bool SessionsBecome(int id, int count) {
        for (int i = 0; i < 500 && server_.SessionCount(id) != count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return server_.SessionCount(id) == count;
    }
};

TEST_F(SdkLimits, ACameraFloodingEventsIsClosedAndComesBackLikeALostOne) {
    sdk::SdkTiming timing = FastTiming();
    timing.maxEventsPerSecond = 20;
    Restart(timing);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    const int id = AddCamera();
    const int handle = LoggedIn(id);
    for (int i = 0; i < 200; ++i)
        server_.EmitEvent(id, QV_EVENT_BUSY, "busy");
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_OVER_LIMIT));
    EXPECT_LE(hooks_.CountEventsOfType(QV_EVENT_BUSY), 21) << "one second's worth passes";
    EXPECT_EQ(hooks_.CountEventsOfType(QV_EVENT_DISCONNECTED), 0);
    EXPECT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2)) << "revived by auto-reconnect";
}

// A status hook that holds the first busy event until released.
struct BlockingHook {
    HookRecorder* recorder;
    std::atomic<bool> released{false};
    static int OnStatus(int handle, int type, const void* data, void* user) {
        auto* self = static_cast<BlockingHook*>(user);
        while (type == QV_EVENT_BUSY && !self->released)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return HookRecorder::OnStatus(handle, type, data, self->recorder);
    }
};

TEST_F(SdkLimits, HooksThatFallBehindCloseTheSessionWithABoundedBacklog) {
    sdk::SdkTiming timing = FastTiming();
    timing.maxEventsPerSecond = 0;  // only the backlog limits
    timing.maxHookBacklog = 8;
    BlockingHook hook{&hooks_};
    Restart(timing, &BlockingHook::OnStatus, &hook);
    const int id = AddCamera();
    const int handle = LoggedIn(id);
    QV_NETSDK_IPC_SetAutoReconnect(handle, 0);
    for (int i = 0; i < 100; ++i)
        server_.EmitEvent(id, QV_EVENT_BUSY, "busy");
    EXPECT_TRUE(SessionsBecome(id, 0)) << "the SDK closed the session while the hook blocked";
    hook.released = true;
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_OVER_LIMIT));
    EXPECT_LE(hooks_.CountEventsOfType(QV_EVENT_BUSY), 9) << "the backlog and the one held";
}

}  // namespace
}  // namespace camfleet::testing

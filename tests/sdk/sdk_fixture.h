#pragma once
// Shared set-up of the SDK tests: the SDK started with short time limits, hooks that record
// what arrives, and a control server with simulated cameras on loopback.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_event_records.h"
#include "device/sdk/sdk_timing.h"
#include "scratch_documents.h"
#include "sim/control_server.h"

namespace camfleet::testing {

struct StatusRecord {
    int handle;
    int type;
    std::string data;
};

struct AnswerRecord {
    int handle;
    uint32_t code;
    int status;
    std::string text;
};

// Collects hook calls; Wait* block until a condition holds (10 s safety limit only).
class HookRecorder {
public:
    static int OnStatus(int handle, int type, const void* data, void* user) {
        auto* self = static_cast<HookRecorder*>(user);
        const char* text = static_cast<const char*>(data);
        const std::size_t fixed = FixedEventRecordSize(type);
        const std::size_t size = fixed != 0 ? fixed : std::char_traits<char>::length(text);
        std::lock_guard lock(self->mutex_);
        self->events_.push_back({handle, type, std::string(text, size)});
        self->cv_.notify_all();
        return 0;
    }
    static int OnAnswer(int handle, uint32_t codeWord, const char* text, void* user) {
        auto* self = static_cast<HookRecorder*>(user);
        std::lock_guard lock(self->mutex_);
        self->answers_.push_back(
            {handle, codeWord & 0xFFFFFFu, static_cast<int>(codeWord >> 24), text});
        self->cv_.notify_all();
        return 0;
    }

    // Types of the events of `handle`, in arrival order.
    std::vector<int> EventTypes(int handle) {
        std::lock_guard lock(mutex_);
        std::vector<int> types;
        for (const StatusRecord& e : events_)
            if (e.handle == handle)
                types.push_back(e.type);
        return types;
    }
    // Waits until `handle` has received `count` events of `type`.
    bool WaitEvent(int handle, int type, int count = 1) {
        return WaitUntil([&] { return CountEvents(handle, type) >= count; });
    }
    int CountEvents(int handle, int type) {
        int n = 0;
        for (const StatusRecord& e : events_)
            n += e.handle == handle && e.type == type ? 1 : 0;
        return n;
    }
    int CountEventsOfType(int type) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const StatusRecord& e : events_)
            n += e.type == type ? 1 : 0;
        return n;
    }
    bool WaitEventsOfType(int type, int count) {
        return WaitUntil([&] {
            int n = 0;
            for (const StatusRecord& e : events_)
                n += e.type == type ? 1 : 0;
            return n >= count;
        });
    }
    // Waits for the answer of `handle` under `code`; false when none came.
    bool WaitAnswer(int handle, uint32_t code, AnswerRecord* out) {
        return WaitUntil([&] {
            for (const AnswerRecord& a : answers_)
                if (a.handle == handle && a.code == code) {
                    *out = a;
                    return true;
                }
            return false;
        });
    }
    std::vector<StatusRecord> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        answers_.clear();
    }

private:
    bool WaitUntil(const std::function<bool()>& done) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), done);
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<StatusRecord> events_;
    std::vector<AnswerRecord> answers_;
};

// Short limits so that time-outs and retries happen within milliseconds.
inline sdk::SdkTiming FastTiming() {
    sdk::SdkTiming t;
    t.connectTimeoutMs = 2000;
    t.handshakeTimeoutMs = 1000;
    t.syncTimeoutMs = 300;
    t.asyncTimeoutMs = 300;
    t.reconnectFirstMs = 20;
    t.reconnectMaxMs = 50;
    t.bulkStallMs = 2000;
    return t;
}

class SdkTest : public ::testing::Test {
protected:
    void SetUp() override {
        sdk::SetSdkTimingForTesting(FastTiming());
        ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
        QV_NETSDK_IPC_SetStatusEventCallBack(&HookRecorder::OnStatus, &hooks_);
        QV_NETSDK_IPC_SetAUXResponseCallBack(&HookRecorder::OnAnswer, &hooks_);
        QV_NETSDK_IPC_SetAutoReconnect(0, 1);
        server_.Start();
    }
    void TearDown() override {
        QV_NETSDK_IPC_Cleanup();
        server_.Stop();
        sdk::SetSdkTimingForTesting(sdk::SdkTiming());
    }

    // A camera on 127.0.0.1 and a free port; returns its id.
    int AddCamera(const std::string& password = "730418",
                  const std::string& address = "127.0.0.1") {
        sim::ControlIdentity identity;
        identity.serialNumber = "SN" + std::to_string(server_.CameraCount() + 1);
        identity.ipAddress = address;
        identity.sdkPort = 0;
        identity.password = password;
        std::string error;
        const int id = server_.AddCamera(identity, {}, &error);
        EXPECT_GE(id, 0) << error;
        server_.SetRestartTime(id, std::chrono::milliseconds(50));
        return id;
    }
    int Login(int id, const char* password = "730418", const char* address = "127.0.0.1") {
        return QV_NETSDK_IPC_Login(address, server_.Port(id), "admin", password, 0);
    }
    // Logs in to camera `id` and waits for event 4.
    int LoggedIn(int id) {
        const int handle = Login(id);
        EXPECT_GT(handle, 0);
        EXPECT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
        return handle;
    }

    HookRecorder hooks_;
    sim::ControlServer server_;
};

// Pins of camera keys go to a folder of the test alone.
class SdkTestWithOwnPins : public SdkTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(documents_.isValid());
        qputenv("CAMFLEET_DOCUMENTS_DIR", documents_.path().toUtf8());
        SdkTest::SetUp();
    }
    void TearDown() override {
        SdkTest::TearDown();
        camfleet::scratch::RestoreDocuments();
    }
    QTemporaryDir documents_;
};

}  // namespace camfleet::testing

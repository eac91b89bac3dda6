#pragma once
// The batch job engine's receiving side: the device SDK's status events and command answers
// turned into list updates on the thread that owns the list.
//
// Road of an event: the SDK calls the hook on one of its own threads; the hook copies the
// event into a heap record (StatusMessage, ResponseMessage) and posts it to the engine, a
// QObject living on the list's thread; the engine finds the row by login handle, updates the
// record and the state or version column, and frees the record. Records for a handle no
// longer listed are dropped and freed the same way, and records still queued when the engine
// is destroyed are freed by Qt with the queued call.
//
// The follow-up queries after a login (controls 1012, 1020, 1019) wait for the camera's
// answer (up to 3 s each); they run on the engine's query threads, never on the list's
// thread, so a slow or silent camera cannot freeze the window. Their answers come back
// through the answer hook like any other.
//
// One engine at a time: the SDK's hooks are process-wide. Construct and destroy it on the
// list's thread, after QV_NETSDK_IPC_Init and before QV_NETSDK_IPC_Cleanup.

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/sdk/qv_netsdk_ipc.h"
#include "devicelist/device_list_model.h"

namespace camfleet {

inline constexpr std::size_t kMessagePayloadSize = 10240;

// A status event as posted by the status hook. Text events hold the text cut to 10,239
// bytes and zero-terminated; fixed-record events (23, 24, 25, 30) hold the record whole.
struct StatusMessage {
    int32_t handle;
    int32_t type;
    uint32_t size;  // payload bytes (text length, or the record size)
    char payload[kMessagePayloadSize];
};

// A command answer as posted by the answer hook. For 1012 the payload is the
// FileSystemVersion value and for 1019 the SerialNumber value, read from the answer in the
// hook; otherwise the answer text, cut to 10,239 bytes.
struct ResponseMessage {
    int32_t handle;
    int32_t status;  // top 8 bits of the code word; 0 = success
    int32_t code;    // low 24 bits
    char payload[kMessagePayloadSize];
};

// Builds the heap records the hooks post (null when allocation fails). Exposed for tests.
std::unique_ptr<StatusMessage> MakeStatusMessage(int handle, int type, const void* data);
std::unique_ptr<ResponseMessage> MakeResponseMessage(int handle, uint32_t codeWord,
                                                     const char* text);

// State text of an upgrade progress report: "UPLOAD: %02d%" for 1 to 100 (above 100 counts as
// 100); an empty text for a percentage below 1, which leaves the state as it is.
QString UpgradeProgressText(int percent);

// State text of an alarm record: "%02d:%02d:%02d IDS_ALARM:text" with the alarm's hour,
// minute and second and its text (at most the 140 bytes of its field, up to the first zero);
// an empty text for alarm kinds 1 and 2, which leave the state as it is.
QString AlarmStateText(const QV_ALARM_INFO& alarm);

class JobEngine : public QObject {
    Q_OBJECT

public:
    // Installs the SDK's hooks. `model` must outlive the engine.
    explicit JobEngine(DeviceListModel* model, QObject* parent = nullptr);
    // Removes the hooks, stops the query threads (waiting for a running query) and frees
    // every record still queued.
    ~JobEngine() override;

    // ---- Work of the list's thread ---------------------------------------------------------
    // The receiver of the posted records; the caller (the posted call) frees the record.
    void HandleStatus(const StatusMessage& message);
    void HandleResponse(const ResponseMessage& message);

    // Upgrade watch (every second while upgrades run): true while some row is upgrading;
    // false clears the upgrade-running flag (the caller stops its timer).
    bool UpgradeWatch();
    bool UpgradeRunning() const { return upgradeRunning_; }
    void SetUpgradeRunning(bool running) { upgradeRunning_ = running; }
    // Snapshot watch (every 5 s): a snapshot pending for more than 5 s at `nowSeconds` shows
    // "SNAPPING_TIMEOUT" and is cleared.
    void SnapshotWatch(int64_t nowSeconds);

    // ---- Hooks for the features that build on the engine (all optional) -------------------
    // Percentage of a running upgrade of `handle`, asked on events 54 and 55.
    std::function<int(int handle)> upgradeProgress;
    // After the follow-up queries of a device whose model contains "DIR-OVADU": the upload of
    // the default configuration.
    std::function<void(int row)> defaultConfiguration;
    // Answers 504, 305 and 600: the next step of a read-change-write operation.
    std::function<void(int row, const ResponseMessage& answer)> continuation;
    // Events 6, 7, 8, 14, 35, 36, 37 and answers 504, 507, 1021, 1022 for the talk window.
    std::function<void(const StatusMessage& event)> talkEvent;
    std::function<void(const ResponseMessage& answer)> talkAnswer;
    // Events 23 (alarm: after its state text, with the snapshot ended for a snapshot result)
    // and 24 (custom model) for their features.
    std::function<void(int row, const StatusMessage& event)> alarmEvent;
    std::function<void(int row, const StatusMessage& event)> customModelEvent;

    // Counts of records received and dropped (no row for the handle), for tests and benches.
    int DroppedCount() const { return dropped_; }
    int HandledCount() const { return handled_; }
    // Follow-up queries waiting or running.
    int PendingQueries() const;

signals:
    // After every record, handled or dropped.
    void MessageHandled();

private:
    static int OnStatusHook(int handle, int type, const void* data, void* user);
    static int OnResponseHook(int handle, uint32_t codeWord, const char* text, void* user);
    template <typename Message>
    static int Post(std::unique_ptr<Message> message, void* user,
                    void (JobEngine::*handler)(const Message&));

    // The row of `handle`, counting the record as handled, or as dropped when there is none
    // (-1).
    int TakeRow(int handle);
    void ApplyStatus(int row, DeviceRecord* record, const StatusMessage& message);
    void ApplyResponse(int row, DeviceRecord* record, const ResponseMessage& message);
    void ApplyAlarm(int row, DeviceRecord* record, const StatusMessage& message);
    void SetState(int row, const char* key);
    void ClearLogin(DeviceRecord* record);
    void StartFollowUp(int handle);
    void FollowUpFailed(int handle);
    void FollowUpDone(int handle);
    void RunQueries();

    DeviceListModel* model_;
    bool upgradeRunning_ = false;
    int dropped_ = 0;
    int handled_ = 0;

    // Follow-up queries: handles waiting, served by `queryThreads_`. `queryMutex_` guards the
    // queue, `stopQueries_` and `runningQueries_`.
    mutable std::mutex queryMutex_;
    std::condition_variable queryCv_;
    std::deque<int> queryQueue_;
    int runningQueries_ = 0;
    bool stopQueries_ = false;
    std::vector<std::thread> queryThreads_;
};

}  // namespace camfleet

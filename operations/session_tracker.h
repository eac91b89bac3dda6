#pragma once
// Keeps each row's SDK session in the list: the login state from the SDK's status events
// (with the state column's text of each event), the follow-up queries after a login
// (controls 1012, 1020, 1019: version, answer text, serial number), the answers that
// configuration writes end with, alarms and the watches of upgrades and snapshots.
//
// It is one subscriber of the answer router among others: the talk window, the custom model
// and the operations subscribe to the same events and answers for their own needs.
//
// The follow-up queries wait for the camera's answer (up to 3 s each); they run as jobs of
// the worker pool, never on the list's thread, so a slow or silent camera cannot freeze the
// window. Their answers come back through the router like any other.
//
// Thread: the list's (UI) thread. The model, the router and the pool outlive the tracker.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "devicelist/device_list_model.h"
#include "operations/answer_router.h"
#include "operations/worker.h"

namespace camfleet {

// State text of an upgrade progress report: "UPLOAD: %02d%" for 1 to 100 (above 100 counts as
// 100); an empty text for a percentage below 1, which leaves the state as it is.
QString UpgradeProgressText(int percent);

// State text of an alarm record: "%02d:%02d:%02d IDS_ALARM:text" with the alarm's hour,
// minute and second and its text (at most the 140 bytes of its field, up to the first zero);
// an empty text for alarm kinds 1 and 2, which leave the state as it is.
QString AlarmStateText(const QV_ALARM_INFO& alarm);

class SessionTracker {
public:
    SessionTracker(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool);
    SessionTracker(const SessionTracker&) = delete;
    SessionTracker& operator=(const SessionTracker&) = delete;

    // Percentage of a running upgrade of `handle`, asked on events 54 and 55 (none: the
    // events are not shown).
    void SetUpgradeProgressSource(std::function<int(int handle)> source) {
        upgradeProgress_ = std::move(source);
    }

    // Called after the follow-up queries of a row ended, and after every login state change
    // that settles a row (RowState::LoginSettled), with the row.
    using RowHandler = std::function<void(int row)>;
    Subscription OnFollowUpDone(RowHandler handler) {
        return followUpHandlers_.Add(std::move(handler));
    }
    Subscription OnLoginSettled(RowHandler handler) {
        return settledHandlers_.Add(std::move(handler));
    }
    // After the follow-up queries of a device whose model contains "DIR-OVADU": the upload of
    // its default configuration.
    Subscription OnDefaultConfiguration(RowHandler handler);

    // Upgrade watch (every second while upgrades run): true while some row is upgrading;
    // false clears the upgrade-running flag (the caller stops its timer).
    bool UpgradeWatch();
    bool UpgradeRunning() const { return upgradeRunning_; }
    void SetUpgradeRunning(bool running) { upgradeRunning_ = running; }
    // Snapshot watch (every 5 s): a snapshot pending for more than 5 s at `nowSeconds` shows
    // "SNAPPING_TIMEOUT" and is cleared.
    void SnapshotWatch(int64_t nowSeconds);

    // Follow-up queries waiting or running.
    int PendingQueries() const { return pendingQueries_; }
    // Status events and answers for a handle no row has.
    int DroppedCount() const { return dropped_; }

private:
    void ApplyStatus(const StatusMessage& message);
    void ApplyAnswer(const ResponseMessage& message);
    void ApplyAlarm(int row, DeviceRecord* record, const StatusMessage& message);
    void StartFollowUp(int row, int handle);
    void FollowUpEnded(int handle, bool versionOk);
    int RowOf(int handle);

    DeviceListModel* model_;
    AnswerRouter* router_;
    WorkerPool* pool_;
    std::function<int(int)> upgradeProgress_;
    HandlerList<RowHandler> followUpHandlers_;
    HandlerList<RowHandler> settledHandlers_;
    Subscription events_;
    Subscription answers_;
    // Watched by the follow-up jobs' results: a result that arrives after the tracker went
    // is dropped.
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
    bool upgradeRunning_ = false;
    int pendingQueries_ = 0;
    int dropped_ = 0;
};

}  // namespace camfleet

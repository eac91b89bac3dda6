#include "operations/session_tracker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk_documents.h"
#include "device/xml_messages.h"
#include "resources/display_strings.h"

namespace camfleet {

namespace {

constexpr int64_t kSnapshotTimeoutSeconds = 5;

// Effect of one status event on the row: the state column's text and, for the events of
// the session itself, the login state they leave.
struct EventRule {
    int type;
    const char* key;  // state text key; null = empty text
    bool session;     // a login state change
    LoginState login;
};

constexpr EventRule kEventRules[] = {
    {kEventDisconnected, DisplayKey("MSGTIP10"), true, LoginState::kLost},
    {kEventOverLimit, DisplayKey("SESSION_OVER_LIMIT"), true, LoginState::kLost},
    {kEventConnectFailed, DisplayKey("MSGTIP4"), true, LoginState::kRefused},
    {kEventLoggedIn, DisplayKey("MSGTIP1"), true, LoginState::kLoggedIn},
    {kEventAuthFailed, DisplayKey("MSGTIP3"), true, LoginState::kRefused},
    {kEventTalkStarted, DisplayKey("STRING_STARTTALK_OK"), false, {}},
    {kEventTalkData, nullptr, false, {}},
    {kEventTalkStopped, DisplayKey("STRING_STOPTALK_OK"), false, {}},
    {kEventFileDone, DisplayKey("MSGTIP9"), false, {}},
    {kEventFileFailed, DisplayKey("MSGTIP8"), false, {}},
    {kEventBusy, DisplayKey("MSGTIP5"), false, {}},
    {kEventLoginFailed, DisplayKey("MSGTIP2"), true, LoginState::kRefused},
    {kEventTalkBusy, DisplayKey("STRING_STARTTALK_DEVBUSY"), false, {}},
    {kEventTalkParamError, DisplayKey("STRING_STARTTALK_PARAMERROR"), false, {}},
    {kEventTalkNotSupported, DisplayKey("STRING_STARTTALK_NOTSUPPORT"), false, {}},
    {kEventKeyChanged, DisplayKey("CAMERA_KEY_CHANGED"), true, LoginState::kRefused},
};

}  // namespace

QString UpgradeProgressText(int percent) {
    if (percent < 1)
        return {};
    return JobStateText(JobState{JobPhase::kRunning, percent, DisplayKey("UPLOAD")});
}

QString AlarmStateText(const QV_ALARM_INFO& alarm) {
    if (!AlarmIsShown(alarm.alarmType))
        return {};
    const QString text = QString::fromUtf8(
        alarm.alarmText, static_cast<qsizetype>(strnlen(alarm.alarmText, sizeof alarm.alarmText)));
    return QString::asprintf("%02d:%02d:%02d ", alarm.hour, alarm.minute, alarm.second) +
           GetDisplayString("IDS_ALARM") + ':' + text;
}

SessionTracker::SessionTracker(DeviceListModel* model, AnswerRouter* router, WorkerPool* pool)
    : model_(model), router_(router), pool_(pool) {
    events_ = router_->OnEvent(AnswerRouter::kAnyKind, AnswerRouter::kAnyHandle,
                               [this](const StatusMessage& m) { ApplyStatus(m); });
    answers_ = router_->OnAnswer(AnswerRouter::kAnyCode,
                                 [this](const ResponseMessage& m) { ApplyAnswer(m); });
}

Subscription SessionTracker::OnDefaultConfiguration(RowHandler handler) {
    return OnFollowUpDone([this, handler = std::move(handler)](int row) {
        const DeviceRecord* record = model_->Record(row);
        if (record != nullptr && std::strstr(record->answer.deviceType, "DIR-OVADU") != nullptr)
            handler(row);
    });
}

int SessionTracker::RowOf(int handle) {
    const int row = model_->FindRowByHandle(handle);
    if (row < 0)
        ++dropped_;
    return row;
}

void SessionTracker::ApplyStatus(const StatusMessage& m) {
    const int row = RowOf(m.handle);
    if (row < 0)
        return;
    DeviceRecord* record = model_->Record(row);
    const auto rule = std::find_if(std::begin(kEventRules), std::end(kEventRules),
                                   [&](const EventRule& r) { return r.type == m.type; });
    if (rule != std::end(kEventRules)) {
        if (!rule->session) {
            model_->SetStateKey(row, rule->key);
            return;
        }
        model_->SetLoginState(row, rule->login, rule->key);
        if (rule->login == LoginState::kLoggedIn)
            StartFollowUp(row, m.handle);
        else
            record->upgrading = 0;  // the session that ran the upgrade is gone
        if (model_->State(row)->LoginSettled())
            settledHandlers_.Call(row);
        return;
    }
    switch (m.type) {
        case kEventUpgradeDone:
            // A default configuration's confirmation leaves a running upgrade alone.
            if (!IsUpgradeReport(m)) {
                model_->SetStateKey(row, DisplayKey("MSGTIP6"));
                break;
            }
            model_->SetStateKey(
                row, record->upgrading != 0 ? DisplayKey("MSG_UPGRADE") : DisplayKey("MSGTIP6"));
            record->upgrading = 0;
            break;
        case kEventUpgradeFailed:
            model_->SetStateKey(row, DisplayKey("MSGTIP7"));
            record->upgrading = 0;
            break;
        case kEventAlarm:
            ApplyAlarm(row, record, m);
            break;
        case kEventUpgradeProgress:
        case kEventUpgradeProgress2:
            if (upgradeProgress_) {
                const QString text = UpgradeProgressText(upgradeProgress_(m.handle));
                if (!text.isEmpty())
                    model_->SetStateText(row, text);
            }
            break;
        default:
            break;  // other types are not shown
    }
}

void SessionTracker::ApplyAnswer(const ResponseMessage& m) {
    const int row = RowOf(m.handle);
    if (row < 0)
        return;
    DeviceRecord* record = model_->Record(row);
    if (IsConfigurationWriteCode(m.code)) {
        model_->SetStateKey(row, m.status == 0 ? DisplayKey("SET_OK") : DisplayKey("SET_FAILED"));
    } else if (m.code == kCtlFileSystemVersion) {
        // Only an accepted answer replaces the version: a failure keeps the one known.
        if (m.status == 0) {
            CopyField(record->firmwareVersion, m.payload);
            model_->SetVersionText(row, QString::fromUtf8(record->firmwareVersion));
        }
    } else if (m.code == kCtlSerialNumber) {
        if (m.status == 0)
            CopyField(record->sdkSerialNumber, m.payload);
    } else if (m.code == kCtlDeviceAnswerText) {
        if (m.status == 0)
            CopyField(record->answerText, m.payload);
    } else if (m.code == kCmdGetVideoCapture && m.status == 0) {
        QV_NETSDK_IPC_Media_getVideoCaptureByXml(m.payload, &record->lastVideoCapture);
    }
}

void SessionTracker::ApplyAlarm(int row, DeviceRecord* record, const StatusMessage& m) {
    QV_ALARM_INFO alarm;
    if (m.size != sizeof alarm)
        return;  // no record came with the event
    std::memcpy(&alarm, m.payload, sizeof alarm);
    const QString text = AlarmStateText(alarm);
    if (!text.isEmpty())
        model_->SetStateText(row, text);
    if (alarm.alarmType == kAlarmSnapshot)
        record->snapshotPending = 0;  // the snapshot came: no time-out to show
}

bool SessionTracker::UpgradeWatch() {
    for (int row = 0; row < model_->Count(); ++row)
        if (model_->Record(row)->upgrading != 0)
            return true;
    upgradeRunning_ = false;
    return false;
}

void SessionTracker::SnapshotWatch(int64_t nowSeconds) {
    for (int row = 0; row < model_->Count(); ++row) {
        DeviceRecord* record = model_->Record(row);
        if (record->snapshotPending != 0 &&
            nowSeconds - record->snapshotTime > kSnapshotTimeoutSeconds) {
            model_->SetStateKey(row, DisplayKey("SNAPPING_TIMEOUT"));
            record->snapshotPending = 0;
        }
    }
}

// ---- Follow-up queries ------------------------------------------------------------------

void SessionTracker::StartFollowUp(int row, int handle) {
    model_->SetFollowUpState(row, FollowUpState::kRunning);
    ++pendingQueries_;
    // 1012, 1020 and 1019 in this order; the answers reach ApplyAnswer through the router
    // before the job's end is handed back (both are posted to this thread, in this order).
    pool_->Start(
        [handle](std::stop_token stop) {
            const bool versionOk =
                QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr,
                                            kResponseParamRequest) == QV_OK;
            for (int code : {kCtlDeviceAnswerText, kCtlSerialNumber})
                if (!stop.stop_requested())
                    QV_NETSDK_IPC_SystemControl(handle, code, nullptr, kResponseParamRequest);
            return versionOk;
        },
        [this, alive = std::weak_ptr<const int>(alive_), handle](bool versionOk) {
            if (!alive.expired())
                FollowUpEnded(handle, versionOk);
        });
}

void SessionTracker::FollowUpEnded(int handle, bool versionOk) {
    --pendingQueries_;
    const int row = model_->FindRowByHandle(handle);
    const DeviceRecord* record = model_->Record(row);
    if (record == nullptr || !model_->State(row)->LoggedIn())
        return;  // the row or its session went meanwhile
    model_->SetFollowUpState(row, versionOk ? FollowUpState::kDone : FollowUpState::kFailed);
    settledHandlers_.Call(row);
    followUpHandlers_.Call(row);
}

}  // namespace camfleet

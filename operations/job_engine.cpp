#include "operations/job_engine.h"

#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <new>

#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_event_records.h"
#include "device/sdk_documents.h"
#include "device/xml_messages.h"
#include "resources/display_strings.h"

namespace camfleet {

namespace {

constexpr int kQueryThreads = 4;
constexpr int64_t kSnapshotTimeoutSeconds = 5;

// The engine the hooks post to; null while none exists. Held while posting, so the engine
// cannot be destroyed between the check and the post.
std::mutex hookTargetMutex;
JobEngine* hookTarget = nullptr;

// Effect of one status event on the row.
struct EventRule {
    int type;
    const char* key;  // state text key; null = empty text
    bool clearsLogin;
};

constexpr EventRule kEventRules[] = {
    {QV_EVENT_DISCONNECTED, DisplayKey("MSGTIP10"), true},
    {QV_EVENT_CONNECT_FAILED, DisplayKey("MSGTIP4"), true},
    {QV_EVENT_LOGGED_IN, DisplayKey("MSGTIP1"), false},
    {QV_EVENT_AUTH_FAILED, DisplayKey("MSGTIP3"), true},
    {QV_EVENT_TALK_STARTED, DisplayKey("STRING_STARTTALK_OK"), false},
    {QV_EVENT_TALK_DATA, nullptr, false},
    {QV_EVENT_TALK_STOPPED, DisplayKey("STRING_STOPTALK_OK"), false},
    {QV_EVENT_FILE_DONE, DisplayKey("MSGTIP9"), false},
    {QV_EVENT_FILE_FAILED, DisplayKey("MSGTIP8"), false},
    {QV_EVENT_BUSY, DisplayKey("MSGTIP5"), false},
    {QV_EVENT_LOGIN_FAILED, DisplayKey("MSGTIP2"), true},
    {QV_EVENT_TALK_BUSY, DisplayKey("STRING_STARTTALK_DEVBUSY"), false},
    {QV_EVENT_TALK_PARAM_ERROR, DisplayKey("STRING_STARTTALK_PARAMERROR"), false},
    {QV_EVENT_TALK_NOT_SUPPORTED, DisplayKey("STRING_STARTTALK_NOTSUPPORT"), false},
};

bool IsTalkEvent(int type) {
    switch (type) {
        case QV_EVENT_TALK_STARTED:
        case QV_EVENT_TALK_DATA:
        case QV_EVENT_TALK_STOPPED:
        case QV_EVENT_UPGRADE_DONE:
        case QV_EVENT_TALK_BUSY:
        case QV_EVENT_TALK_PARAM_ERROR:
        case QV_EVENT_TALK_NOT_SUPPORTED:
            return true;
        default:
            return false;
    }
}

// Configuration writes whose final status the state column shows.
bool IsConfigurationWrite(int code) {
    static constexpr std::pair<int, int> kRanges[] = {
        {220, 249}, {320, 349}, {420, 449}, {520, 549}, {670, 679}, {681, 682}, {820, 849}};
    return std::any_of(std::begin(kRanges), std::end(kRanges),
                       [code](auto r) { return code >= r.first && code <= r.second; });
}

QString Text(const char* field) {
    return QString::fromUtf8(field);
}

}  // namespace

std::unique_ptr<StatusMessage> MakeStatusMessage(int handle, int type, const void* data) {
    std::unique_ptr<StatusMessage> m(new (std::nothrow) StatusMessage);
    if (!m)
        return nullptr;
    m->handle = handle;
    m->type = type;
    std::memset(m->payload, 0, sizeof m->payload);
    const std::size_t fixed = FixedEventRecordSize(type);
    if (data == nullptr) {
        m->size = 0;
    } else if (fixed != 0) {
        std::memcpy(m->payload, data, fixed);
        m->size = static_cast<uint32_t>(fixed);
    } else {
        const char* text = static_cast<const char*>(data);
        m->size = static_cast<uint32_t>(strnlen(text, kMessagePayloadSize - 1));
        std::memcpy(m->payload, text, m->size);
    }
    return m;
}

std::unique_ptr<ResponseMessage> MakeResponseMessage(int handle, uint32_t codeWord,
                                                     const char* text) {
    std::unique_ptr<ResponseMessage> m(new (std::nothrow) ResponseMessage);
    if (!m)
        return nullptr;
    m->handle = handle;
    m->status = static_cast<int32_t>(codeWord >> 24);
    m->code = static_cast<int32_t>(codeWord & 0xFFFFFFu);
    m->payload[0] = '\0';
    const std::string_view answer = text != nullptr ? std::string_view(text) : std::string_view();
    if (m->code == kCtlFileSystemVersion)
        ParseResponseParam(answer, "FileSystemVersion", m->payload, sizeof m->payload);
    else if (m->code == kCtlSerialNumber)
        ParseResponseParam(answer, "SerialNumber", m->payload, sizeof m->payload);
    else
        CopyField(m->payload, answer);
    return m;
}

QString UpgradeProgressText(int percent) {
    if (percent < 1)
        return {};
    return QString::asprintf("%s: %02d%%", GetDisplayString("UPLOAD").toUtf8().constData(),
                             std::min(percent, 100));
}

QString AlarmStateText(const QV_ALARM_INFO& alarm) {
    if (alarm.alarmType == 1 || alarm.alarmType == 2)
        return {};
    const QString text = QString::fromUtf8(
        alarm.alarmText, static_cast<qsizetype>(strnlen(alarm.alarmText, sizeof alarm.alarmText)));
    return QString::asprintf("%02d:%02d:%02d ", alarm.hour, alarm.minute, alarm.second) +
           GetDisplayString("IDS_ALARM") + ':' + text;
}

JobEngine::JobEngine(DeviceListModel* model, QObject* parent) : QObject(parent), model_(model) {
    {
        std::lock_guard lock(hookTargetMutex);
        hookTarget = this;
    }
    QV_NETSDK_IPC_SetStatusEventCallBack(&JobEngine::OnStatusHook, this);
    QV_NETSDK_IPC_SetAUXResponseCallBack(&JobEngine::OnResponseHook, this);
    for (int i = 0; i < kQueryThreads; ++i)
        queryThreads_.emplace_back([this] { RunQueries(); });
}

JobEngine::~JobEngine() {
    bool installed = false;
    {
        std::lock_guard lock(hookTargetMutex);
        installed = hookTarget == this;
        if (installed)
            hookTarget = nullptr;
    }
    if (installed) {
        QV_NETSDK_IPC_SetStatusEventCallBack(nullptr, nullptr);
        QV_NETSDK_IPC_SetAUXResponseCallBack(nullptr, nullptr);
    }
    {
        std::lock_guard lock(queryMutex_);
        stopQueries_ = true;
        queryQueue_.clear();
    }
    queryCv_.notify_all();
    for (std::thread& t : queryThreads_)
        t.join();
    // Records still queued for this object are freed by Qt with their posted calls.
}

// SDK thread: posts `message` to the engine `user` for `handler`; -1 when the record could
// not be allocated (the event is lost). The record is freed after the call, or with the
// posted call when the engine is gone first.
template <typename Message>
int JobEngine::Post(std::unique_ptr<Message> made, void* user,
                    void (JobEngine::*handler)(const Message&)) {
    std::shared_ptr<Message> m(std::move(made));
    if (!m)
        return -1;
    std::lock_guard lock(hookTargetMutex);
    if (hookTarget == nullptr || hookTarget != user)
        return 0;
    JobEngine* engine = hookTarget;
    QMetaObject::invokeMethod(
        engine, [engine, m, handler] { (engine->*handler)(*m); }, Qt::QueuedConnection);
    return 0;
}

int JobEngine::OnStatusHook(int handle, int type, const void* data, void* user) {
    return Post(MakeStatusMessage(handle, type, data), user, &JobEngine::HandleStatus);
}

int JobEngine::OnResponseHook(int handle, uint32_t codeWord, const char* text, void* user) {
    return Post(MakeResponseMessage(handle, codeWord, text), user, &JobEngine::HandleResponse);
}

void JobEngine::SetState(int row, const char* key) {
    model_->SetStateKey(row, key);
}

void JobEngine::ClearLogin(DeviceRecord* record) {
    record->loggedIn = 0;
    record->upgrading = 0;
}

int JobEngine::TakeRow(int handle) {
    const int row = model_->FindRowByHandle(handle);
    ++(row < 0 ? dropped_ : handled_);
    return row;
}

void JobEngine::HandleStatus(const StatusMessage& m) {
    if (IsTalkEvent(m.type) && talkEvent)
        talkEvent(m);
    const int row = TakeRow(m.handle);
    if (row >= 0)
        ApplyStatus(row, model_->Record(row), m);
    emit MessageHandled();
}

void JobEngine::HandleResponse(const ResponseMessage& m) {
    if (talkAnswer && (m.code == 504 || m.code == 507 || m.code == 1021 || m.code == 1022))
        talkAnswer(m);
    const int row = TakeRow(m.handle);
    if (row >= 0)
        ApplyResponse(row, model_->Record(row), m);
    emit MessageHandled();
}

void JobEngine::ApplyStatus(int row, DeviceRecord* record, const StatusMessage& m) {
    const auto rule = std::find_if(std::begin(kEventRules), std::end(kEventRules),
                                   [&](const EventRule& r) { return r.type == m.type; });
    if (rule != std::end(kEventRules)) {
        SetState(row, rule->key);
        if (rule->clearsLogin)
            ClearLogin(record);
        if (m.type == QV_EVENT_LOGGED_IN) {
            record->loggedIn = 1;
            StartFollowUp(m.handle);
        }
    } else {
        switch (m.type) {
            case QV_EVENT_UPGRADE_DONE:
                SetState(row, record->upgrading != 0 ? DisplayKey("MSG_UPGRADE")
                                                     : DisplayKey("MSGTIP6"));
                record->upgrading = 0;
                break;
            case QV_EVENT_UPGRADE_FAILED:
                SetState(row, DisplayKey("MSGTIP7"));
                record->upgrading = 0;
                break;
            case QV_EVENT_ALARM:
                ApplyAlarm(row, record, m);
                break;
            case QV_EVENT_CUSTOM_MODEL:
                if (customModelEvent)
                    customModelEvent(row, m);
                break;
            case QV_EVENT_UPGRADE_PROGRESS:
            case QV_EVENT_UPGRADE_PROGRESS_2:
                if (upgradeProgress) {
                    const QString text = UpgradeProgressText(upgradeProgress(m.handle));
                    if (!text.isEmpty())
                        model_->SetStateText(row, text);
                }
                break;
            default:
                break;  // other types are not shown
        }
    }
}

void JobEngine::ApplyResponse(int row, DeviceRecord* record, const ResponseMessage& m) {
    if (IsConfigurationWrite(m.code)) {
        SetState(row, m.status == 0 ? DisplayKey("SET_OK") : DisplayKey("SET_FAILED"));
    } else if (m.code == kCtlFileSystemVersion) {
        // Only an accepted answer replaces the version: a failure keeps the one known.
        if (m.status == 0) {
            CopyField(record->firmwareVersion, m.payload);
            model_->SetVersionText(row, Text(record->firmwareVersion));
        }
    } else if (m.code == kCtlSerialNumber) {
        if (m.status == 0)
            CopyField(record->sdkSerialNumber, m.payload);
    } else if (m.code == kCtlDeviceAnswerText) {
        if (m.status == 0)
            CopyField(record->answerText, m.payload);
    } else if (m.code == kCmdGetVideoCapture || m.code == kCmdGetNetwork ||
               m.code == kCmdGetStreamAccess) {
        if (m.code == kCmdGetVideoCapture && m.status == 0)
            QV_NETSDK_IPC_Media_getVideoCaptureByXml(m.payload, &record->lastVideoCapture);
        if (continuation)
            continuation(row, m);
    }
}

void JobEngine::ApplyAlarm(int row, DeviceRecord* record, const StatusMessage& m) {
    QV_ALARM_INFO alarm;
    if (m.size != sizeof alarm)
        return;  // no record came with the event
    std::memcpy(&alarm, m.payload, sizeof alarm);
    const QString text = AlarmStateText(alarm);
    if (!text.isEmpty())
        model_->SetStateText(row, text);
    if (alarm.alarmType == QV_ALARM_SNAPSHOT)
        record->snapshotPending = 0;  // the snapshot came: no time-out to show
    if (alarmEvent)
        alarmEvent(row, m);
}

bool JobEngine::UpgradeWatch() {
    for (int row = 0; row < model_->Count(); ++row)
        if (model_->Record(row)->upgrading != 0)
            return true;
    upgradeRunning_ = false;
    return false;
}

void JobEngine::SnapshotWatch(int64_t nowSeconds) {
    for (int row = 0; row < model_->Count(); ++row) {
        DeviceRecord* record = model_->Record(row);
        if (record->snapshotPending != 0 &&
            nowSeconds - record->snapshotTime > kSnapshotTimeoutSeconds) {
            SetState(row, DisplayKey("SNAPPING_TIMEOUT"));
            record->snapshotPending = 0;
        }
    }
}

// ---- Follow-up queries ------------------------------------------------------------------

void JobEngine::StartFollowUp(int handle) {
    {
        std::lock_guard lock(queryMutex_);
        queryQueue_.push_back(handle);
    }
    queryCv_.notify_one();
}

int JobEngine::PendingQueries() const {
    std::lock_guard lock(queryMutex_);
    return static_cast<int>(queryQueue_.size()) + runningQueries_;
}

// Query thread: 1012, 1020 and 1019 in this order for each handle taken from the queue.
void JobEngine::RunQueries() {
    std::unique_lock lock(queryMutex_);
    for (;;) {
        queryCv_.wait(lock, [this] { return stopQueries_ || !queryQueue_.empty(); });
        if (stopQueries_)
            return;
        const int handle = queryQueue_.front();
        queryQueue_.pop_front();
        ++runningQueries_;
        lock.unlock();
        const bool versionOk = QV_NETSDK_IPC_SystemControl(handle, kCtlFileSystemVersion, nullptr,
                                                           kResponseParamRequest) == QV_OK;
        if (!versionOk)
            QMetaObject::invokeMethod(
                this, [this, handle] { FollowUpFailed(handle); }, Qt::QueuedConnection);
        QV_NETSDK_IPC_SystemControl(handle, kCtlDeviceAnswerText, nullptr, kResponseParamRequest);
        QV_NETSDK_IPC_SystemControl(handle, kCtlSerialNumber, nullptr, kResponseParamRequest);
        QMetaObject::invokeMethod(
            this, [this, handle] { FollowUpDone(handle); }, Qt::QueuedConnection);
        lock.lock();
        --runningQueries_;
    }
}

void JobEngine::FollowUpFailed(int handle) {
    const int row = model_->FindRowByHandle(handle);
    if (row >= 0)
        model_->SetCellKey(row, kColumnVersion, DisplayKey("MSGTIP34"));
}

void JobEngine::FollowUpDone(int handle) {
    const int row = model_->FindRowByHandle(handle);
    const DeviceRecord* record = model_->Record(row);
    if (record != nullptr && defaultConfiguration &&
        std::strstr(record->answer.deviceType, "DIR-OVADU") != nullptr)
        defaultConfiguration(row);
}

}  // namespace camfleet

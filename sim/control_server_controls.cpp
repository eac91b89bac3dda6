// Test controls and inspection of the control server: they only change state under the
// lock and wake the server thread; sockets stay with that thread.

#include <cstdio>
#include <cstring>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/sdk_event_records.h"
#include "sim/control_server.h"
#include "sim/control_server_state.h"

namespace camfleet::sim {

std::string SampleEventPayload(int type, std::time_t now) {
    std::string payload(FixedEventRecordSize(type), '\0');
    if (type != kEventAlarm)
        return payload;
    const QV_ALARM_INFO alarm = LabAlarm(0, now, "camfleet-sim alarm");
    std::memcpy(payload.data(), &alarm, sizeof alarm);
    return payload;
}

QV_ALARM_INFO LabAlarm(int alarmType, std::time_t when, const std::string& text) {
    QV_ALARM_INFO alarm{};
    std::tm local{};
    localtime_r(&when, &local);
    alarm.alarmType = alarmType;
    alarm.year = local.tm_year + 1900;
    alarm.month = local.tm_mon + 1;
    alarm.day = local.tm_mday;
    alarm.hour = local.tm_hour;
    alarm.minute = local.tm_min;
    alarm.second = local.tm_sec;
    std::snprintf(alarm.alarmText, sizeof alarm.alarmText, "%s", text.c_str());
    return alarm;
}

uint16_t ControlServer::Port(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.identity().sdkPort;
}

int ControlServer::CameraCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(cameras_.size());
}

void ControlServer::SetRefuseLogins(int id, bool refuse) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->refuse = refuse;
}

void ControlServer::DropSessions(int id) {
    {
        std::lock_guard lock(mutex_);
        cameras_.at(id)->dropRequested = true;
    }
    wake_.Wake();
}

void ControlServer::SetAnswerDelay(int id, std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->delay = delay;
}

void ControlServer::SetLoseAnswers(int id, bool lose) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->lose = lose;
}

void ControlServer::SetFailStatus(int id, int32_t status) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->failStatus = status;
}

void ControlServer::SetRestartTime(int id, std::chrono::milliseconds time) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->restartTime = time;
}

void ControlServer::EmitEvent(int id, int type, const std::string& payload) {
    sdk::Frame event;
    event.kind = sdk::FrameKind::kEvent;
    event.code = static_cast<uint32_t>(type) & sdk::kCodeMask;
    event.payload = payload;
    const std::string bytes = sdk::EncodeFrame(event);
    {
        std::lock_guard lock(mutex_);
        for (auto& [key, c] : connections_)
            if (c.camera == id && c.loggedIn)
                c.out += bytes;
    }
    wake_.Wake();
}

void ControlServer::EmitAlarm(int id, const QV_ALARM_INFO& alarm) {
    EmitEvent(id, kEventAlarm, std::string(reinterpret_cast<const char*>(&alarm), sizeof alarm));
}

int ControlServer::SessionCount(int id) const {
    std::lock_guard lock(mutex_);
    return CountSessions(id);
}

int ControlServer::CountSessions(int id) const {
    int count = 0;
    for (const auto& [key, c] : connections_)
        count += c.camera == id && c.loggedIn && !c.dead ? 1 : 0;
    return count;
}

int ControlServer::LoginCount(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logins;
}

int ControlServer::RestartCount(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->restarts;
}

std::string ControlServer::Document(int id, int code) const {
    std::lock_guard lock(mutex_);
    int32_t status = 0;
    return cameras_.at(id)->logic.documents().Read(code, &status);
}

std::string ControlServer::LastControl(int id, int code) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.lastControl(code);
}

std::string ControlServer::Password(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.password();
}

}  // namespace camfleet::sim

// Snapshots of the lab cameras: system command 1043 makes the camera take a picture of its
// test scene with its title and clock, keep it among the files it serves for download and
// announce it with an alarm of kind 23 whose text is the picture's name.

#include <cstdio>
#include <cstring>
#include <ctime>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "resources/log.h"
#include "sim/control_server.h"
#include "sim/control_server_state.h"
#include "sim/snapshot_picture.h"

namespace camfleet::sim {

void ControlServer::SetSnapshotName(int id, const std::string& name) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->snapshotName = name;
}

int ControlServer::SnapshotCount(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->snapshots;
}

std::vector<std::string> ControlServer::FileNames(int id) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : cameras_.at(id)->files)
        names.push_back(name);
    return names;
}

void ControlServer::TakeSnapshot(Connection& c) {
    Camera& camera = *cameras_[c.camera];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int number = ++camera.snapshots;
    std::string name = camera.snapshotName;
    if (name.empty()) {
        char own[128];
        std::snprintf(own, sizeof own, "snap_%04d%02d%02d-%02d%02d%02d_%d.jpg",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec, number);
        name = own;
    }
    camera.files[name] = SnapshotJpeg(camera.logic.identity().title, local);
    LogMessage("camera %s: snapshot %s\n", camera.logic.identity().ipAddress.c_str(), name.c_str());

    const QV_ALARM_INFO alarm = LabAlarm(QV_ALARM_SNAPSHOT, now, name);
    sdk::Frame event;
    event.kind = sdk::FrameKind::kEvent;
    event.code = kEventAlarm;
    event.payload.assign(reinterpret_cast<const char*>(&alarm), sizeof alarm);
    c.out += sdk::EncodeFrame(event);
}

}  // namespace camfleet::sim

// The camera's firmware upgrade (docs/camera-protocol.md, "Firmware upgrade"): a firmware
// upload streams through the lab image check without being stored, a whole and valid image
// starts the write phase (progress events, then success and a reboot into the new version,
// or a failure), one image at a time per camera; and the OEM model a "devicetype.oem"
// configuration file sets. Everything runs on the server thread under mutex_, driven by
// FirmwareHousekeeping on every pass and woken by FirmwareDue.

#include <algorithm>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/text_convert.h"
#include "device/xml_messages.h"
#include "resources/log.h"
#include "sim/control_server.h"
#include "sim/control_server_state.h"

namespace camfleet::sim {

namespace {

using Outcome = FirmwareWrite::Outcome;

constexpr int kProgressStep = 10;  // percent between progress events
constexpr int kHangPercent = 50;   // where a write that never finishes stops reporting

std::string UpgradeText(const char* name, const std::string& value) {
    return std::string("<Upgrade ") + name + "=\"" + EscapeAttribute(value) + "\" />";
}

// The time the write reaches `percent`.
std::chrono::steady_clock::time_point Due(const FirmwareWrite& w,
                                          std::chrono::milliseconds writeTime, int percent) {
    return w.start + writeTime * percent / 100;
}

// The next percent at which the write has something to say, and whether that is its outcome
// rather than a progress event. A failure replaces the progress event at its percent.
int NextPercent(const FirmwareWrite& w, bool* outcome) {
    const int step = w.progress + kProgressStep;
    *outcome = w.outcome == Outcome::kFail ? step >= w.stopAt : step > w.stopAt;
    return *outcome ? w.stopAt : step;
}

// An OEM model: 1 to 63 bytes of UTF-8 without control characters.
bool ValidOemModel(std::string_view model) {
    if (model.empty() || model.size() > 63 || !IsValidUtf8(model))
        return false;
    for (std::size_t i = 0; i < model.size(); ++i) {
        const auto byte = static_cast<unsigned char>(model[i]);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        const bool c1 =
            byte == 0xC2 && i + 1 < model.size() && static_cast<unsigned char>(model[i + 1]) < 0xA0;
        if (c1)  // U+0080 to U+009F
            return false;
    }
    return true;
}

}  // namespace

// ---- Test controls and inspection ------------------------------------------------------------

void ControlServer::SetFirmwareTiming(int id, std::chrono::milliseconds writeTime,
                                      std::chrono::milliseconds rebootTime) {
    {
        std::lock_guard lock(mutex_);
        Camera& camera = *cameras_.at(id);
        camera.writeTime = std::max(writeTime, std::chrono::milliseconds(0));
        camera.rebootTime = std::max(rebootTime, std::chrono::milliseconds(0));
    }
    wake_.Wake();
}

void ControlServer::SetFirmwareFault(int id, FirmwareFault fault) {
    std::lock_guard lock(mutex_);
    cameras_.at(id)->firmwareFault = fault;
}

std::string ControlServer::FirmwareVersion(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.identity().firmwareVersion;
}

std::string ControlServer::ReportedModel(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->logic.reportedModel();
}

int ControlServer::FirmwareWrites(int id) const {
    std::lock_guard lock(mutex_);
    return cameras_.at(id)->firmwareWrites;
}

// ---- The upgrade -------------------------------------------------------------------------------

// A write that hangs ends once no session of the camera is left to wait for it.
bool ControlServer::FirmwareBusy(int id) const {
    const FirmwareWrite& w = cameras_[id]->firmwareWrite;
    if (w.running && !(w.hung && CountSessions(id) == 0))
        return true;
    for (const auto& [key, c] : connections_)
        if (c.camera == id && !c.dead && c.bulk && c.bulk->firmware && !c.bulk->done)
            return true;
    return false;
}

// A fault found before the last chunk ends the transfer at once: end status 1 with the bytes
// taken, and the connection closes. One found with the last chunk waits for the verdict on
// the whole transfer, so that a transfer shorter than announced still shows as status 3.
bool ControlServer::CheckFirmwareChunk(Connection& c, const std::string& chunk, bool last) {
    BulkLink& b = *c.bulk;
    const auto* bytes = reinterpret_cast<const uint8_t*>(chunk.data());
    if (b.firmware->Feed({bytes, chunk.size()}) || last)
        return true;
    Camera& camera = *cameras_[c.camera];
    LogMessage("camera %s: firmware %s refused after %llu bytes: %s\n",
               camera.logic.identity().ipAddress.c_str(), b.open.name.c_str(),
               static_cast<unsigned long long>(b.bytes),
               std::string(FirmwareImageFaultName(b.firmware->Finish().fault)).c_str());
    ++camera.uploadsFailed;
    b.done = true;
    c.closing = true;
    c.out +=
        EncodeDataFrame(sdk::kBulkEnd, b.chunks, sdk::PrintBulkEnd(sdk::kStatusFailed, b.bytes));
    return false;
}

int32_t ControlServer::FirmwareVerdict(Connection& c) {
    const BulkLink& b = *c.bulk;
    const FirmwareImageFault fault = b.firmware->Finish().fault;
    if (fault == FirmwareImageFault::kNone)
        return sdk::kStatusOk;
    LogMessage("camera %s: firmware %s refused: %s\n",
               cameras_[c.camera]->logic.identity().ipAddress.c_str(), b.open.name.c_str(),
               std::string(FirmwareImageFaultName(fault)).c_str());
    return sdk::kStatusFailed;
}

// The faults in force when the image was accepted decide how its write ends.
void ControlServer::StartFirmwareWrite(Connection& c, Clock::time_point now) {
    const BulkLink& b = *c.bulk;
    Camera& camera = *cameras_[c.camera];
    const FirmwareFault& fault = camera.firmwareFault;
    FirmwareWrite w;
    w.running = true;
    w.session = b.session;
    w.clean = b.open.name == kCleanFirmwareName;
    w.version = w.clean ? camera.logic.identity().firmwareVersion : b.firmware->Finish().version;
    w.start = now;
    if (fault.failAtPercent >= 0) {
        w.outcome = Outcome::kFail;
        w.stopAt = std::min(fault.failAtPercent, 100);
    } else if (fault.neverFinish) {
        w.outcome = Outcome::kHang;
        w.stopAt = kHangPercent;
    }
    camera.firmwareWrite = w;
    LogMessage("camera %s: firmware %s accepted, writing %s\n",
               camera.logic.identity().ipAddress.c_str(), b.open.name.c_str(),
               w.clean ? "the clean-up" : w.version.c_str());
}

void ControlServer::FirmwareHousekeeping(Clock::time_point now, std::vector<Callback>* calls) {
    for (std::size_t index = 0; index < cameras_.size(); ++index) {
        const int id = static_cast<int>(index);
        Camera& camera = *cameras_[index];
        FirmwareWrite& w = camera.firmwareWrite;
        if (!w.running)
            continue;
        if (w.hung) {
            if (CountSessions(id) == 0)
                w = FirmwareWrite{};
            continue;
        }
        bool outcome = false;
        int percent = NextPercent(w, &outcome);
        while (!outcome && now >= Due(w, camera.writeTime, percent)) {
            w.progress = percent;
            SendUpgradeEvent(id, w.session, kEventUpgradeProgress2,
                             UpgradeText("Progress", std::to_string(percent)));
            percent = NextPercent(w, &outcome);
        }
        if (!outcome || now < Due(w, camera.writeTime, percent))
            continue;
        const std::string& ip = camera.logic.identity().ipAddress;
        if (w.outcome == Outcome::kHang) {
            LogMessage("camera %s: firmware write hangs at %d %%\n", ip.c_str(), w.stopAt);
            w.hung = true;
            continue;
        }
        if (w.outcome == Outcome::kFail) {
            LogMessage("camera %s: firmware write failed at %d %%\n", ip.c_str(), w.stopAt);
            SendUpgradeEvent(id, w.session, kEventUpgradeFailed,
                             UpgradeText("Progress", std::to_string(w.stopAt)));
            w = FirmwareWrite{};
            continue;
        }
        // Written: the event goes out before the camera restarts into what it wrote.
        SendUpgradeEvent(id, w.session, kEventUpgradeDone, UpgradeText("Version", w.version));
        ++camera.firmwareWrites;
        if (w.clean) {
            camera.logic.SetModelOverride({});
            camera.uploads.erase(sdk::BulkPurpose::kOemApp);
            if (camera.callbacks.onModelOverride)
                calls->push_back([f = camera.callbacks.onModelOverride,
                                  model = camera.logic.reportedModel()] { f(model); });
        } else {
            camera.logic.SetFirmwareVersion(w.version);
        }
        LogMessage("camera %s: firmware written, restarting with %s\n", ip.c_str(),
                   w.version.c_str());
        if (camera.callbacks.onFirmwareInstalled)
            calls->push_back([f = camera.callbacks.onFirmwareInstalled, version = w.version,
                              silence = camera.rebootTime] { f(version, silence); });
        w = FirmwareWrite{};
        TakeDown(id, now + camera.rebootTime);
    }
}

ControlServer::Clock::time_point ControlServer::FirmwareDue(Clock::time_point next) const {
    for (const auto& camera : cameras_) {
        const FirmwareWrite& w = camera->firmwareWrite;
        if (!w.running || w.hung)
            continue;
        bool outcome = false;
        next = std::min(next, Due(w, camera->writeTime, NextPercent(w, &outcome)));
    }
    return next;
}

// To the session that made the upload while it is logged in, else to every logged-in session
// of the camera.
void ControlServer::SendUpgradeEvent(int id, uint64_t session, int type,
                                     const std::string& payload) {
    const auto it = connections_.find(session);
    if (it != connections_.end() && it->second.loggedIn && !it->second.dead) {
        SendEvent(session, type, payload);
        return;
    }
    for (auto& [key, c] : connections_)
        if (c.camera == id && c.loggedIn && !c.dead)
            SendEvent(key, type, payload);
}

// ---- The OEM model -----------------------------------------------------------------------------

bool ControlServer::ApplyDeviceType(Connection& c, const std::string& content,
                                    std::vector<Callback>* calls) {
    static constexpr std::string_view kSet = "SET_OEM_DEVTYPE_FLAG=";
    static constexpr std::string_view kDelete = "DEL_OEM_DEVTYPE_FLAG=";
    Camera& camera = *cameras_[c.camera];
    std::string model;
    if (std::string_view(content).starts_with(kSet) &&
        ValidOemModel(std::string_view(content).substr(kSet.size())))
        model = content.substr(kSet.size());
    else if (content != kDelete) {
        LogMessage("camera %s: %s is not a model setting, ignored\n",
                   camera.logic.identity().ipAddress.c_str(), kDeviceTypeFileName);
        return false;
    }
    camera.logic.SetModelOverride(model);
    if (camera.callbacks.onModelOverride)
        calls->push_back([f = camera.callbacks.onModelOverride,
                          reported = camera.logic.reportedModel()] { f(reported); });
    return true;
}

}  // namespace camfleet::sim

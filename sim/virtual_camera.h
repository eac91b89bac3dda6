#pragma once
// One simulated camera's discovery behaviour: what it answers to a datagram and how the
// command datagrams change it. No sockets and no clock of its own: the lab passes the time
// in, so tests decide what time it is.
//
// Not thread-safe: the lab guards each camera with its lock.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/answer_printer.h"
#include "sim/camera_profile.h"

namespace tinyxml2 {
class XMLElement;
}

namespace camfleet::sim {

using SimClock = std::chrono::steady_clock;

// Hands out an address of the lab's DHCP pool (empty when the pool is exhausted).
using AddressPool = std::function<std::string()>;

class VirtualCamera {
public:
    VirtualCamera(CameraProfile factory, SimClock::time_point bootTime);

    // What the camera does with one datagram it received at `now`.
    struct Reaction {
        bool answer = false;          // send Answer(now) back to the sender
        bool addressChanged = false;  // the camera moved: rebind to profile().ipAddress
    };
    Reaction OnDatagram(std::string_view text, SimClock::time_point now, const AddressPool& pool);

    // A restart asked for through the camera-control side: silent for the reboot time; a
    // restore also returns the settings to the factory ones but keeps the address.
    void Restart(SimClock::time_point now, bool restore);
    // A firmware write finished through the camera-control side: the camera restarts, silent
    // for `silence`, and runs `version` from then on, also after a restore.
    void InstallFirmware(SimClock::time_point now, const std::string& version,
                         SimClock::duration silence);
    // The model the answer reports (an OEM model or the camera's own), also after a restore.
    void SetReportedModel(const std::string& model);

    // The answer to a search request at `now`.
    std::string Answer(SimClock::time_point now) const;
    int RunningTime(SimClock::time_point now) const;
    bool IsSilent(SimClock::time_point now) const { return now < silentUntil_; }

    const CameraProfile& profile() const { return profile_; }
    void SetProfile(const CameraProfile& profile) { profile_ = factory_ = profile; }
    void SetHostility(Hostility hostility) { hostility_ = hostility; }
    void SetRebootSilence(SimClock::duration silence) { rebootSilence_ = silence; }
    // Test control: set-network datagrams are received (and logged) but not applied, as
    // when the datagram was lost on the way or the camera refused it.
    void SetIgnoreNetworkCommands(bool ignore) { ignoreNetwork_ = ignore; }
    int mode() const { return mode_; }
    int rebootCount() const { return rebootCount_; }
    int restoreCount() const { return restoreCount_; }

private:
    // Applies a command datagram `text` of `code` with `flag` when it names this camera.
    bool ApplyCommand(int code, int flag, std::string_view text, SimClock::time_point now,
                      const AddressPool& pool);
    bool ApplyNetwork(const tinyxml2::XMLElement* body, const AddressPool& pool);
    void Reboot(SimClock::time_point now, SimClock::duration silence);

    CameraProfile factory_;
    CameraProfile profile_;
    Hostility hostility_ = Hostility::kNone;
    SimClock::time_point bootTime_;
    SimClock::time_point silentUntil_{};
    SimClock::duration rebootSilence_ = std::chrono::seconds(3);
    int initialRunningTime_;
    bool ignoreNetwork_ = false;
    int mode_ = 0;
    int rebootCount_ = 0;
    int restoreCount_ = 0;
};

}  // namespace camfleet::sim

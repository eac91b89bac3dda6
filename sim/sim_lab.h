#pragma once
// A lab of simulated cameras that answer the discovery protocol over real UDP sockets.
//
// Loopback lab (no root): cameras on 127.0.10.1, 127.0.10.2, ... each with its own socket
// on port 3001 of its own address; one receiver bound to 127.255.255.255 gives every camera
// the broadcasts. LAN lab (root, private namespace): cameras on .10 upward of each subnet,
// behind a veth pair whose PC end (.253) is the tool's adapter.
//
// Threads: Start/Stop and the inspection calls run on the owner's thread; the lab thread
// owns every socket and the pending answers. `mutex_` guards `cameras_` and `received_`.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/control_server.h"
#include "sim/lab_link.h"
#include "sim/lan_namespace.h"
#include "sim/virtual_camera.h"

namespace camfleet::sim {

class LabWorker;

struct LabOptions {
    int cameras = 12;  // per subnet in a LAN lab
    uint32_t seed = 1;
    uint16_t port = 3001;
    std::string firstAddress = "127.0.10.1";  // loopback lab
    std::vector<std::string> lanSubnets;      // non-empty: LAN lab, e.g. "192.168.1.0/24"
    int maxAnswerDelayMs = 20;                // answers wait 0 to this many ms
    std::chrono::milliseconds rebootSilence{3000};
    int firstSdkPort = 8091;  // camera i reports PTZPort firstSdkPort + i
};

// What the lab knows about one camera, copied out for inspection.
struct CameraSnapshot {
    CameraProfile profile;
    std::vector<std::string> received;  // every datagram it received, exact bytes, in order
    int mode = 0;
    int reboots = 0;
    int restores = 0;
};

class SimLab {
public:
    SimLab();
    ~SimLab();
    SimLab(const SimLab&) = delete;
    SimLab& operator=(const SimLab&) = delete;

    // Creates the cameras and starts answering. 0, or -1 with `error` set.
    int Start(const LabOptions& options, std::string* error);
    void Stop();  // idempotent

    int CameraCount() const;
    CameraSnapshot Snapshot(int index) const;
    void SetHostility(int index, Hostility hostility);
    // Test control: camera `index` ignores the set-network datagrams it receives.
    void SetIgnoreNetworkCommands(int index, bool ignore);
    // Replaces a camera's identity and settings; it keeps its address.
    void SetProfile(int index, const CameraProfile& profile);
    // The lab's clock (default: the steady clock).
    void SetClock(std::function<SimClock::time_point()> clock);
    // Address of the PC end of LAN subnet k ("" in a loopback lab).
    std::string PcAddress(int k) const;
    // Runs a command (e.g. "ip route ...") inside the LAN lab's camera namespace and returns
    // its exit status, with `input` on its standard input; -1 in a loopback lab or when the
    // namespace cannot be entered.
    int RunInCameraNamespace(const std::vector<std::string>& argv,
                             const std::string& input = "") const;
    // The camera-control side of every camera (docs/camera-protocol.md): camera i is
    // control id i, listening on its address and its PTZPort (on a free port that
    // control().Port(i) tells when the PTZPort was taken). Valid between Start and Stop.
    ControlServer& control() { return *control_; }

private:
    int CreateCameras(std::vector<LabLink>* links, std::string* error);
    LabLink LoopbackLink(uint32_t first);
    LabLink LanLink(int k, CameraSubnet* subnet);
    void AddCameras(int k, int count, const CameraSubnet& subnet, LabLink* link);
    int StartControl(std::string* error);
    // Lab thread: camera `index` moved to a new address.
    void OnCameraMoved(int index, const std::string& address);

    LabOptions options_;
    std::vector<LanSubnet> subnets_;
    LanNamespace lan_;
    std::unique_ptr<LabWorker> worker_;
    std::thread thread_;
    std::unique_ptr<ControlServer> control_;

    mutable std::mutex mutex_;
    std::vector<VirtualCamera> cameras_;              // guarded by mutex_
    std::vector<std::vector<std::string>> received_;  // guarded by mutex_
    std::vector<int> cameraLink_;                     // fixed after Start
    std::function<SimClock::time_point()> clock_ = [] { return SimClock::now(); };  // mutex_
    friend class LabWorker;
};

}  // namespace camfleet::sim

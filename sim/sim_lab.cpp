#include "sim/sim_lab.h"

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <future>
#include <thread>

#include "resources/log.h"
#include "sim/lab_socket.h"
#include "sim/lab_worker.h"

namespace camfleet::sim {

namespace {

constexpr uint32_t kLoopbackBroadcastHost = 0x7fffffffu;
// Cameras per LAN subnet: from .10 upward, leaving room for leases; the PC's address is
// passed over. 200 in a /24 (.10 to .209), more in a wider subnet, at most 1,000.
int MaxLanCameras(int prefix) {
    const long long hosts = 1LL << (32 - prefix);
    return static_cast<int>(std::min<long long>(hosts - 56, 1000));
}

// Every camera has a socket of its own: a large lab needs more descriptors than the
// usual soft limit of 1,024.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// What the camera-control side needs of a lab camera.
ControlIdentity ControlIdentityOf(const CameraProfile& p) {
    ControlIdentity id;
    id.serialNumber = p.serialNumber;
    id.model = p.model;
    id.firmwareVersion = p.version;
    id.macAddress = p.macAddress;
    id.ipAddress = p.ipAddress;
    id.netmask = p.netmask;
    id.gateway = p.gateway;
    id.dns1 = p.dns1;
    id.dns2 = p.dns2;
    id.dhcp = p.dhcp;
    id.sdkPort = static_cast<uint16_t>(p.ptzPort);
    id.rtspPort = p.videoPort;
    id.webPort = p.webPort;
    id.username = p.username;
    id.password = p.password;
    id.title = p.osdText;
    return id;
}

}  // namespace

SimLab::SimLab() = default;
SimLab::~SimLab() {
    Stop();
}

int SimLab::Start(const LabOptions& options, std::string* error) {
    Stop();
    options_ = options;
    subnets_.clear();
    for (const std::string& text : options.lanSubnets) {
        LanSubnet subnet;
        if (!ParseLanSubnet(text, &subnet)) {
            *error = "invalid subnet " + text + " (expected e.g. 192.168.1.0/24)";
            return -1;
        }
        subnets_.push_back(subnet);
    }
    RaiseDescriptorLimit();
    std::vector<LabLink> links;
    if (CreateCameras(&links, error) != 0)
        return -1;
    if (!subnets_.empty() && lan_.Create(subnets_, error) != 0)
        return -1;
    worker_ = std::make_unique<LabWorker>(*this, std::move(links), lan_.NamespaceFd());
    std::promise<std::string> ready;
    std::future<std::string> result = ready.get_future();
    thread_ = std::thread(&LabWorker::Run, worker_.get(), std::move(ready));
    *error = result.get();
    if (error->empty() && StartControl(error) == 0)
        return 0;
    Stop();
    return -1;
}

// Every camera serves the camera-control protocol on its address and PTZPort; an SDK reboot
// or restore silences its discovery side as a discovery reboot does, a firmware install for
// the reboot time of the upgrade, after which it answers with the new version; an OEM model
// set through the control side shows in its answers. Control id i is camera i.
int SimLab::StartControl(std::string* error) {
    control_ = std::make_unique<ControlServer>();
    control_->SetNetworkNamespace(lan_.NamespaceFd());
    std::vector<CameraProfile> profiles;
    {
        std::lock_guard lock(mutex_);
        for (const VirtualCamera& camera : cameras_)
            profiles.push_back(camera.profile());
    }
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        ControlIdentity id = ControlIdentityOf(profiles[i]);
        ControlCallbacks callbacks;
        callbacks.onRestart = [this, i](bool restore) {
            std::lock_guard lock(mutex_);
            cameras_[i].Restart(clock_(), restore);
        };
        callbacks.onFirmwareInstalled = [this, i](const std::string& version,
                                                  std::chrono::milliseconds silence) {
            std::lock_guard lock(mutex_);
            cameras_[i].InstallFirmware(clock_(), version, silence);
        };
        callbacks.onModelOverride = [this, i](const std::string& model) {
            std::lock_guard lock(mutex_);
            cameras_[i].SetReportedModel(model);
        };
        int control = control_->AddCamera(id, callbacks, error);
        if (control < 0) {
            // Its port is taken (another lab on the same addresses, as in parallel tests):
            // its control side listens on a free port instead, which control().Port tells;
            // the discovery answer keeps the configured PTZPort.
            id.sdkPort = 0;
            control = control_->AddCamera(id, std::move(callbacks), error);
            if (control < 0)
                return -1;
            LogMessage("lab camera %zu: SDK port %d taken, camera control on port %u\n", i,
                       profiles[i].ptzPort, static_cast<unsigned>(control_->Port(control)));
        }
        error->clear();
        control_->SetRestartTime(control, options_.rebootSilence);
    }
    control_->Start();
    return 0;
}

void SimLab::OnCameraMoved(int index, const std::string& address) {
    if (control_)
        control_->MoveCamera(index, address);
}

// Profiles, links and the camera-to-link map, from the options.
int SimLab::CreateCameras(std::vector<LabLink>* links, std::string* error) {
    std::lock_guard lock(mutex_);
    cameras_.clear();
    received_.clear();
    cameraLink_.clear();
    const int count = std::max(options_.cameras, 0);
    for (const LanSubnet& lan : subnets_)
        if (count > MaxLanCameras(lan.prefix)) {
            *error = "a LAN lab holds at most " + std::to_string(MaxLanCameras(lan.prefix)) +
                     " cameras in a /" + std::to_string(lan.prefix) + " subnet";
            return -1;
        }
    const uint32_t loopbackFirst = HostOrder(options_.firstAddress);
    if (subnets_.empty() && (loopbackFirst >> 24) != 127) {
        *error = "the loopback lab needs a 127.x.x.x first address";
        return -1;
    }
    const std::size_t linkCount = subnets_.empty() ? 1 : subnets_.size();
    for (std::size_t k = 0; k < linkCount; ++k) {
        CameraSubnet subnet;
        LabLink link =
            subnets_.empty() ? LoopbackLink(loopbackFirst) : LanLink(static_cast<int>(k), &subnet);
        AddCameras(static_cast<int>(k), count, subnet, &link);
        links->push_back(std::move(link));
    }
    return 0;
}

// Loopback lab: one link, broadcasts to 127.255.255.255; cameras from `first`.
LabLink SimLab::LoopbackLink(uint32_t first) {
    LabLink link;
    link.receiveAddress = Dotted(kLoopbackBroadcastHost);
    link.firstAddress = first;
    return link;
}

// LAN subnet k: cameras from .10 behind the camera end of veth pair k.
LabLink SimLab::LanLink(int k, CameraSubnet* subnet) {
    const LanSubnet& lan = subnets_[k];
    *subnet = {NetmaskText(lan.prefix), Dotted(lan.base + 1)};
    LabLink link;
    link.receiveAddress = "0.0.0.0";
    link.device = LanNamespace::CameraEnd(k);
    link.prefix = lan.prefix;
    link.firstAddress = lan.base + 10;
    link.pcAddress = lan.base + 253;
    return link;
}

// Caller holds mutex_. Appends `count` cameras on link `k`; DHCP leases follow them.
void SimLab::AddCameras(int k, int count, const CameraSubnet& subnet, LabLink* link) {
    uint32_t next = link->firstAddress;
    for (int j = 0; j < count; ++j, ++next) {
        const int index = static_cast<int>(cameras_.size());
        if (next == link->pcAddress && next != 0)
            ++next;
        const std::string address = Dotted(next);
        cameras_.emplace_back(
            MakeCameraProfile(options_.seed, index, address, subnet, options_.firstSdkPort + index),
            SimClock::now());
        cameras_.back().SetRebootSilence(options_.rebootSilence);
        received_.emplace_back();
        cameraLink_.push_back(k);
        link->cameras.push_back(index);
    }
    link->nextLease = next == link->pcAddress && next != 0 ? next + 1 : next;
}

void SimLab::Stop() {
    if (control_)
        control_->Stop();
    if (worker_)
        worker_->RequestStop();
    if (thread_.joinable())
        thread_.join();
    control_.reset();
    worker_.reset();
    lan_.Destroy();
}

int SimLab::CameraCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(cameras_.size());
}

CameraSnapshot SimLab::Snapshot(int index) const {
    std::lock_guard lock(mutex_);
    const VirtualCamera& camera = cameras_.at(index);
    return {camera.profile(), received_.at(index), camera.mode(), camera.rebootCount(),
            camera.restoreCount()};
}

void SimLab::SetIgnoreNetworkCommands(int index, bool ignore) {
    std::lock_guard lock(mutex_);
    cameras_.at(index).SetIgnoreNetworkCommands(ignore);
}

void SimLab::SetHostility(int index, Hostility hostility) {
    std::lock_guard lock(mutex_);
    cameras_.at(index).SetHostility(hostility);
}

void SimLab::SetProfile(int index, const CameraProfile& profile) {
    std::lock_guard lock(mutex_);
    CameraProfile moved = profile;
    moved.ipAddress = cameras_.at(index).profile().ipAddress;
    cameras_.at(index).SetProfile(moved);
}

void SimLab::SetClock(std::function<SimClock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

std::string SimLab::PcAddress(int k) const {
    if (k < 0 || k >= static_cast<int>(subnets_.size()))
        return {};
    return Dotted(subnets_[k].base + 253);
}

int SimLab::RunInCameraNamespace(const std::vector<std::string>& argv,
                                 const std::string& input) const {
    const int fd = lan_.NamespaceFd();
    if (fd < 0)
        return -1;
    // A thread of its own enters the namespace, so the caller's threads stay where they are;
    // the command's process inherits the thread's namespace.
    int status = -1;
    std::thread([&] {
        if (setns(fd, CLONE_NEWNET) == 0)
            status = RunCommand(argv, input);
    }).join();
    return status;
}

}  // namespace camfleet::sim

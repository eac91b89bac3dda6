#include "sim/sim_lab.h"

#include <sys/resource.h>

#include <future>

#include "sim/lab_socket.h"
#include "sim/lab_worker.h"

namespace camfleet::sim {

namespace {

constexpr uint32_t kLoopbackBroadcastHost = 0x7fffffffu;

// Every camera has a socket of its own: a large lab needs more descriptors than the
// usual soft limit of 1,024.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
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
    if (error->empty())
        return 0;
    Stop();
    return -1;
}

// Profiles, links and the camera-to-link map, from the options.
int SimLab::CreateCameras(std::vector<LabLink>* links, std::string* error) {
    std::lock_guard lock(mutex_);
    cameras_.clear();
    received_.clear();
    cameraLink_.clear();
    const bool lan = !subnets_.empty();
    const int count = std::max(options_.cameras, 0);
    const std::size_t linkCount = lan ? subnets_.size() : 1;
    for (std::size_t k = 0; k < linkCount; ++k) {
        LabLink link;
        uint32_t first = 0;
        CameraSubnet subnet;
        if (lan) {
            first = subnets_[k].base + 10;
            subnet = {NetmaskText(subnets_[k].prefix), Dotted(subnets_[k].base + 1)};
            link.receiveAddress = "0.0.0.0";
            link.device = LanNamespace::CameraEnd(static_cast<int>(k));
            link.prefix = subnets_[k].prefix;
        } else {
            first = HostOrder(options_.firstAddress);
            if (first == 0 || (first >> 24) != 127) {
                *error = "the loopback lab needs a 127.x.x.x first address";
                return -1;
            }
            link.receiveAddress = Dotted(kLoopbackBroadcastHost);
        }
        link.nextLease = first + static_cast<uint32_t>(count);
        for (int j = 0; j < count; ++j) {
            const int index = static_cast<int>(cameras_.size());
            const CameraProfile profile = MakeCameraProfile(options_.seed, index, Dotted(first + j),
                                                            subnet, options_.firstSdkPort + index);
            cameras_.emplace_back(profile, SimClock::now());
            cameras_.back().SetRebootSilence(options_.rebootSilence);
            received_.emplace_back();
            cameraLink_.push_back(static_cast<int>(k));
            link.cameras.push_back(index);
        }
        links->push_back(std::move(link));
    }
    return 0;
}

void SimLab::Stop() {
    if (worker_)
        worker_->RequestStop();
    if (thread_.joinable())
        thread_.join();
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

}  // namespace camfleet::sim

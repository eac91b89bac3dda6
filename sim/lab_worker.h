#pragma once
// The lab thread: owns the lab's sockets, hands received datagrams to the cameras and sends
// their answers when their delay has passed. Every member is touched only by the lab thread
// except `stop_` and the wake pipe.

#include <netinet/in.h>
#include <poll.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_lab.h"

namespace camfleet::sim {

class LabWorker {
public:
    LabWorker(SimLab& lab, std::vector<LabLink> links, int namespaceFd);
    ~LabWorker();

    // Thread body: sets up, reports 0 or an error text through `ready`, then serves until
    // RequestStop.
    void Run(std::promise<std::string> ready);
    void RequestStop();

private:
    struct Pending {
        SimClock::time_point due;
        int camera;
        uint32_t address;  // sender, network byte order
        uint16_t port;     // sender, network byte order
        bool operator>(const Pending& other) const { return due > other.due; }
    };

    std::string SetUp();
    std::string AddLanAddresses();
    int OpenCameraSocket(int camera);
    void ServeOnce();
    void Receive(int fd, int link, int camera);
    void Deliver(int camera, const std::string& text, const sockaddr_in& from);
    void Move(int camera, const LabLink& link, const std::string& before);
    void SendDue();
    int TimeoutMs() const;

    SimLab& lab_;
    std::vector<LabLink> links_;
    const int namespaceFd_;
    std::vector<int> cameraFds_;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending_;
    std::mt19937 rng_;
    std::vector<char> buffer_ = std::vector<char>(65536);
    std::atomic<bool> stop_{false};
    int wake_[2] = {-1, -1};
};

}  // namespace camfleet::sim

#include "sim/lab_worker.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "sim/lab_socket.h"

namespace camfleet::sim {

namespace {

constexpr int kIdlePollMs = 200;

}  // namespace

LabWorker::LabWorker(SimLab& lab, std::vector<LabLink> links, int namespaceFd)
    : lab_(lab), links_(std::move(links)), namespaceFd_(namespaceFd), rng_(lab.options_.seed) {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
}

LabWorker::~LabWorker() {
    for (const LabLink& link : links_)
        if (link.receiver >= 0)
            close(link.receiver);
    for (int fd : cameraFds_)
        if (fd >= 0)
            close(fd);
    for (int fd : wake_)
        if (fd >= 0)
            close(fd);
}

void LabWorker::RequestStop() {
    stop_ = true;
    if (wake_[1] >= 0)
        (void)!write(wake_[1], "x", 1);
}

void LabWorker::Run(std::promise<std::string> ready) {
    const std::string error = SetUp();
    ready.set_value(error);
    if (!error.empty())
        return;
    while (!stop_)
        ServeOnce();
}

std::string LabWorker::SetUp() {
    if (namespaceFd_ >= 0) {
        if (setns(namespaceFd_, CLONE_NEWNET) != 0)
            return "could not enter the camera namespace";
        const std::string error = AddLanAddresses();
        if (!error.empty())
            return error;
    }
    for (LabLink& link : links_) {
        link.receiver = OpenLabSocket(link.receiveAddress, lab_.options_.port, link.device);
        if (link.receiver < 0)
            return "could not open the lab's broadcast receiver";
    }
    cameraFds_.assign(lab_.cameras_.size(), -1);
    for (std::size_t i = 0; i < cameraFds_.size(); ++i)
        if ((cameraFds_[i] = OpenCameraSocket(static_cast<int>(i))) < 0)
            return "could not open the socket of camera " + std::to_string(i + 1);
    return {};
}

std::string LabWorker::AddLanAddresses() {
    // A camera that moves removes its old address; without promotion, removing a subnet's
    // first (primary) address would take every other camera's address of that subnet along.
    for (const LabLink& link : links_) {
        std::ofstream promote("/proc/sys/net/ipv4/conf/" + link.device + "/promote_secondaries");
        promote << "1\n";
        if (!promote.flush())
            return "could not set promote_secondaries on " + link.device;
    }
    std::string batch;
    for (const LabLink& link : links_)
        for (int camera : link.cameras)
            batch += "addr add " + lab_.cameras_[camera].profile().ipAddress + "/" +
                     std::to_string(link.prefix) + " dev " + link.device + "\n";
    return RunCommand({"ip", "-batch", "-"}, batch) == 0 ? "" : "could not add camera addresses";
}

int LabWorker::OpenCameraSocket(int camera) {
    std::string address;
    {
        std::lock_guard lock(lab_.mutex_);
        address = lab_.cameras_[camera].profile().ipAddress;
    }
    return OpenLabSocket(address, lab_.options_.port);
}

void LabWorker::ServeOnce() {
    std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
    for (const LabLink& link : links_)
        fds.push_back({link.receiver, POLLIN, 0});
    for (int fd : cameraFds_)
        fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), TimeoutMs()) > 0) {
        for (std::size_t k = 0; k < links_.size(); ++k)
            if (fds[1 + k].revents & POLLIN)
                Receive(fds[1 + k].fd, static_cast<int>(k), -1);
        const std::size_t first = 1 + links_.size();
        for (std::size_t i = 0; i < cameraFds_.size(); ++i)
            if (fds[first + i].revents & POLLIN)
                Receive(fds[first + i].fd, -1, static_cast<int>(i));
    }
    SendDue();
}

// Reads every datagram waiting on `fd`: a broadcast of `link`, or unicast to `camera`.
void LabWorker::Receive(int fd, int link, int camera) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    for (;;) {
        const ssize_t n = recvfrom(fd, buffer_.data(), buffer_.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return;
        const std::string text(buffer_.data(), static_cast<std::size_t>(n));
        if (camera >= 0) {
            Deliver(camera, text, from);
            continue;
        }
        for (int c : links_[link].cameras)
            Deliver(c, text, from);
    }
}

void LabWorker::Deliver(int camera, const std::string& text, const sockaddr_in& from) {
    LabLink& link = links_[lab_.cameraLink_[camera]];
    const AddressPool pool = [&link] {
        if (link.nextLease == link.pcAddress && link.pcAddress != 0)
            ++link.nextLease;
        return Dotted(link.nextLease++);
    };
    VirtualCamera::Reaction reaction;
    SimClock::time_point now;
    std::string before;
    {
        std::lock_guard lock(lab_.mutex_);
        now = lab_.clock_();
        before = lab_.cameras_[camera].profile().ipAddress;
        lab_.received_[camera].push_back(text);
        reaction = lab_.cameras_[camera].OnDatagram(text, now, pool);
    }
    if (reaction.answer) {
        const int delayMs = lab_.options_.maxAnswerDelayMs > 0
                                ? static_cast<int>(rng_() % (lab_.options_.maxAnswerDelayMs + 1))
                                : 0;
        pending_.push({SimClock::now() + std::chrono::milliseconds(delayMs), camera,
                       from.sin_addr.s_addr, from.sin_port});
    }
    if (reaction.addressChanged)
        Move(camera, link, before);
}

// The camera took a new address: a LAN lab moves the address on the camera side of the link
// (the old one goes unless another camera still has it, so it stops answering pings), then
// the camera's socket is bound afresh.
void LabWorker::Move(int camera, const LabLink& link, const std::string& before) {
    close(cameraFds_[camera]);
    std::string address;
    bool beforeShared = false;
    {
        std::lock_guard lock(lab_.mutex_);
        address = lab_.cameras_[camera].profile().ipAddress;
        for (const VirtualCamera& other : lab_.cameras_)
            beforeShared = beforeShared || other.profile().ipAddress == before;
    }
    if (namespaceFd_ >= 0) {
        const std::string prefix = "/" + std::to_string(link.prefix);
        if (!beforeShared)
            RunCommand({"ip", "addr", "del", before + prefix, "dev", link.device});
        RunCommand({"ip", "addr", "add", address + prefix, "dev", link.device});
    }
    cameraFds_[camera] = OpenCameraSocket(camera);
    lab_.OnCameraMoved(camera, address);  // the camera-control side follows
}

void LabWorker::SendDue() {
    while (!pending_.empty() && pending_.top().due <= SimClock::now()) {
        const Pending p = pending_.top();
        pending_.pop();
        std::string answer;
        {
            std::lock_guard lock(lab_.mutex_);
            answer = lab_.cameras_[p.camera].Answer(lab_.clock_());
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = p.address;
        to.sin_port = p.port;
        sendto(cameraFds_[p.camera], answer.data(), answer.size(), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
}

int LabWorker::TimeoutMs() const {
    if (pending_.empty())
        return kIdlePollMs;
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(pending_.top().due - SimClock::now());
    return static_cast<int>(std::clamp<long long>(wait.count(), 0, kIdlePollMs));
}

}  // namespace camfleet::sim

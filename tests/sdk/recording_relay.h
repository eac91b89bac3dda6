#pragma once
// A relay between the SDK and a simulated camera for tests: it passes every connection made
// to its port on to the camera, keeps every byte that crossed (both ways, all connections) and
// can change one byte of what one connection sends to the camera.
// Keeps each direction of each connection apart too.

#include <poll.h>

#include <atomic>
#include <cstddef>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/sdk/socket_util.h"

namespace camfleet::testing {

class RecordingRelay {
public:
    explicit RecordingRelay(uint16_t cameraPort)
        : cameraPort_(cameraPort),
          listen_(sdk::Listen("127.0.0.1", 0, &error_)),
          thread_([this] { Run(); }) {}
    ~RecordingRelay() {
        stop_ = true;
        thread_.join();
        sdk::CloseSocket(listen_);
    }
    uint16_t port() const { return sdk::LocalPort(listen_); }
    std::string Recorded() {
        std::lock_guard lock(mutex_);
        return recorded_;
    }
    // What connection `connection` (0: the first accepted) carried one way.
    std::string ToCamera(int connection = 0) {
        std::lock_guard lock(mutex_);
        return toCamera_[connection];
    }
    std::string ToClient(int connection = 0) {
        std::lock_guard lock(mutex_);
        return toClient_[connection];
    }
    // Flips the bits of the byte at `offset` of what connection `connection` (0: the first
    // accepted) sends to the camera.
    void TamperWith(int connection, std::size_t offset) {
        std::lock_guard lock(mutex_);
        tamperConnection_ = connection;
        tamperOffset_ = offset;
    }

private:
    struct Pair {
        int index;
        int client;
        int camera;
        std::string toCamera, toClient;
        std::size_t fromClient = 0;  // bytes the client sent so far
    };

    void Run() {
        std::list<Pair> pairs;
        int accepted = 0;
        std::vector<pollfd> fds;
        while (!stop_) {
            fds.assign(1, pollfd{listen_, POLLIN, 0});
            for (const Pair& p : pairs) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.camera, POLLIN, 0});
            }
            poll(fds.data(), fds.size(), 20);
            if (fds[0].revents != 0) {
                const int client = sdk::AcceptOne(listen_);
                const int camera = sdk::StartConnect("127.0.0.1", cameraPort_);
                pollfd w{camera, POLLOUT, 0};
                poll(&w, 1, 2000);
                if (client >= 0)
                    pairs.push_back(Pair{accepted++, client, camera, {}, {}});
            }
            std::size_t i = 1;
            for (auto it = pairs.begin(); it != pairs.end(); i += 2) {
                Pair& p = *it;
                std::string in;
                const bool clientGone =
                    i < fds.size() && fds[i].revents != 0 && sdk::ReceiveSome(p.client, &in) < 0;
                Tamper(p, &in);
                p.fromClient += in.size();
                p.toCamera += in;
                Record(in, &toCamera_, p.index);
                in.clear();
                const bool cameraGone = i + 1 < fds.size() && fds[i + 1].revents != 0 &&
                                        sdk::ReceiveSome(p.camera, &in) < 0;
                p.toClient += in;
                Record(in, &toClient_, p.index);
                sdk::SendSome(p.camera, &p.toCamera);
                sdk::SendSome(p.client, &p.toClient);
                if (clientGone || cameraGone) {
                    sdk::CloseSocket(p.client);
                    sdk::CloseSocket(p.camera);
                    it = pairs.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (Pair& p : pairs) {
            sdk::CloseSocket(p.client);
            sdk::CloseSocket(p.camera);
        }
    }
    void Tamper(const Pair& p, std::string* in) {
        std::lock_guard lock(mutex_);
        if (p.index == tamperConnection_ && tamperOffset_ >= p.fromClient &&
            tamperOffset_ < p.fromClient + in->size())
            (*in)[tamperOffset_ - p.fromClient] ^= 0x5A;
    }
    void Record(const std::string& bytes, std::map<int, std::string>* direction, int index) {
        std::lock_guard lock(mutex_);
        recorded_ += bytes;
        (*direction)[index] += bytes;
    }

    const uint16_t cameraPort_;
    std::string error_;
    int listen_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // guards recorded_ and the tampering
    std::string recorded_;
    std::map<int, std::string> toCamera_, toClient_;  // by connection
    int tamperConnection_ = -1;
    std::size_t tamperOffset_ = 0;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace camfleet::testing

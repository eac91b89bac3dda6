#pragma once
// A man in the middle for tests: passes one connection on to a camera and keeps every byte
// that crossed, each direction apart, as a listener on the wire would see them.

#include <poll.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "device/sdk/socket_util.h"

namespace camfleet::testing {

class RecordingRelay {
public:
    explicit RecordingRelay(uint16_t cameraPort)
        : listen_(sdk::Listen("127.0.0.1", 0, &error_)),
          thread_([this, cameraPort] { Run(cameraPort); }) {}
    ~RecordingRelay() {
        stop_ = true;
        thread_.join();
        sdk::CloseSocket(listen_);
    }
    uint16_t port() const { return sdk::LocalPort(listen_); }
    // Both directions in the order they arrived.
    std::string Recorded() {
        std::lock_guard lock(mutex_);
        return recorded_;
    }
    std::string ToCamera() {
        std::lock_guard lock(mutex_);
        return toCamera_;
    }
    std::string ToClient() {
        std::lock_guard lock(mutex_);
        return toClient_;
    }

private:
    void Run(uint16_t cameraPort) {
        pollfd l{listen_, POLLIN, 0};
        while (!stop_ && poll(&l, 1, 50) == 0) {
        }
        const int client = sdk::AcceptOne(listen_);
        const int camera = sdk::StartConnect("127.0.0.1", cameraPort);
        pollfd w{camera, POLLOUT, 0};
        poll(&w, 1, 2000);
        std::string toCamera, toClient;
        while (!stop_) {
            pollfd fds[2] = {{client, POLLIN, 0}, {camera, POLLIN, 0}};
            poll(fds, 2, 50);
            std::string in;
            const bool clientGone = fds[0].revents != 0 && sdk::ReceiveSome(client, &in) < 0;
            toCamera += in;
            Record(in, &toCamera_);
            in.clear();
            const bool cameraGone = fds[1].revents != 0 && sdk::ReceiveSome(camera, &in) < 0;
            toClient += in;
            Record(in, &toClient_);
            sdk::SendSome(camera, &toCamera);
            sdk::SendSome(client, &toClient);
            if (clientGone || cameraGone)
                break;
        }
        sdk::CloseSocket(client);
        sdk::CloseSocket(camera);
    }
    void Record(const std::string& bytes, std::string* direction) {
        std::lock_guard lock(mutex_);
        recorded_ += bytes;
        *direction += bytes;
    }

    std::string error_;
    int listen_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string recorded_;
    std::string toCamera_;
    std::string toClient_;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace camfleet::testing

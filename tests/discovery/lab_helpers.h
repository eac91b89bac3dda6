#pragma once
// Helpers of the tests that search a simulated lab over real sockets. Waits are bounded
// by a generous limit and end as soon as the awaited state is reached; nothing asserts
// on how long anything took.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "device/xml_messages.h"
#include "discovery/device_searcher.h"
#include "sim/sim_lab.h"

namespace camfleet {

// A UDP port that is free right now, so that tests running side by side in one network
// namespace each have their own lab.
inline uint16_t FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    close(fd);
    return ntohs(sa.sin_port);
}

// Polls `done` until it holds or 20 s passed; calls `tick` (e.g. a search request, as the
// window's timer does) every 500 ms meanwhile. Returns the last value of `done`.
inline bool WaitUntil(const std::function<bool()>& done, const std::function<void()>& tick = {}) {
    using namespace std::chrono;
    const auto limit = steady_clock::now() + seconds(20);
    auto nextTick = steady_clock::now() + milliseconds(500);
    while (!done()) {
        if (steady_clock::now() > limit)
            return false;
        if (tick && steady_clock::now() > nextTick) {
            tick();
            nextTick += milliseconds(500);
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// Number of datagrams with Msg_code `code` that camera `index` received.
inline int ReceivedWithCode(const sim::SimLab& lab, int index, int code) {
    int count = 0;
    for (const std::string& text : lab.Snapshot(index).received) {
        MessageHeader header;
        if (ParseMessageHeader(text, &header) == 0 && header.msgCode == std::to_string(code))
            ++count;
    }
    return count;
}

inline std::function<void()> SearchTick(DeviceSearcher& searcher) {
    return [&searcher] { searcher.SendSearchMessage(kMsgSearch, nullptr, 0); };
}

}  // namespace camfleet

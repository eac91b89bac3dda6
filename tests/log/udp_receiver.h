#pragma once
// A UDP socket bound to one loopback address and port, standing in for the log monitor.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>

namespace camfleet {

class UdpReceiver {
public:
    // Binds `ip`:`port`; ok() tells whether that worked.
    UdpReceiver(const char* ip, std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (fd_ < 0)
            return;
        const int buffer = 4 * 1024 * 1024;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        if (::inet_pton(AF_INET, ip, &addr.sin_addr) != 1 ||
            ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~UdpReceiver() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    bool ok() const { return fd_ >= 0; }

    // The next datagram; nothing when none arrives within `waitMs` (a guard against a
    // hanging test, not a measured time: datagrams on loopback are queued at once).
    std::optional<std::string> Receive(int waitMs = 5000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) != 1)
            return std::nullopt;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0)
            return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    // True when a datagram is already waiting.
    bool Pending() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }

private:
    int fd_ = -1;
};

}  // namespace camfleet

#include "device/sdk/socket_util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace camfleet::sdk {

namespace {

bool MakeAddress(const std::string& ip, uint16_t port, sockaddr_in* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_port = htons(port);
    return inet_pton(AF_INET, ip.c_str(), &addr->sin_addr) == 1;
}

int NewSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

}  // namespace

int StartConnect(const std::string& ip, uint16_t port) {
    sockaddr_in addr;
    if (port == 0 || !MakeAddress(ip, port, &addr))
        return -1;
    const int fd = NewSocket();
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 || errno == EINPROGRESS)
        return fd;
    close(fd);
    return -1;
}

int ConnectResult(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

int Listen(const std::string& ip, uint16_t port, std::string* error) {
    sockaddr_in addr;
    if (!MakeAddress(ip, port, &addr)) {
        *error = "invalid address " + ip;
        return -1;
    }
    const int fd = NewSocket();
    const int one = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 512) != 0) {
        *error = "cannot listen on " + ip + ":" + std::to_string(port) + ": " + strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

uint16_t LocalPort(int fd) {
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

int AcceptOne(int listenFd) {
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

std::string PeerAddress(int fd) {
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    char text[INET_ADDRSTRLEN] = {};
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0 ||
        addr.sin_family != AF_INET ||
        inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) == nullptr)
        return {};
    return text;
}

bool SendSome(int fd, std::string* out) {
    while (!out->empty()) {
        const ssize_t n = send(fd, out->data(), out->size(), MSG_NOSIGNAL);
        if (n > 0) {
            out->erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

int ReceiveSome(int fd, std::string* in) {
    char buffer[16384];
    int result = 0;
    // At most 128 KiB per call, so one flooding peer cannot starve the others.
    for (int round = 0; round < 8; ++round) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            in->append(buffer, static_cast<std::size_t>(n));
            result = 1;
            if (static_cast<std::size_t>(n) < sizeof buffer)
                return result;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return result;
        return -1;  // closed or error; bytes read before stay in `in`
    }
    return result;
}

void CloseSocket(int fd) {
    if (fd >= 0)
        close(fd);
}

}  // namespace camfleet::sdk

#include "discovery/broadcast_socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace camfleet {

namespace {

bool SetIntOption(int fd, int option, int value) {
    return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

int CloseFailed(int fd) {
    close(fd);
    return -1;
}

}  // namespace

int OpenBroadcastSocket(uint32_t address, uint16_t port, int receiveBuffer) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return -1;
    }
    if (!SetIntOption(fd, SO_BROADCAST, 1))
        return CloseFailed(fd);
    SetIntOption(fd, SO_RCVBUF, receiveBuffer);  // a failure is ignored
    if (!SetIntOption(fd, SO_REUSEADDR, 1))
        return CloseFailed(fd);
    const sockaddr_in sa = MakeAddress(address, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return CloseFailed(fd);
    return fd;
}

WriteWait WaitWritable(int fd, int timeoutMs) {
    if (fd < 0) {
        errno = EBADF;
        return WriteWait::kFailed;
    }
    pollfd p{fd, POLLOUT, 0};
    const int n = poll(&p, 1, timeoutMs);
    if (n < 0)
        return WriteWait::kFailed;
    if (n == 0) {
        errno = ETIMEDOUT;
        return WriteWait::kFailed;
    }
    if (p.revents & (POLLERR | POLLNVAL))
        return WriteWait::kError;
    return WriteWait::kWritable;
}

long SendDatagram(int fd, std::string_view text, uint32_t address, uint16_t port) {
    const sockaddr_in sa = MakeAddress(address, port);
    return sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&sa),
                  sizeof sa);
}

}  // namespace camfleet

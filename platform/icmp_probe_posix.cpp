// The echo probe over POSIX sockets.

#if !defined(_WIN32)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/icmp_probe.h"
#include "platform/network_params.h"

namespace camfleet {

namespace {

constexpr const char* kProbeName = "PingTest";
constexpr int kReadSize = 256;
constexpr int kIcmpHeaderSize = 8;
constexpr unsigned char kEchoReply = 0;
constexpr int kStopSliceMs = 50;  // a stoppable wait looks at its stop token this often

// Closes the descriptor on every path.
struct SocketGuard {
    int fd;
    ~SocketGuard() {
        if (fd >= 0)
            close(fd);
    }
};

// An unprivileged ICMP datagram socket (the kernel fills the identifier and strips the IP
// header of answers), else a raw socket (answers carry their IP header). -1 when neither.
int OpenIcmpSocket(bool* raw) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    *raw = false;
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        *raw = true;
    }
    return fd;
}

uint32_t MillisecondTick() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Waits up to `waitMs` for `fd` to become readable; a stoppable wait polls in slices and
// ends early once a stop is requested. Returns the poll events seen, 0 when the time ran
// out or a stop was requested, -1 when poll failed.
int WaitReadable(int fd, int waitMs, const std::stop_token& stop) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const long long left =
            std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0 || stop.stop_requested())
            return 0;
        pollfd p{fd, POLLIN, 0};
        const int ready =
            poll(&p, 1,
                 static_cast<int>(stop.stop_possible() ? std::min<long long>(left, kStopSliceMs)
                                                       : left));
        if (ready > 0)
            return p.revents;
        if (ready < 0 && errno != EINTR)
            return -1;
    }
}

}  // namespace

int IcmpProbe::Probe(uint32_t address) {
    return Echo(address, kAttempts, kWaitMs, std::stop_token());
}

int IcmpProbe::Confirm(uint32_t address, std::stop_token stop) {
    return Echo(address, kConfirmAttempts, kConfirmWaitMs, stop);
}

int IcmpProbe::Echo(uint32_t address, int attempts, int waitMs, const std::stop_token& stop) {
    auto log = [this](auto... args) {
        if (log_ != nullptr)
            log_(args...);
    };
    const std::string dotted = DottedAddress(address);
    bool raw = false;
    SocketGuard guard{OpenIcmpSocket(&raw)};
    if (guard.fd < 0) {
        log("%s socket failed.\n", kProbeName);
        return kProbeError;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    // Only answers from the probed address reach a connected socket.
    connect(guard.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);

    for (int attempt = 1; attempt <= attempts; ++attempt) {
        unsigned char request[12];
        BuildEchoRequest(static_cast<uint16_t>(attempt), MillisecondTick(), request);
        if (sendto(guard.fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) != static_cast<ssize_t>(sizeof request)) {
            log("%s sendto failed.\n", kProbeName);
            return kProbeError;
        }
        const int events = WaitReadable(guard.fd, waitMs, stop);
        if (events < 0) {
            log("%s select failed.\n", kProbeName);
            return kProbeError;
        }
        if (events == 0 && stop.stop_requested())
            return kProbeUnused;
        if (events == 0)
            continue;  // no answer within the wait: the attempt is used up
        if ((events & (POLLIN | POLLERR | POLLHUP)) == 0) {
            log("%s socket not readable.\n", kProbeName);
            return kProbeError;
        }
        unsigned char answer[kReadSize];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(guard.fd, answer, sizeof answer, 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            log("%s recvfrom failed.\n", kProbeName);
            return kProbeError;
        }
        const int headerSize = raw && n > 0 ? (answer[0] & 0x0F) * 4 : 0;
        if (from.sin_addr.s_addr != to.sin_addr.s_addr) {
            log("%s recv packet not from dest ip, but from: %s\n", kProbeName,
                DottedAddress(ntohl(from.sin_addr.s_addr)).c_str());
        } else if (n < headerSize + kIcmpHeaderSize) {
            log("%s recv bad length.\n", kProbeName);
        } else if (answer[headerSize] != kEchoReply) {
            log("%s recv not icmp packet.\n", kProbeName);
        } else {
            log("%s got replay from ip: %s\n", kProbeName, dotted.c_str());
            return kProbeInUse;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
    }
    log("%s no replay recv, ip %s is usable.\n", kProbeName, dotted.c_str());
    return kProbeUnused;
}

}  // namespace camfleet

#endif  // !_WIN32

#pragma once
// UDP sockets of the discovery protocol (BSD sockets, IPv4).

#include <cstdint>
#include <string_view>

namespace camfleet {

inline constexpr uint16_t kDiscoveryPort = 3001;
// SO_RCVBUF of every search socket. A burst of answers from a thousand cameras is about
// 2.5 MB of kernel buffer; at 128 KiB most of such a burst was lost and needed later
// requests (see docs/PERFORMANCE.md). The kernel caps the value at net.core.rmem_max.
inline constexpr int kSearchReceiveBuffer = 2 * 1024 * 1024;

// The receive buffer the search first asked for (128 KiB); the benchmark compares it.
inline constexpr int kClassicReceiveBuffer = 131072;

// Opens a broadcast-capable UDP socket bound to `address` (network byte order) and `port`
// (0: any free port), asking for `receiveBuffer` bytes of receive buffer. Returns the
// descriptor or -1 (the caller keeps -1). When the socket cannot be created it sleeps 1 s
// before returning -1.
int OpenBroadcastSocket(uint32_t address, uint16_t port, int receiveBuffer = kSearchReceiveBuffer);

// Outcome of waiting for a socket to become writable.
enum class WriteWait { kWritable, kError, kFailed };

// Waits up to `timeoutMs` until `fd` is writable. kError: the socket reports an error;
// kFailed: the wait itself failed or timed out (errno set).
WriteWait WaitWritable(int fd, int timeoutMs);

// Sends `text` to `address`:`port` (network byte order address). Returns the bytes sent
// or -1 (errno set).
long SendDatagram(int fd, std::string_view text, uint32_t address, uint16_t port);

}  // namespace camfleet

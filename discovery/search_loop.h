#pragma once
// The work of the search thread: its sockets and one pass of its loop. Every member is
// touched only by the search thread.

#include <poll.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/adapter_map.h"
#include "discovery/device_table.h"
#include "discovery/search_request_queue.h"
#include "platform/wake_pipe.h"

namespace camfleet {

inline constexpr int kMaxWatchedSockets = 64;  // sockets watched per read wait
inline constexpr int kSendWaitMs = 2000;
// Datagrams read from one readable socket per pass. Draining a burst of answers before
// the next wait keeps the 128 KiB receive buffer from overflowing; the bound keeps one busy
// socket from delaying queued requests and the other sockets.
inline constexpr int kMaxDatagramsPerPass = 64;

// Set by the owner (the searcher, from its SearcherOptions).
struct SearchLoopSettings {
    uint32_t broadcast;  // destination address of every datagram, network byte order
    uint16_t port;       // destination port
    int receiveBuffer;   // SO_RCVBUF every socket asks for, bytes
    int readWaitMs;      // longest read wait of a pass
    WakePipe* wake;      // ends the current read wait (a Stop, a queued request); may be null
};

// How a pass ended.
enum class PassEnd {
    kDone,       // read what had come, or the read wait timed out
    kWoken,      // the wake pipe was made readable (and is drained): nothing was read
    kWaitFailed  // poll failed (logged)
};

class SearchLoop {
public:
    // `table`, `queue` and `settings.wake` outlive the loop.
    SearchLoop(DeviceTable& table, SearchRequestQueue& queue, const SearchLoopSettings& settings);
    ~SearchLoop();  // closes every socket
    SearchLoop(const SearchLoop&) = delete;
    SearchLoop& operator=(const SearchLoop&) = delete;

    // Opens a socket (port 0) on each adapter matching `selection` (0 = all) that has none.
    void OpenSockets(const AdapterMap& adapters, uint32_t selection);
    // One pass: at most one queued request sent on every socket, then a read wait of up to
    // readWaitMs (ended early by the wake pipe; no wait at all while more requests are
    // queued, so a burst of command datagrams goes out pass after pass instead of one per
    // read wait), then the datagrams waiting on each readable socket (up to
    // kMaxDatagramsPerPass).
    PassEnd RunPass();

private:
    void SendRequest(const std::string& text);
    // Fills `fds` with the watched sockets and `addresses` with their adapters (the wake
    // descriptor comes last, without an address), then waits.
    PassEnd WaitReadable(std::vector<pollfd>* fds, std::vector<uint32_t>* addresses);
    // Reads what is waiting on `fd`, at most kMaxDatagramsPerPass datagrams.
    void ReceiveAvailable(uint32_t address, int fd);
    // Reads one datagram; false when none was waiting.
    bool ReceiveOne(uint32_t address, int fd);
    void HandleDatagram(uint32_t address, const char* text, long length);

    DeviceTable& table_;
    SearchRequestQueue& queue_;
    const SearchLoopSettings settings_;
    SocketMap sockets_;
    std::array<char, 5120 + 1> buffer_;  // one datagram plus a terminating zero
};

}  // namespace camfleet

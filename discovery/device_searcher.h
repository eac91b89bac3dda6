#pragma once
// The searcher: owns the search thread, which broadcasts search requests and command
// datagrams on every adapter (or the selected one) and stores the answers in the device
// table. Independent of any window: the owner (main window, CLI, tests) keeps the searcher
// and the table, sends a search request periodically and reads the table.
//
// Threads: Start/Stop run on the owner's thread; SendSearchMessage on any thread; the
// search thread runs SearchIPCThread. `running_` is the running flag (polled by the search
// thread once per pass); `stateMutex_` makes "is it running?" and "queue the request" one
// step for SendSearchMessage and is held whenever the flag changes, so a request is either
// queued before the flag is cleared (and sent by the Stop that cleared it, if the thread did
// not get to it) or sent at once afterwards. `queue_` has its own lock; `selection_` is read
// once by the search thread at its start; `wake_` is woken by Stop and drained by the owner
// once the thread has ended.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "discovery/adapter_map.h"
#include "discovery/broadcast_socket.h"
#include "discovery/device_table.h"
#include "discovery/search_message_sender.h"
#include "discovery/search_request_queue.h"
#include "platform/wake_pipe.h"

namespace camfleet {

struct SearcherOptions {
    // Lab mode: the loopback adapter is the only adapter and broadcasts go to
    // 127.255.255.255 (for simulated cameras on 127.x addresses).
    bool labMode = false;
    // Destination port of every datagram; 3001 except for tests that run side by side.
    uint16_t port = kDiscoveryPort;
    // Receive buffer of every search socket (the kernel caps it at net.core.rmem_max).
    int receiveBuffer = kSearchReceiveBuffer;
    // Longest read wait of a pass, ms: how long the thread waits for answers before it sends
    // the next queued request. Stop ends the wait at once whatever its length.
    int readWaitMs = 1000;
};

class DeviceSearcher final : public SearchMessageSender {
public:
    explicit DeviceSearcher(DeviceTable& table, SearcherOptions options = {});
    ~DeviceSearcher() override;  // stops the search thread
    DeviceSearcher(const DeviceSearcher&) = delete;
    DeviceSearcher& operator=(const DeviceSearcher&) = delete;

    // Netcard selection: 0 = every adapter, else one adapter address (network byte
    // order). Takes effect at the next thread start.
    void SetNetcardSelection(uint32_t address) { selection_ = address; }

    // Logs, then StartSearchThread. 0 when the thread runs, -1 when it did not start.
    int StartSearch();
    // 1: table emptied, thread started. 0: already searching (nothing changes) or the start
    // failed (logged; the running flag is cleared again). A thread that only listens
    // (StartListening) is stopped first.
    int StartSearchThread();
    // Runs the search thread without emptying the table, so answers of listed cameras keep
    // arriving while no search runs (a camera sent new network settings is followed until it
    // answers with them). 1: started; 0: a thread already runs, or the start failed.
    int StartListening();
    // 1: flag cleared, the thread woken from its read wait and joined (within milliseconds:
    // at most a send wait, or the datagrams of a pass, are finished first). 0: it was not
    // running.
    int StopSearchThread();
    bool IsRunning() const { return running_.load() == 1; }
    // The running thread was started by StartListening.
    bool IsListening() const { return IsRunning() && listening_; }

    // Queued for the search thread while it runs; otherwise sent at once on every
    // adapter (SendSearchMessageOnce). 0 when queued or sent; -1 when the datagram could not
    // be printed (too long for the envelope) or no adapter took it.
    int SendSearchMessage(int code, const char* body, int flag) override;
    // Opens a socket on every adapter regardless of the selection, sends `text` once
    // through each and closes them. Nothing is received. Returns the sockets sent on.
    int SendSearchMessageOnce(const std::string& text);

    uint32_t BroadcastAddress() const;

private:
    int StartThread(bool listening);
    void SearchIPCThread();

    DeviceTable& table_;
    const SearcherOptions options_;
    std::mutex stateMutex_;  // see above
    std::atomic<int> running_{0};
    bool listening_ = false;  // owner's thread only
    std::atomic<uint32_t> selection_{0};
    SearchRequestQueue queue_;
    WakePipe wake_;
    std::thread thread_;  // owner's thread only
};

}  // namespace camfleet

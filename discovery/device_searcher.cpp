#include "discovery/device_searcher.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "device/xml_messages.h"
#include "discovery/search_loop.h"
#include "resources/log.h"

namespace camfleet {

namespace {

constexpr uint32_t kLoopbackBroadcast = 0x7fffffffu;  // 127.255.255.255, host order
constexpr int kOnceSendWaitMs = 1000;

}  // namespace

DeviceSearcher::DeviceSearcher(DeviceTable& table, SearcherOptions options)
    : table_(table), options_(options) {}

DeviceSearcher::~DeviceSearcher() {
    if (IsRunning())
        StopSearchThread();
}

uint32_t DeviceSearcher::BroadcastAddress() const {
    return options_.labMode ? htonl(kLoopbackBroadcast) : htonl(INADDR_BROADCAST);
}

int DeviceSearcher::StartSearch() {
    LogMessage("CRoRudAzovorErarDlg::StartSearch()\n");
    return StartSearchThread() == 1 ? 0 : -1;
}

int DeviceSearcher::StartSearchThread() {
    if (IsListening())
        StopSearchThread();
    if (IsRunning()) {
        LogMessage("CRoRudAzovorErarDlg::StartSearchThread: SearchIPCThread has run.\n");
        return 0;
    }
    table_.ClearDevices();
    return StartThread(false);
}

int DeviceSearcher::StartListening() {
    if (IsRunning())
        return 0;
    return StartThread(true);
}

int DeviceSearcher::StartThread(bool listening) {
    queue_.Clear();
    {
        std::lock_guard lock(stateMutex_);
        running_ = 1;
    }
    listening_ = listening;
    try {
        thread_ = std::thread(&DeviceSearcher::SearchIPCThread, this);
    } catch (const std::system_error& e) {
        LogMessage(
            "CRoRudAzovorErarDlg::StartSearchThread: Strat SearchIPCThread fail, "
            "error= %d.\n",
            e.code().value());
        std::lock_guard lock(stateMutex_);
        running_ = 0;  // no thread runs: later sends go out at once
        return 0;
    }
    return 1;
}

int DeviceSearcher::StopSearchThread() {
    if (!IsRunning()) {
        LogMessage("CRoRudAzovorErarDlg::StopSearchThread: SearchIPCThread hasn't run.\n");
        return 0;
    }
    {
        std::lock_guard lock(stateMutex_);
        running_ = 0;
    }
    wake_.Wake();  // ends the read wait now instead of at its time-out
    if (thread_.joinable())
        thread_.join();
    wake_.Drain();
    listening_ = false;
    // Requests accepted while the thread ran but not sent by it before it ended go out now:
    // their callers were told they were sent.
    while (std::optional<std::string> text = queue_.TryPop())
        SendSearchMessageOnce(*text);
    return 1;
}

int DeviceSearcher::SendSearchMessage(int code, const char* body, int flag) {
    std::string text = PrintDiscoveryEnvelope(kRootKestravin, code, flag, body);
    if (text.empty())
        return -1;  // too long for the envelope (logged): nothing is sent
    {
        std::lock_guard lock(stateMutex_);
        if (running_.load() == 1) {
            queue_.Push(std::move(text));
            wake_.Wake();  // sent in the thread's next pass, not after its read wait
            return 0;
        }
    }
    return SendSearchMessageOnce(text) > 0 ? 0 : -1;
}

int DeviceSearcher::SendSearchMessageOnce(const std::string& text) {
    SocketMap sockets;
    for (const auto& [address, info] : EnumAdapters(options_.labMode))
        sockets[address] = OpenBroadcastSocket(address, 0);
    int sent = 0;
    for (const auto& [address, fd] : sockets) {
        if (WaitWritable(fd, kOnceSendWaitMs) != WriteWait::kWritable)
            continue;
        if (SendDatagram(fd, text, BroadcastAddress(), options_.port) <
            static_cast<long>(text.size()))
            break;
        ++sent;
    }
    for (const auto& [address, fd] : sockets)
        if (fd >= 0)
            close(fd);
    return sent;
}

// Search thread.
void DeviceSearcher::SearchIPCThread() {
    LogMessage("SearchIPCThread(): enter main loop...\n");
    SendSearchMessage(kMsgSearch, nullptr, 0);
    const uint32_t selection = selection_.load();
    {
        const SearchLoopSettings settings{BroadcastAddress(), options_.port, options_.receiveBuffer,
                                          options_.readWaitMs, &wake_};
        SearchLoop loop(table_, queue_, settings);
        loop.OpenSockets(EnumAdapters(options_.labMode), selection);
        LogMessage("SearchIPCThread(): enter send and recv loop...\n");
        while (running_.load() == 1)
            loop.RunPass();
        LogMessage("SearchIPCThread(): exit send and recv loop\n");
    }
    LogMessage("SearchIPCThread(): exit main loop\n");
}

}  // namespace camfleet

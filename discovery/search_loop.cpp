#include "discovery/search_loop.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/xml_messages.h"
#include "discovery/broadcast_socket.h"
#include "discovery/search_answer_handler.h"
#include "resources/log.h"

namespace camfleet {

SearchLoop::SearchLoop(DeviceTable& table, SearchRequestQueue& queue,
                       const SearchLoopSettings& settings)
    : table_(table), queue_(queue), settings_(settings) {}

SearchLoop::~SearchLoop() {
    for (const auto& [address, fd] : sockets_)
        if (fd >= 0)
            close(fd);
}

void SearchLoop::OpenSockets(const AdapterMap& adapters, uint32_t selection) {
    for (const auto& [address, info] : adapters) {
        if (selection != 0 && selection != address)
            continue;
        if (sockets_.count(address) == 0)
            sockets_[address] = OpenBroadcastSocket(address, 0, settings_.receiveBuffer);
    }
}

PassEnd SearchLoop::RunPass() {
    if (std::optional<std::string> request = queue_.TryPop()) {
        LogMessage("send broardcast");
        SendRequest(*request);
    }
    std::vector<pollfd> fds;
    std::vector<uint32_t> addresses;  // adapter address of fds[i]
    const PassEnd end = WaitReadable(&fds, &addresses);
    if (end != PassEnd::kDone)
        return end;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (fds[i].revents & (POLLERR | POLLNVAL))
            LogMessage("SearchIPCThread(): select sock find socket error\n");
        else if (fds[i].revents & POLLIN)
            ReceiveAvailable(addresses[i], fds[i].fd);
    }
    return PassEnd::kDone;
}

void SearchLoop::SendRequest(const std::string& text) {
    for (const auto& [address, fd] : sockets_) {
        const WriteWait wait = WaitWritable(fd, kSendWaitMs);
        if (wait == WriteWait::kFailed) {
            LogMessage("SearchIPCThread(): select failed, error=%d\n", errno);
            continue;
        }
        if (wait == WriteWait::kError) {
            LogMessage("SearchIPCThread(): select sock find socket error\n");
            continue;
        }
        if (SendDatagram(fd, text, settings_.broadcast, settings_.port) <
            static_cast<long>(text.size())) {
            LogMessage("SearchIPCThread(): sendto failed, error=%d\n", errno);
            return;
        }
        LogMessage("send INADDR_BROADCAST to seach ipc......\r\n");
    }
}

PassEnd SearchLoop::WaitReadable(std::vector<pollfd>* fds, std::vector<uint32_t>* addresses) {
    for (const auto& [address, fd] : sockets_) {
        if (fd < 0)
            continue;
        if (fds->size() == kMaxWatchedSockets)
            break;
        fds->push_back(pollfd{fd, POLLIN, 0});
        addresses->push_back(address);
    }
    const bool wakeable = settings_.wake != nullptr && settings_.wake->readFd() >= 0;
    if (wakeable)
        fds->push_back(pollfd{settings_.wake->readFd(), POLLIN, 0});
    const int waitMs = queue_.Empty() ? settings_.readWaitMs : 0;
    if (poll(fds->data(), fds->size(), waitMs) < 0) {
        LogMessage("SearchIPCThread(): select failed, error=%d\n", errno);
        return PassEnd::kWaitFailed;
    }
    if (wakeable && (fds->back().revents & POLLIN) != 0) {
        // Drained here so the next wait waits again; a request queued after the drain is
        // still seen, since every pass looks at the queue first.
        settings_.wake->Drain();
        return PassEnd::kWoken;
    }
    return PassEnd::kDone;
}

void SearchLoop::ReceiveAvailable(uint32_t address, int fd) {
    for (int n = 0; n < kMaxDatagramsPerPass && ReceiveOne(address, fd); ++n) {
    }
}

bool SearchLoop::ReceiveOne(uint32_t address, int fd) {
    const std::size_t capacity = buffer_.size() - 1;
    // MSG_TRUNC reports the full length, so a datagram longer than the buffer is seen
    // and refused instead of being parsed cut.
    const long n = recv(fd, buffer_.data(), capacity, MSG_TRUNC | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return false;
    if (n < 0 || static_cast<std::size_t>(n) > capacity) {
        const int error = n < 0 ? errno : EMSGSIZE;
        LogMessage("SearchIPCThread(): recvfrom failed, error=%d\n", error);
        return n >= 0;
    }
    buffer_[static_cast<std::size_t>(n)] = '\0';
    HandleDatagram(address, buffer_.data(), n);
    return true;
}

void SearchLoop::HandleDatagram(uint32_t address, const char* text, long length) {
    if (IsSearchAnswerMessage({text, static_cast<std::size_t>(length)})) {
        HandleSearchAnswer(table_, text, length, AddressText(address).c_str());
        return;
    }
    LogMessage("recv message: %s\n", text);
}

}  // namespace camfleet

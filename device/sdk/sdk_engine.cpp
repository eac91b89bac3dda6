#include "device/sdk/sdk_engine.h"

#include <poll.h>

#include <algorithm>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "resources/log.h"

namespace camfleet::sdk {

namespace {

// Handles keep counting across Cleanup and Init, so a handle kept from before a restart of
// the SDK never names a new session.
std::atomic<int> g_nextHandle{1};

uint32_t CodeWord(uint32_t code, int32_t status) {
    return (static_cast<uint32_t>(status & 0xFF) << 24) | (code & kCodeMask);
}

int SyncResult(int32_t status) {
    switch (status) {
        case kStatusOk:
            return QV_OK;
        case kStatusTimeout:
            return QV_ERR_TIMEOUT;
        case kStatusSessionLost:
            return QV_ERR_NOT_CONNECTED;
        default:
            return QV_ERR_REFUSED;
    }
}

}  // namespace

Engine::Engine(const SdkTiming& timing)
    : timing_(timing),
      hooks_([this](int handle) { return IsLive(handle); }),
      io_(&Engine::Run, this) {
    hooks_.SetBacklogLimit(static_cast<std::size_t>(std::max(timing.maxHookBacklog, 0)),
                           static_cast<std::size_t>(std::max(timing.maxHookBacklogBytes, 0)));
}

Engine::~Engine() {
    Shutdown();
}

void Engine::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        handles_.clear();
    }
    wake_.Wake();
    if (io_.joinable())
        io_.join();
    EndTransfers(0, BulkStatus::kSessionClosed);
    ReapTransfers(true);
    hooks_.Stop();
}

void Engine::SetDefaultAutoReconnect(bool enable) {
    std::lock_guard lock(mutex_);
    defaultReconnect_ = enable;
}

int Engine::Login(LoginTarget target) {
    int handle = 0;
    bool reconnect = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return QV_ERR_NOT_INIT;
        do {
            int next = g_nextHandle.load();
            do {
                handle = next;
            } while (!g_nextHandle.compare_exchange_weak(next, next == INT32_MAX ? 1 : next + 1));
        } while (handles_.count(handle) != 0);
        auto state = std::make_shared<HandleState>();
        state->ip = target.ip;
        state->port = target.port;
        handles_[handle] = std::move(state);
        reconnect = defaultReconnect_;
        commands_.push_back(
            [this, handle, reconnect, target = std::move(target)](Clock::time_point now) {
                sessions_[handle] =
                    std::make_unique<Session>(handle, target, reconnect, timing_, this, now);
            });
    }
    wake_.Wake();
    return handle;
}

int Engine::Logout(int handle) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return QV_ERR_NOT_INIT;
        if (handles_.erase(handle) == 0)
            return QV_ERR_HANDLE;
    }
    EndTransfers(handle, BulkStatus::kSessionClosed);
    Post([this, handle](Clock::time_point) {
        const auto it = sessions_.find(handle);
        if (it == sessions_.end())
            return;
        it->second->Logout();
        sessions_.erase(it);
    });
    return QV_OK;
}

int Engine::LogoutAll() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return QV_ERR_NOT_INIT;
        handles_.clear();
    }
    EndTransfers(0, BulkStatus::kSessionClosed);
    Post([this](Clock::time_point) {
        for (auto& [handle, session] : sessions_)
            session->Logout();
        sessions_.clear();
    });
    return QV_OK;
}

int Engine::SetAutoReconnect(int handle, bool enable) {
    return PostForHandle(handle, false, [this, handle, enable](Clock::time_point now) {
        if (Session* session = Find(handle))
            session->SetAutoReconnect(enable, now);
    });
}

int Engine::Request(int handle, uint32_t code, uint16_t param, std::string payload) {
    return PostForHandle(handle, true, [=, this](Clock::time_point now) mutable {
        Session* session = Find(handle);
        if (session == nullptr ||
            !session->Request(code, param, std::move(payload), nullptr, true, now))
            hooks_.PostAnswer(handle, CodeWord(code, kStatusSessionLost), {});
    });
}

int Engine::RequestSync(int handle, uint32_t code, std::string payload, bool toHook) {
    auto waiter = std::make_shared<SyncWaiter>();
    const int queued = PostForHandle(handle, true, [=, this](Clock::time_point now) mutable {
        Session* session = Find(handle);
        if (session == nullptr || !session->Request(code, RequestParam(Access::kCommand),
                                                    std::move(payload), waiter, toHook, now))
            waiter->Finish(kStatusSessionLost);
    });
    if (queued != QV_OK)
        return queued;
    // The I/O thread enforces the limit; the margin only guards against a stuck thread.
    int32_t status = 0;
    if (!waiter->Wait(std::chrono::milliseconds(timing_.syncTimeoutMs + 2000), &status))
        return QV_ERR_TIMEOUT;
    return SyncResult(status);
}

int Engine::StartUpload(int handle, BulkRequest request, BulkCallbacks callbacks, uint64_t* id) {
    return StartTransfer(handle, BulkDirection::kUpload, std::move(request), std::move(callbacks),
                         id);
}

int Engine::StartDownload(int handle, BulkRequest request, BulkCallbacks callbacks, uint64_t* id) {
    return StartTransfer(handle, BulkDirection::kDownload, std::move(request), std::move(callbacks),
                         id);
}

int Engine::StartTransfer(int handle, BulkDirection direction, BulkRequest request,
                          BulkCallbacks callbacks, uint64_t* id) {
    ReapTransfers(false);
    // The configuration export is the one download that may go without a name.
    const bool unnamed = direction == BulkDirection::kDownload &&
                         request.purpose == BulkPurpose::kConfig && request.name.empty();
    if ((!unnamed && !ValidBulkName(request.name)) || request.path.empty())
        return QV_ERR_PARAM;
    std::string ip;
    uint16_t port = 0;
    {
        std::lock_guard lock(mutex_);
        const HandleState* state = nullptr;
        const int usable = CheckHandle(handle, true, &state);
        if (usable != QV_OK)
            return usable;
        ip = state->ip;
        port = state->port;
    }
    // The token is asked for on the control session like any synchronous request, so the
    // session's I/O thread only carries two small frames for the whole transfer.
    BulkOpener opener = [this, handle](const std::string& text, std::string* answer) {
        auto waiter = std::make_shared<SyncWaiter>();
        const int queued = PostForHandle(handle, true, [=, this](Clock::time_point now) {
            Session* session = Find(handle);
            if (session == nullptr ||
                !session->Request(kCodeOpenBulk, RequestParam(Access::kCommand), text, waiter,
                                  false, now))
                waiter->Finish(kStatusSessionLost);
        });
        int32_t status = kStatusSessionLost;
        if (queued == QV_OK &&
            !waiter->Wait(std::chrono::milliseconds(timing_.syncTimeoutMs + 2000), &status, answer))
            status = kStatusTimeout;
        return status;
    };
    auto transfer = std::make_unique<BulkTransfer>(
        direction, std::move(request), std::move(callbacks), ip, port, timing_, std::move(opener));
    std::lock_guard lock(transfersMutex_);
    *id = nextTransfer_++;
    transfer->Start();
    transfers_.emplace(*id, TransferEntry{handle, std::move(transfer)});
    return QV_OK;
}

bool Engine::CancelTransfer(uint64_t id) {
    std::lock_guard lock(transfersMutex_);
    const auto it = transfers_.find(id);
    if (it == transfers_.end() || it->second.transfer->HasVerdict())
        return false;
    it->second.transfer->Cancel(BulkStatus::kCancelled);
    return true;
}

void Engine::EndTransfers(int handle, BulkStatus why) {
    std::lock_guard lock(transfersMutex_);
    for (auto& [id, entry] : transfers_)
        if (handle == 0 || entry.handle == handle)
            entry.transfer->Cancel(why);
}

void Engine::ReapTransfers(bool all) {
    std::vector<std::unique_ptr<BulkTransfer>> done;
    {
        std::lock_guard lock(transfersMutex_);
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (all || it->second.transfer->Finished()) {
                done.push_back(std::move(it->second.transfer));
                it = transfers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    done.clear();  // joins, without the lock: a finishing callback may start another
}

int Engine::CheckHandle(int handle, bool needLoggedIn, const HandleState** state) const {
    if (stopping_)
        return QV_ERR_NOT_INIT;
    const auto it = handles_.find(handle);
    if (it == handles_.end())
        return QV_ERR_HANDLE;
    if (needLoggedIn && !it->second->loggedIn)
        return QV_ERR_NOT_CONNECTED;
    *state = it->second.get();
    return QV_OK;
}

int Engine::PostForHandle(int handle, bool needLoggedIn, Command command) {
    {
        std::lock_guard lock(mutex_);
        const HandleState* state = nullptr;
        const int usable = CheckHandle(handle, needLoggedIn, &state);
        if (usable != QV_OK)
            return usable;
        commands_.push_back(std::move(command));
    }
    wake_.Wake();
    return QV_OK;
}

bool Engine::Post(Command command) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return false;
        commands_.push_back(std::move(command));
    }
    wake_.Wake();
    return true;
}

bool Engine::IsLive(int handle) {
    std::lock_guard lock(mutex_);
    return handles_.count(handle) != 0;
}

Session* Engine::Find(int handle) {
    const auto it = sessions_.find(handle);
    return it != sessions_.end() ? it->second.get() : nullptr;
}

void Engine::Run() {
    std::vector<pollfd> fds;
    std::vector<Session*> owners;
    for (;;) {
        Clock::time_point now = Clock::now();
        RunCommands(now);
        {
            std::lock_guard lock(mutex_);
            if (stopping_ && commands_.empty())
                break;
        }
        StartConnects(now);
        fds.assign(1, pollfd{wake_.readFd(), POLLIN, 0});
        owners.assign(1, nullptr);
        for (auto& [handle, session] : sessions_) {
            if (session->fd() < 0)
                continue;
            fds.push_back(pollfd{session->fd(), session->PollEvents(), 0});
            owners.push_back(session.get());
        }
        poll(fds.data(), fds.size(), PollTimeoutMs(now));
        now = Clock::now();
        if (fds[0].revents != 0)
            wake_.Drain();
        for (std::size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents != 0)
                owners[i]->OnPoll(fds[i].revents, now);
        for (auto& [handle, session] : sessions_)
            session->OnTimer(now);
        CloseOverLimit(now);
    }
    for (auto& [handle, session] : sessions_)
        session->Logout();
    sessions_.clear();
}

void Engine::RunCommands(Clock::time_point now) {
    std::vector<Command> commands;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
    }
    for (Command& command : commands)
        command(now);
}

void Engine::StartConnects(Clock::time_point now) {
    int inFlight = 0;
    for (auto& [handle, session] : sessions_)
        inFlight += session->state() == Session::State::kConnecting ? 1 : 0;
    for (auto& [handle, session] : sessions_) {
        if (inFlight >= timing_.maxConnectsInFlight)
            return;
        if (!session->WantsConnect(now))
            continue;
        session->Connect(now);
        inFlight += session->state() == Session::State::kConnecting ? 1 : 0;
    }
}

int Engine::PollTimeoutMs(Clock::time_point now) const {
    int inFlight = 0;
    for (const auto& [handle, session] : sessions_)
        inFlight += session->state() == Session::State::kConnecting ? 1 : 0;
    const bool canConnect = inFlight < timing_.maxConnectsInFlight;
    Clock::time_point next = now + std::chrono::seconds(1);
    for (const auto& [handle, session] : sessions_) {
        if (session->state() == Session::State::kWaiting && !canConnect)
            continue;  // a finishing connect wakes the loop
        next = std::min(next, session->NextDeadline());
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    // Round up so a deadline is never polled for again just before it falls due.
    return static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000));
}

// What a camera sends (its events, its answers) counts against the handle's hook backlog;
// the SDK's own reports always get through.
void Engine::OnStatusEvent(int handle, int type, std::string data) {
    TrackUpgrade(handle, type, data);
    const bool fromCamera = type != kEventDisconnected && type != kEventConnectFailed &&
                            type != kEventLoggedIn && type != kEventAuthFailed &&
                            type != kEventLoginFailed && type != kEventOverLimit &&
                            type != kEventKeyChanged;
    if (!hooks_.PostStatus(handle, type, std::move(data), fromCamera))
        overLimit_.push_back(handle);
}

void Engine::OnAnswer(int handle, uint32_t code, int32_t status, std::string text) {
    const bool fromCamera = status != kStatusTimeout && status != kStatusSessionLost;
    if (!hooks_.PostAnswer(handle, CodeWord(code, status), std::move(text), fromCamera))
        overLimit_.push_back(handle);
}

// Sessions whose deliveries the hooks did not keep up with are closed: the camera sends
// faster than the program takes it.
void Engine::CloseOverLimit(Clock::time_point now) {
    std::vector<int> handles;
    handles.swap(overLimit_);
    for (int handle : handles) {
        Session* session = Find(handle);
        if (session != nullptr && session->state() == Session::State::kReady) {
            LogMessage("SDK session %d: the hooks fall behind its deliveries, closed\n", handle);
            session->CloseOverLimit(now);
        }
    }
}

void Engine::OnLoggedIn(int handle, bool loggedIn) {
    {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it != handles_.end())
            it->second->loggedIn = loggedIn;
    }
    // A lost session takes its bulk connections with it (the camera closes its side too).
    if (!loggedIn) {
        EndTransfers(handle, BulkStatus::kSessionClosed);
        EndUpgradeWrite(handle);
    }
}

}  // namespace camfleet::sdk

#pragma once
// The running SDK between QV_NETSDK_IPC_Init and QV_NETSDK_IPC_Cleanup: the login handles,
// one I/O thread that owns every session's socket (poll over all of them, so a thousand
// cameras need no thousand threads) and the hook dispatcher thread.
//
// Threads: the public calls run on any caller's thread and only touch `mutex_`-guarded
// members, then hand work to the I/O thread as commands. `sessions_` belongs to the I/O
// thread alone. Results reach the hooks through the dispatcher.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "device/sdk/hook_dispatcher.h"
#include "device/sdk/sdk_session.h"
#include "device/sdk/socket_util.h"

namespace camfleet::sdk {

class Engine final : public SessionSink {
public:
    explicit Engine(const SdkTiming& timing);
    ~Engine() override;  // Shutdown()
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Logs every session out, stops both threads; later calls fail. Idempotent.
    void Shutdown();
    bool OnHookThread() const { return hooks_.OnDispatcherThread(); }

    HookDispatcher& hooks() { return hooks_; }
    void SetDefaultAutoReconnect(bool enable);
    // QV_ERR_* results as the C calls return them.
    int Login(LoginTarget target);
    int Logout(int handle);
    int LogoutAll();
    int SetAutoReconnect(int handle, bool enable);
    // Async request: 0 when queued; the answer (or status 253/254) goes to the response hook.
    int Request(int handle, uint32_t code, uint16_t param, std::string payload);
    // Sync request: waits for the answer; with `toHook` its document also goes to the hook.
    int RequestSync(int handle, uint32_t code, std::string payload, bool toHook);

private:
    struct HandleState {
        std::atomic<bool> loggedIn{false};
    };
    using Command = std::function<void(Clock::time_point now)>;

    // Checks the handle and queues `command`; QV_OK or the reason it was not queued.
    int PostForHandle(int handle, bool needLoggedIn, Command command);
    bool Post(Command command);
    bool IsLive(int handle);
    Session* Find(int handle);
    void Run();
    void RunCommands(Clock::time_point now);
    void StartConnects(Clock::time_point now);
    int PollTimeoutMs(Clock::time_point now) const;
    void CloseOverLimit(Clock::time_point now);

    // SessionSink, on the I/O thread.
    void OnStatusEvent(int handle, int type, std::string data) override;
    void OnAnswer(int handle, uint32_t code, int32_t status, std::string text) override;
    void OnLoggedIn(int handle, bool loggedIn) override;

    const SdkTiming timing_;
    std::mutex mutex_;  // guards handles_, commands_, stopping_, defaultReconnect_
    std::unordered_map<int, std::shared_ptr<HandleState>> handles_;
    std::vector<Command> commands_;
    bool stopping_ = false;
    bool defaultReconnect_ = true;
    WakePipe wake_;
    std::map<int, std::unique_ptr<Session>> sessions_;  // I/O thread only, in login order
    std::vector<int> overLimit_;  // I/O thread only: handles whose hook backlog overflowed
    HookDispatcher hooks_;
    std::thread io_;  // last: starts once everything above exists
};

}  // namespace camfleet::sdk

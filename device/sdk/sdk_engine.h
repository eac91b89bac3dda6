#pragma once
// The running SDK between QV_NETSDK_IPC_Init and QV_NETSDK_IPC_Cleanup: the login handles,
// one I/O thread that owns every session's socket (poll over all of them, so a thousand
// cameras need no thousand threads) and the hook dispatcher thread.
//
// Threads: the public calls run on any caller's thread and only touch `mutex_`-guarded
// members, then hand work to the I/O thread as commands. `sessions_` belongs to the I/O
// thread alone. Results reach the hooks through the dispatcher. Bulk transfers run on threads
// of their own (device/sdk/bulk_transfer.h); `transfersMutex_` guards their table.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "device/sdk/bulk_transfer.h"
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

    // Bulk transfers of a logged-in handle: QV_OK with `*id` set (the callbacks then report
    // progress and exactly one result), or the reason nothing started (no callback then):
    // QV_ERR_PARAM for a name ValidBulkName refuses or an empty path.
    // Logging the handle out, losing its session or Shutdown ends its transfers
    // (kSessionClosed). Not from a transfer's callback: Shutdown.
    int StartUpload(int handle, BulkRequest request, BulkCallbacks callbacks, uint64_t* id);
    int StartDownload(int handle, BulkRequest request, BulkCallbacks callbacks, uint64_t* id);
    // false when `id` is unknown or its verdict is already known.
    bool CancelTransfer(uint64_t id);

    // ---- File calls of the C interface (device/sdk/sdk_file_calls.cpp) --------------------
    // Firmware upgrade: the file goes up as a `firmware` upload; QV_OK when it started.
    // QV_ERR_BUSY while a firmware file of the handle is on its way (while the camera writes
    // one, the camera itself refuses another), QV_ERR_FILE for a file that
    // cannot be opened. Its progress is raised as event 54 while the file travels; a failed
    // transfer is raised as event 15; after a whole transfer the camera reports 55, then 14
    // or 15 itself.
    int StartUpgrade(int handle, const std::string& path);
    // Percentage of the handle's upgrade: the transfer counts for the first half, the
    // camera's write (event 55) for the second; 100 once the camera accepted it (event 14).
    // 0 before any progress; QV_ERR_HANDLE for an unknown handle.
    int UpgradeProgress(int handle);
    // Uploads a file and waits for the camera's verdict: QV_OK when it took the file.
    // Not from a hook's thread when the answer must come through that hook: it does not.
    int UploadAndWait(int handle, BulkPurpose purpose, const std::string& path);
    // Starts an upload whose verdict the camera reports as event 16 or 17; a transfer that
    // ends before the camera could report (no bulk connection, or the control session gone)
    // is raised as event 17 by the SDK.
    int UploadReported(int handle, BulkPurpose purpose, const std::string& path);
    // Starts the download of the camera's file `name` to `path` (written as "<path>.part",
    // renamed when whole); the SDK raises event 16 when it is there, 17 when it failed, both
    // with `<RESPONSE_PARAM LocalFileName="path" />`. A `config` download without a name is
    // the camera's configuration export. QV_ERR_PARAM for a name the bulk channel cannot carry
    // or an empty path.
    int DownloadReported(int handle, BulkPurpose purpose, const std::string& name,
                         const std::string& path);

private:
    struct HandleState {
        std::atomic<bool> loggedIn{false};
        std::atomic<bool> upgrading{false};       // a firmware file is on its way
        std::atomic<bool> upgradeWriting{false};  // the file is over; the camera writes it
        std::atomic<int> upgradePercent{0};       // UpgradeProgress
        std::string ip;                           // where bulk connections go
        uint16_t port = 0;
    };
    struct TransferEntry {
        int handle;
        std::unique_ptr<BulkTransfer> transfer;
    };
    using Command = std::function<void(Clock::time_point now)>;

    // QV_OK with `*state` set when `handle` is live (and logged in when asked), else why
    // not; mutex_ held.
    int CheckHandle(int handle, bool needLoggedIn, const HandleState** state) const;
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
    int StartTransfer(int handle, BulkDirection direction, BulkRequest request,
                      BulkCallbacks callbacks, uint64_t* id);
    // Cancels the transfers of `handle` (every handle when 0) with `why`.
    void EndTransfers(int handle, BulkStatus why);
    // Joins finished transfers (every transfer when `all`); transfersMutex_ not held.
    void ReapTransfers(bool all);

    // SessionSink, on the I/O thread.
    void OnStatusEvent(int handle, int type, std::string data) override;
    // Events 14, 15 and 55 from the camera move the handle's upgrade on.
    void TrackUpgrade(int handle, int type, const std::string& data);
    std::shared_ptr<HandleState> StateOf(int handle);
    // The session went while the camera was writing firmware: it can no longer report the
    // outcome, so the SDK reports the upgrade as failed (event 15).
    void EndUpgradeWrite(int handle);
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
    std::mutex transfersMutex_;   // guards transfers_, nextTransfer_
    std::map<uint64_t, TransferEntry> transfers_;
    uint64_t nextTransfer_ = 1;
    HookDispatcher hooks_;
    std::thread io_;  // last: starts once everything above exists
};

// The engine between QV_NETSDK_IPC_Init and QV_NETSDK_IPC_Cleanup, or null. Any thread.
std::shared_ptr<Engine> RunningEngine();

}  // namespace camfleet::sdk

#pragma once
// One login handle's connection to a camera: connect, hello and login, requests and their
// answers, keep-alive and reconnection (docs/camera-protocol.md).
//
// Threads: every member runs on the SDK's I/O thread, which owns the session; results leave
// through SessionSink (on that thread) and through SyncWaiter (to a waiting caller).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "device/sdk/client_handshake.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/sdk_timing.h"
#include "device/sdk/secure_channel.h"

namespace camfleet::sdk {

using Clock = std::chrono::steady_clock;

// A caller blocked in a synchronous SDK call waits here for the answer's status and text.
class SyncWaiter {
public:
    void Finish(int32_t status, std::string text = {});  // the first call counts
    // false when `limit` passed first. `text` (when given) gets the answer's payload.
    bool Wait(std::chrono::milliseconds limit, int32_t* status, std::string* text = nullptr);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;  // guarded by mutex_
    int32_t status_ = 0;
    std::string text_;
};

// Where a session's results go; called on the I/O thread.
class SessionSink {
public:
    virtual ~SessionSink() = default;
    virtual void OnStatusEvent(int handle, int type, std::string data) = 0;
    virtual void OnAnswer(int handle, uint32_t code, int32_t status, std::string text) = 0;
    virtual void OnLoggedIn(int handle, bool loggedIn) = 0;
};

struct LoginTarget {
    std::string ip;
    uint16_t port = 0;
    std::string user;
    std::string password;
};

class Session {
public:
    enum class State { kWaiting, kConnecting, kHandshake, kReady, kClosed };

    Session(int handle, LoginTarget target, bool autoReconnect, const SdkTiming& timing,
            SessionSink* sink, Clock::time_point now);
    ~Session();  // closes the socket; waiting callers get kStatusSessionLost
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    State state() const { return state_; }
    int fd() const { return fd_; }
    short PollEvents() const;
    // Waiting for a connect and its retry time has come.
    bool WantsConnect(Clock::time_point now) const;
    void Connect(Clock::time_point now);
    void OnPoll(short revents, Clock::time_point now);
    void OnTimer(Clock::time_point now);
    Clock::time_point NextDeadline() const;

    // Queues a request on a logged-in session. The answer goes to `waiter` (when given) and
    // to the sink's OnAnswer when `toHook`; an async request (no waiter) also reports its
    // timeout or loss there. false when the session is not logged in (nothing reported).
    bool Request(uint32_t code, uint16_t param, std::string payload,
                 std::shared_ptr<SyncWaiter> waiter, bool toHook, Clock::time_point now);
    // Sends a logout when logged in (best effort) and closes without any event.
    void Logout();
    void SetAutoReconnect(bool enable, Clock::time_point now);
    // The camera sent more than the SDK takes: a logged-in session is closed and reported as
    // event 38 (then revived like a lost one).
    void CloseOverLimit(Clock::time_point now);

private:
    enum class Failure { kUnreachable, kRefused, kKeyChanged, kOther, kLost, kOverLimit };
    struct Pending {
        uint32_t code;
        Clock::time_point deadline;
        std::shared_ptr<SyncWaiter> waiter;
        bool toHook;
    };

    void Fail(Failure failure, Clock::time_point now);
    void ScheduleRetry(Clock::time_point now);
    void CloseSocket();
    void FailPendings(int32_t status);
    void ReadFrames(Clock::time_point now);
    bool HandleFrame(Frame& frame, Clock::time_point now);  // false: close the session
    bool HandleHandshake(Frame& frame, Clock::time_point now);
    // Moves what arrived into the parser (through the channel once it runs); false when a
    // record failed (the session is then closed).
    bool Absorb(Clock::time_point now);
    void HandleAnswer(Frame& frame);
    void HandleEvent(Frame& frame);
    void SendFrame(FrameKind kind, uint32_t code, uint16_t param, uint32_t sequence,
                   std::string payload, Clock::time_point now);
    uint32_t NextSequence();
    bool WithinEventRate(Clock::time_point now);  // takes one event's share of the rate

    double eventAllowance_ = 0;             // events that may still come at once
    Clock::time_point eventAllowanceAt_{};  // when it was last topped up; zero: new session

    const int handle_;
    const LoginTarget target_;
    const SdkTiming timing_;
    SessionSink* const sink_;
    bool autoReconnect_;
    bool reconnecting_ = false;  // a loss or a failed first connect started the retries
    bool retryable_ = false;     // a closed session that auto-reconnect may revive
    State state_ = State::kWaiting;
    int fd_ = -1;
    FrameParser parser_;
    ChannelCipher cipher_;
    std::unique_ptr<ClientHandshake> handshake_;  // fresh for every connection
    bool keyed_ = false;    // the channel runs; what follows in the parser is ciphertext
    bool damaged_ = false;  // a record failed: close once the frames before it are handled
    std::string in_;
    std::string out_;
    uint32_t sequence_ = 0;
    uint32_t loginSequence_ = 0;
    std::map<uint32_t, Pending> pending_;
    Clock::time_point stateDeadline_{};  // connect or handshake limit
    Clock::time_point retryAt_{};
    Clock::duration retryDelay_{};
    Clock::duration keepAlive_{};
    Clock::time_point lastSent_{};
    Clock::time_point lastReceived_{};
};

}  // namespace camfleet::sdk

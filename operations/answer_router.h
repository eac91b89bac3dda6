#pragma once
// Routes the device SDK's command answers and status events to whoever waits for them, on
// the thread that owns the list.
//
// Road of a message: the SDK calls its hook on one of its own threads; the hook copies the
// message into a heap record (StatusMessage, ResponseMessage) and posts it to the router, a
// QObject living on the list's thread, which then
//  - hands an answer to the request that asked for it: requests are keyed by login handle
//    and command code, and answered in the order they were sent (the SDK answers every
//    accepted configuration request exactly once, in order, per session: the camera's
//    answer, status 253 when none came in time, 254 when the session was lost first). So
//    several operations may wait on one camera at once, each for its own answer;
//  - gives every answer, routed or not, to the answer subscribers of its code, and every
//    status event to the event subscribers of its kind and handle (observers: the list's
//    state column, the talk window).
// Records for which nobody waits are dropped; records still queued when the router is
// destroyed are freed by Qt with the queued call.
//
// One router at a time: the SDK's hooks are process-wide. Construct and destroy it on the
// list's thread, after QV_NETSDK_IPC_Init and before QV_NETSDK_IPC_Cleanup.

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "device/sdk/qv_netsdk_ipc.h"
#include "operations/subscription.h"

namespace camfleet {

inline constexpr std::size_t kMessagePayloadSize = 10240;

// A status event as posted by the status hook. Text events hold the text cut to 10,239
// bytes and zero-terminated; fixed-record events (23, 24, 25, 30) hold the record whole.
struct StatusMessage {
    int32_t handle;
    int32_t type;
    uint32_t size;  // payload bytes (text length, or the record size)
    char payload[kMessagePayloadSize];
};

// A command answer as posted by the answer hook. For 1012 the payload is the
// FileSystemVersion value and for 1019 the SerialNumber value, read from the answer in the
// hook; otherwise the answer text, cut to 10,239 bytes.
struct ResponseMessage {
    int32_t handle;
    int32_t status;  // top 8 bits of the code word; 0 = success
    int32_t code;    // low 24 bits
    char payload[kMessagePayloadSize];
};

// Builds the heap records the hooks post (null when allocation fails). Exposed for tests.
std::unique_ptr<StatusMessage> MakeStatusMessage(int handle, int type, const void* data);
std::unique_ptr<ResponseMessage> MakeResponseMessage(int handle, uint32_t codeWord,
                                                     const char* text);

// Status event 14 reports a written firmware image (`<Upgrade Version="V" />`) or a default
// configuration the camera took (`<RESPONSE_PARAM ... DefaultConfig="1" />`): the payload's
// root tells them apart. True for the first / the second; an event with neither root counts as
// both, as cameras that send other payloads mean whichever is under way.
bool IsUpgradeReport(const StatusMessage& message);
bool IsDefaultConfigReport(const StatusMessage& message);

// How a routed request ended.
enum class RequestOutcome {
    kAnswered,     // the camera answered with status 0
    kRefused,      // the camera answered with a failure status
    kTimedOut,     // no answer within the SDK's limit (status 253)
    kSessionLost,  // the session ended before the answer (status 254)
    kNotSent,      // the SDK did not accept the request (no answer will come)
};

struct RoutedAnswer {
    RequestOutcome outcome;
    int handle;
    int code;
    // The answer; null for kNotSent.
    const ResponseMessage* message;
};

class AnswerRouter : public QObject {
    Q_OBJECT

public:
    using RequestId = uint64_t;
    using Continuation = std::function<void(const RoutedAnswer&)>;
    using EventHandler = std::function<void(const StatusMessage&)>;
    using AnswerHandler = std::function<void(const ResponseMessage&)>;

    static constexpr int kAnyKind = -1;
    static constexpr int kAnyCode = -1;
    static constexpr int kAnyHandle = 0;

    // Installs the SDK's hooks.
    explicit AnswerRouter(QObject* parent = nullptr);
    // Removes the hooks; continuations still waiting are dropped, not called.
    ~AnswerRouter() override;

    // ---- Requests -------------------------------------------------------------------------
    // Sends a request through `send` (an SDK call for `handle` whose answer comes under
    // `code`, returning the SDK's result) and waits for that answer. A result other than 0
    // calls `then` with kNotSent at once; otherwise `then` gets the answer (or the SDK's
    // time-out or lost session) when it comes. Returns the request's id (0 when not sent).
    RequestId Send(int handle, int code, const std::function<int()>& send, Continuation then);
    // The continuation of `id` is not called; its answer is still taken by it when it comes,
    // so that later requests of the same handle and code get their own.
    void Cancel(RequestId id);
    // Requests waiting for an answer (of `handle`, or all with kAnyHandle).
    int PendingRequests(int handle = kAnyHandle) const;

    // ---- Subscriptions --------------------------------------------------------------------
    // Status events of `kind` (or any) for `handle` (or any), until the subscription ends.
    Subscription OnEvent(int kind, int handle, EventHandler handler);
    // Every answer of `code` (or any), after the request it belongs to got it.
    Subscription OnAnswer(int code, AnswerHandler handler);

    // ---- Work of the list's thread --------------------------------------------------------
    // The receivers of the posted records (also fed directly by tests).
    void HandleStatus(const StatusMessage& message);
    void HandleResponse(const ResponseMessage& message);

    // Records received, for tests and benches.
    int HandledCount() const { return handled_; }

signals:
    // After every record.
    void MessageHandled();

private:
    static int OnStatusHook(int handle, int type, const void* data, void* user);
    static int OnResponseHook(int handle, uint32_t codeWord, const char* text, void* user);
    template <typename Message>
    static int Post(std::unique_ptr<Message> message, void* user,
                    void (AnswerRouter::*handler)(const Message&));

    struct Waiting {
        RequestId id;
        Continuation then;  // empty once cancelled
    };
    std::map<std::pair<int, int>, std::deque<Waiting>> waiting_;  // (handle, code) -> in order
    HandlerList<EventHandler> eventSubscribers_;
    HandlerList<AnswerHandler> answerSubscribers_;
    uint64_t nextId_ = 1;
    int handled_ = 0;
};

}  // namespace camfleet

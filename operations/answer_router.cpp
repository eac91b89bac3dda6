#include "operations/answer_router.h"

#include <tinyxml2.h>

#include <QMetaObject>

#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "device/sdk/sdk_event_records.h"
#include "device/sdk_documents.h"
#include "device/xml_messages.h"

namespace camfleet {

namespace {

// SDK statuses of answers that never came from the camera.
constexpr int32_t kStatusTimedOut = 253;
constexpr int32_t kStatusSessionLost = 254;

// The router the hooks post to; null while none exists. Held while posting, so the router
// cannot be destroyed between the check and the post.
std::mutex hookTargetMutex;
AnswerRouter* hookTarget = nullptr;

RequestOutcome OutcomeOf(int32_t status) {
    switch (status) {
        case 0:
            return RequestOutcome::kAnswered;
        case kStatusTimedOut:
            return RequestOutcome::kTimedOut;
        case kStatusSessionLost:
            return RequestOutcome::kSessionLost;
        default:
            return RequestOutcome::kRefused;
    }
}

// The root element of an event's text payload: 'U' for Upgrade, 'D' for a RESPONSE_PARAM with
// DefaultConfig="1", 0 for anything else.
char EventRootKind(const StatusMessage& m) {
    tinyxml2::XMLDocument doc;
    const std::size_t size = std::min<std::size_t>(m.size, sizeof m.payload);
    if (doc.Parse(m.payload, strnlen(m.payload, size)) != tinyxml2::XML_SUCCESS)
        return 0;
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (root == nullptr)
        return 0;
    if (std::string_view(root->Name()) == "Upgrade")
        return 'U';
    const char* flag = root->Attribute("DefaultConfig");
    return std::string_view(root->Name()) == "RESPONSE_PARAM" && flag != nullptr &&
                   std::string_view(flag) == "1"
               ? 'D'
               : 0;
}

}  // namespace

bool IsUpgradeReport(const StatusMessage& message) {
    return EventRootKind(message) != 'D';
}

bool IsDefaultConfigReport(const StatusMessage& message) {
    return EventRootKind(message) != 'U';
}

std::unique_ptr<StatusMessage> MakeStatusMessage(int handle, int type, const void* data) {
    std::unique_ptr<StatusMessage> m(new (std::nothrow) StatusMessage);
    if (!m)
        return nullptr;
    m->handle = handle;
    m->type = type;
    std::memset(m->payload, 0, sizeof m->payload);
    const std::size_t fixed = FixedEventRecordSize(type);
    if (data == nullptr) {
        m->size = 0;
    } else if (fixed != 0) {
        std::memcpy(m->payload, data, fixed);
        m->size = static_cast<uint32_t>(fixed);
    } else {
        const char* text = static_cast<const char*>(data);
        m->size = static_cast<uint32_t>(strnlen(text, kMessagePayloadSize - 1));
        std::memcpy(m->payload, text, m->size);
    }
    return m;
}

std::unique_ptr<ResponseMessage> MakeResponseMessage(int handle, uint32_t codeWord,
                                                     const char* text) {
    std::unique_ptr<ResponseMessage> m(new (std::nothrow) ResponseMessage);
    if (!m)
        return nullptr;
    m->handle = handle;
    m->status = static_cast<int32_t>(codeWord >> 24);
    m->code = static_cast<int32_t>(codeWord & 0xFFFFFFu);
    m->payload[0] = '\0';
    const std::string_view answer = text != nullptr ? std::string_view(text) : std::string_view();
    if (m->code == kCtlFileSystemVersion)
        ParseResponseParam(answer, "FileSystemVersion", m->payload, sizeof m->payload);
    else if (m->code == kCtlSerialNumber)
        ParseResponseParam(answer, "SerialNumber", m->payload, sizeof m->payload);
    else
        CopyField(m->payload, answer);
    return m;
}

AnswerRouter::AnswerRouter(QObject* parent) : QObject(parent) {
    {
        std::lock_guard lock(hookTargetMutex);
        hookTarget = this;
    }
    QV_NETSDK_IPC_SetStatusEventCallBack(&AnswerRouter::OnStatusHook, this);
    QV_NETSDK_IPC_SetAUXResponseCallBack(&AnswerRouter::OnResponseHook, this);
}

AnswerRouter::~AnswerRouter() {
    bool installed = false;
    {
        std::lock_guard lock(hookTargetMutex);
        installed = hookTarget == this;
        if (installed)
            hookTarget = nullptr;
    }
    if (installed) {
        QV_NETSDK_IPC_SetStatusEventCallBack(nullptr, nullptr);
        QV_NETSDK_IPC_SetAUXResponseCallBack(nullptr, nullptr);
    }
    // Records still queued for this object are freed by Qt with their posted calls.
}

// SDK thread: posts `message` to the router `user` for `handler`; -1 when the record could
// not be allocated (the message is lost). The record is freed after the call, or with the
// posted call when the router is gone first.
template <typename Message>
int AnswerRouter::Post(std::unique_ptr<Message> made, void* user,
                       void (AnswerRouter::*handler)(const Message&)) {
    std::shared_ptr<Message> m(std::move(made));
    if (!m)
        return -1;
    std::lock_guard lock(hookTargetMutex);
    if (hookTarget == nullptr || hookTarget != user)
        return 0;
    AnswerRouter* router = hookTarget;
    QMetaObject::invokeMethod(
        router, [router, m, handler] { (router->*handler)(*m); }, Qt::QueuedConnection);
    return 0;
}

int AnswerRouter::OnStatusHook(int handle, int type, const void* data, void* user) {
    return Post(MakeStatusMessage(handle, type, data), user, &AnswerRouter::HandleStatus);
}

int AnswerRouter::OnResponseHook(int handle, uint32_t codeWord, const char* text, void* user) {
    return Post(MakeResponseMessage(handle, codeWord, text), user, &AnswerRouter::HandleResponse);
}

AnswerRouter::RequestId AnswerRouter::Send(int handle, int code, const std::function<int()>& send,
                                           Continuation then) {
    // Waiting before sending: the answer is posted, so it cannot overtake the entry.
    const RequestId id = nextId_++;
    auto& queue = waiting_[{handle, code}];
    queue.push_back(Waiting{id, std::move(then)});
    if (send() == 0)
        return id;
    // Not accepted: no answer will come for it.
    Continuation failed;
    auto& same = waiting_[{handle, code}];
    for (auto it = same.begin(); it != same.end(); ++it)
        if (it->id == id) {
            failed = std::move(it->then);
            same.erase(it);
            break;
        }
    if (same.empty())
        waiting_.erase({handle, code});
    if (failed)
        failed(RoutedAnswer{RequestOutcome::kNotSent, handle, code, nullptr});
    return 0;
}

void AnswerRouter::Cancel(RequestId id) {
    for (auto& [key, queue] : waiting_)
        for (Waiting& w : queue)
            if (w.id == id) {
                w.then = nullptr;
                return;
            }
}

int AnswerRouter::PendingRequests(int handle) const {
    int count = 0;
    for (const auto& [key, queue] : waiting_)
        if (handle == kAnyHandle || key.first == handle)
            count += static_cast<int>(queue.size());
    return count;
}

Subscription AnswerRouter::OnEvent(int kind, int handle, EventHandler handler) {
    return eventSubscribers_.Add([kind, handle,
                                  handler = std::move(handler)](const StatusMessage& m) {
        if ((kind == kAnyKind || kind == m.type) && (handle == kAnyHandle || handle == m.handle))
            handler(m);
    });
}

Subscription AnswerRouter::OnAnswer(int code, AnswerHandler handler) {
    return answerSubscribers_.Add([code, handler = std::move(handler)](const ResponseMessage& m) {
        if (code == kAnyCode || code == m.code)
            handler(m);
    });
}

void AnswerRouter::HandleStatus(const StatusMessage& m) {
    ++handled_;
    eventSubscribers_.Call(m);
    emit MessageHandled();
}

void AnswerRouter::HandleResponse(const ResponseMessage& m) {
    ++handled_;
    const auto queue = waiting_.find({m.handle, m.code});
    if (queue != waiting_.end()) {
        Waiting first = std::move(queue->second.front());
        queue->second.pop_front();
        if (queue->second.empty())
            waiting_.erase(queue);
        if (first.then)
            first.then(RoutedAnswer{OutcomeOf(m.status), m.handle, m.code, &m});
    }
    answerSubscribers_.Call(m);
    emit MessageHandled();
}

}  // namespace camfleet

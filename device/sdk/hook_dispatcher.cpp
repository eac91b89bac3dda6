#include "device/sdk/hook_dispatcher.h"

namespace camfleet::sdk {

HookDispatcher::HookDispatcher(std::function<bool(int)> isLive)
    : isLive_(std::move(isLive)), thread_(&HookDispatcher::Run, this) {}

HookDispatcher::~HookDispatcher() {
    Stop();
}

void HookDispatcher::SetStatusHook(QV_NETSDK_IPC_StatusEventCallBack hook, void* user) {
    std::lock_guard lock(mutex_);
    statusHook_ = hook;
    statusUser_ = user;
}

void HookDispatcher::SetResponseHook(QV_NETSDK_IPC_AUXResponseCallBack hook, void* user) {
    std::lock_guard lock(mutex_);
    responseHook_ = hook;
    responseUser_ = user;
}

void HookDispatcher::PostStatus(int handle, int type, std::string data) {
    std::lock_guard lock(mutex_);
    if (stop_)
        return;
    queue_.push_back(Item{true, handle, static_cast<uint32_t>(type), std::move(data)});
    cv_.notify_one();
}

void HookDispatcher::PostAnswer(int handle, uint32_t codeWord, std::string text) {
    std::lock_guard lock(mutex_);
    if (stop_)
        return;
    queue_.push_back(Item{false, handle, codeWord, std::move(text)});
    cv_.notify_one();
}

void HookDispatcher::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
        cv_.notify_one();
    }
    // From a hook the loop ends once the hook returns; the thread cannot wait for itself, so
    // the join is left to the destructor, which runs on another thread.
    if (thread_.joinable() && !OnDispatcherThread())
        thread_.join();
}

void HookDispatcher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        Item item = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (isLive_(item.handle))
            Deliver(item);
        lock.lock();
    }
}

void HookDispatcher::Deliver(const Item& item) {
    QV_NETSDK_IPC_StatusEventCallBack statusHook;
    QV_NETSDK_IPC_AUXResponseCallBack responseHook;
    void* statusUser;
    void* responseUser;
    {
        std::lock_guard lock(mutex_);
        statusHook = statusHook_;
        statusUser = statusUser_;
        responseHook = responseHook_;
        responseUser = responseUser_;
    }
    if (item.status && statusHook != nullptr)
        statusHook(item.handle, static_cast<int>(item.value), item.data.c_str(), statusUser);
    else if (!item.status && responseHook != nullptr)
        responseHook(item.handle, item.value, item.data.c_str(), responseUser);
}

}  // namespace camfleet::sdk

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

void HookDispatcher::SetBacklogLimit(std::size_t items, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    maxItems_ = items;
    maxBytes_ = bytes;
}

bool HookDispatcher::PostStatus(int handle, int type, std::string data, bool capped) {
    std::lock_guard lock(mutex_);
    return Push(Item{true, handle, static_cast<uint32_t>(type), std::move(data)}, capped);
}

bool HookDispatcher::PostAnswer(int handle, uint32_t codeWord, std::string text, bool capped) {
    std::lock_guard lock(mutex_);
    return Push(Item{false, handle, codeWord, std::move(text)}, capped);
}

bool HookDispatcher::Push(Item item, bool capped) {
    if (stop_)
        return true;
    Backlog& backlog = backlog_[item.handle];
    if (capped && ((maxItems_ != 0 && backlog.items >= maxItems_) ||
                   (maxBytes_ != 0 && backlog.bytes + item.data.size() > maxBytes_)))
        return false;
    ++backlog.items;
    backlog.bytes += item.data.size();
    queue_.push_back(std::move(item));
    cv_.notify_one();
    return true;
}

void HookDispatcher::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
        backlog_.clear();
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
        const auto backlog = backlog_.find(item.handle);
        if (backlog != backlog_.end() && --backlog->second.items == 0)
            backlog_.erase(backlog);
        else if (backlog != backlog_.end())
            backlog->second.bytes -= item.data.size();
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

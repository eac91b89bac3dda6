#pragma once
// Delivers the SDK's status events and answers to the installed hooks on a thread of its
// own, in the order the I/O thread produced them. A hook that blocks (or calls a
// synchronous SDK function) delays only later deliveries, never the sockets.
//
// Threads: Post from any thread (the I/O thread in practice); hooks run on the dispatcher
// thread. `mutex_` guards the queue, the hooks and `stop_`. The thread is never detached:
// Stop from another thread joins it; Stop from a hook only ends the loop after that hook, and
// the destructor, which must run on another thread, joins it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "device/sdk/qv_netsdk_ipc.h"

namespace camfleet::sdk {

class HookDispatcher {
public:
    // `isLive(handle)` is asked before each delivery; deliveries for dead handles are dropped.
    explicit HookDispatcher(std::function<bool(int)> isLive);
    // Stop(). Never on the dispatcher thread: a thread cannot join itself, and std::thread
    // ends the program rather than leave it running.
    ~HookDispatcher();
    HookDispatcher(const HookDispatcher&) = delete;
    HookDispatcher& operator=(const HookDispatcher&) = delete;

    void SetStatusHook(QV_NETSDK_IPC_StatusEventCallBack hook, void* user);
    void SetResponseHook(QV_NETSDK_IPC_AUXResponseCallBack hook, void* user);
    // A handle may have at most `items` deliveries of at most `bytes` payload bytes waiting
    // (0: no cap). Set before the first Post.
    void SetBacklogLimit(std::size_t items, std::size_t bytes);
    // false: a `capped` delivery was dropped because its handle's backlog is full. The SDK's
    // own reports (session events, its time-outs and losses) are never capped.
    bool PostStatus(int handle, int type, std::string data, bool capped = false);
    bool PostAnswer(int handle, uint32_t codeWord, std::string text, bool capped = false);
    // Drops what is still queued and delivers nothing more. From another thread it also waits
    // for a running hook to return and joins the thread. From a hook it returns at once; the
    // loop ends when the hook returns and the destructor joins the thread.
    void Stop();
    bool OnDispatcherThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    struct Item {
        bool status;
        int handle;
        uint32_t value;  // event type or code word
        std::string data;
    };
    void Run();
    void Deliver(const Item& item);
    bool Push(Item item, bool capped);  // mutex_ held
    struct Backlog {
        std::size_t items = 0;
        std::size_t bytes = 0;
    };

    const std::function<bool(int)> isLive_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    std::unordered_map<int, Backlog> backlog_;  // per handle, what waits in queue_
    std::size_t maxItems_ = 0;
    std::size_t maxBytes_ = 0;
    bool stop_ = false;
    QV_NETSDK_IPC_StatusEventCallBack statusHook_ = nullptr;
    void* statusUser_ = nullptr;
    QV_NETSDK_IPC_AUXResponseCallBack responseHook_ = nullptr;
    void* responseUser_ = nullptr;
    std::thread thread_;  // last: starts after the members above exist
};

}  // namespace camfleet::sdk

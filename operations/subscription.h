#pragma once
// A subscription to a publisher's handlers (the answer router, the session tracker, the list
// merge): ends when the object is destroyed or reset. Ending it after the publisher is gone
// does nothing, so subscriber and publisher may go in any order.
//
// Thread: the thread of the publisher (the list's).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace camfleet {

class [[nodiscard]] Subscription {
public:
    Subscription() = default;
    // `alive` is the publisher's token: `cancel` runs only while it exists.
    Subscription(std::weak_ptr<const void> alive, std::function<void()> cancel)
        : alive_(std::move(alive)), cancel_(std::move(cancel)) {}
    ~Subscription() { Reset(); }
    Subscription(Subscription&& other) noexcept
        : alive_(std::move(other.alive_)), cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            Reset();
            alive_ = std::move(other.alive_);
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    void Reset() {
        if (cancel_ && !alive_.expired())
            cancel_();
        cancel_ = nullptr;
        alive_.reset();
    }
    bool Active() const { return cancel_ != nullptr && !alive_.expired(); }

private:
    std::weak_ptr<const void> alive_;
    std::function<void()> cancel_;
};

// The publisher's side: the token subscriptions watch, and the handlers by id, called so
// that a handler may add or end subscriptions (its own too) while it runs.
template <typename Handler>
class HandlerList {
public:
    Subscription Add(Handler handler) {
        const uint64_t id = nextId_++;
        handlers_.emplace(id, std::move(handler));
        return Subscription(alive_, [this, id] { handlers_.erase(id); });
    }
    // Calls every handler (each looked up again before its call) with `args`.
    template <typename... Args>
    void Call(const Args&... args) {
        std::vector<uint64_t> ids;
        ids.reserve(handlers_.size());
        for (const auto& entry : handlers_)
            ids.push_back(entry.first);
        for (uint64_t id : ids)
            if (const auto it = handlers_.find(id); it != handlers_.end()) {
                const Handler handler = it->second;  // may end its own subscription
                handler(args...);
            }
    }
    bool Empty() const { return handlers_.empty(); }

private:
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
    std::map<uint64_t, Handler> handlers_;
    uint64_t nextId_ = 1;
};

}  // namespace camfleet

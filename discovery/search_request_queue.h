#pragma once
// Requests waiting for the search thread: complete datagram texts, sent one per pass.
// Any thread pushes; only the search thread pops. `mutex_` guards `texts_`.

#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace camfleet {

class SearchRequestQueue {
public:
    void Push(std::string text) {
        std::lock_guard lock(mutex_);
        texts_.push_back(std::move(text));
    }

    // The oldest request, without waiting; nullopt when the queue is empty.
    std::optional<std::string> TryPop() {
        std::lock_guard lock(mutex_);
        if (texts_.empty())
            return std::nullopt;
        std::string text = std::move(texts_.front());
        texts_.pop_front();
        return text;
    }

    bool Empty() {
        std::lock_guard lock(mutex_);
        return texts_.empty();
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        texts_.clear();
    }

private:
    std::mutex mutex_;
    std::deque<std::string> texts_;
};

}  // namespace camfleet

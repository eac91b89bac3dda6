#include "operations/worker.h"

namespace camfleet {

Worker::~Worker() {
    Stop();
}

void Worker::Stop() {
    ++generation_;
    busy_ = false;
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
}

void Worker::Launch(Run run) {
    // The previous job has handed back its result; its thread is at most returning.
    if (thread_.joinable())
        thread_.join();
    busy_ = true;
    const uint64_t generation = ++generation_;
    thread_ = std::jthread([this, generation, run = std::move(run)](std::stop_token stop) {
        std::function<void()> handBack = run(stop);
        if (stop.stop_requested())
            return;
        QMetaObject::invokeMethod(
            &receiver_,
            [this, generation, handBack = std::move(handBack)] {
                if (generation != generation_)
                    return;  // stopped meanwhile
                busy_ = false;
                handBack();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace camfleet

namespace camfleet {

int WorkerPool::Running() const {
    int n = 0;
    for (const auto& w : workers_)
        n += w->Busy() ? 1 : 0;
    return n;
}

void WorkerPool::Reap() {
    std::erase_if(workers_, [](const std::unique_ptr<Worker>& w) { return !w->Busy(); });
}

}  // namespace camfleet

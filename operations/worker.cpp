#include "operations/worker.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace camfleet {

WorkerPool::WorkerPool(int maxThreads) : maxThreads_(std::max(maxThreads, 1)) {}

WorkerPool::~WorkerPool() {
    StopAll();
}

WorkerPool::JobId WorkerPool::Queue(Run run) {
    std::vector<std::unique_ptr<Runner>> ended;
    JobId id = 0;
    {
        std::lock_guard lock(mutex_);
        ended = TakeEnded();
        id = nextId_++;
        queue_.push_back(Queued{id, std::move(run)});
        pending_.insert(id);
        // A runner inside its loop holds a running job, or was just started and is about
        // to take one; start another only when the queue holds more than those will take.
        const std::size_t starting = static_cast<std::size_t>(looping_) - running_.size();
        if (looping_ < maxThreads_ && queue_.size() > starting) {
            auto runner = std::make_unique<Runner>();
            runner->thread = std::jthread([this, r = runner.get()] { Loop(r); });
            runners_.push_back(std::move(runner));
            ++looping_;
        }
    }
    return id;  // `ended` joins its threads here, outside the lock
}

void WorkerPool::Loop(Runner* self) {
    std::unique_lock lock(mutex_);
    while (!queue_.empty()) {
        Queued job = std::move(queue_.front());
        queue_.pop_front();
        std::stop_source source;
        running_.emplace(job.id, source);
        lock.unlock();
        std::function<void()> call = job.run(source.get_token());
        job.run = nullptr;  // what the job holds goes before the job counts as ended
        lock.lock();
        running_.erase(job.id);
        if (!call) {
            pending_.erase(job.id);
        } else if (!source.stop_requested()) {
            QMetaObject::invokeMethod(
                &receiver_, [this, id = job.id, call = std::move(call)] { HandBack(id, call); },
                Qt::QueuedConnection);
        }
        idle_.notify_all();
    }
    --looping_;
    self->ended = true;
    idle_.notify_all();
}

void WorkerPool::HandBack(JobId id, const std::function<void()>& call) {
    {
        std::lock_guard lock(mutex_);
        if (pending_.erase(id) == 0)
            return;  // cancelled or stopped meanwhile
    }
    call();
}

std::vector<std::unique_ptr<WorkerPool::Runner>> WorkerPool::TakeEnded() {
    std::vector<std::unique_ptr<Runner>> ended;
    auto first = std::stable_partition(runners_.begin(), runners_.end(),
                                       [](const std::unique_ptr<Runner>& r) { return !r->ended; });
    std::move(first, runners_.end(), std::back_inserter(ended));
    runners_.erase(first, runners_.end());
    return ended;
}

bool WorkerPool::Cancel(JobId id) {
    std::lock_guard lock(mutex_);
    auto queued =
        std::find_if(queue_.begin(), queue_.end(), [id](const Queued& q) { return q.id == id; });
    if (queued != queue_.end())
        queue_.erase(queued);
    if (auto running = running_.find(id); running != running_.end())
        running->second.request_stop();
    return pending_.erase(id) != 0;
}

void WorkerPool::StopAll() {
    std::vector<std::unique_ptr<Runner>> runners;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        for (auto& [id, source] : running_)
            source.request_stop();
        pending_.clear();
        runners.swap(runners_);
    }
    runners.clear();  // joins every thread, each once its job has returned
}

void WorkerPool::WaitIdle() {
    std::vector<std::unique_ptr<Runner>> runners;
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return looping_ == 0; });
        runners.swap(runners_);
    }
}

bool WorkerPool::Pending(JobId id) const {
    std::lock_guard lock(mutex_);
    return pending_.count(id) != 0;
}

bool WorkerPool::Busy() const {
    std::lock_guard lock(mutex_);
    return !pending_.empty();
}

int WorkerPool::ThreadCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(runners_.size());
}

void RunItems(std::size_t count, int threads, const std::stop_token& stop,
              const std::function<void(std::size_t)>& item) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        while (!stop.stop_requested()) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count)
                return;
            item(i);
        }
    };
    const std::size_t total = std::min<std::size_t>(std::max(threads, 1), count);
    std::vector<std::jthread> others;  // joined before `next` and `work` go
    others.reserve(total > 0 ? total - 1 : 0);
    for (std::size_t t = 1; t < total; ++t)
        others.emplace_back(work);
    if (total > 0)
        work();
}

}  // namespace camfleet

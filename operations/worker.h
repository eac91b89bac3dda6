#pragma once
// One background job at a time, off the thread that owns the worker. The job gets a stop
// token and returns a result; the result is handed back on the owner's thread as a queued
// call. Stopping (or destroying) the worker asks a running job to stop, waits for its thread
// to end and drops a result not yet handed back, so no job thread outlives its worker and
// nothing arrives after Stop.
//
// Threads: construct, Start, Stop and destroy on one thread, the owner's, which must run a
// Qt event loop for results to arrive. The job runs on a thread of its own; it must look at
// its stop token between its blocking steps, since Stop waits for it to return.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

namespace camfleet {

class Worker {
public:
    Worker() = default;
    ~Worker();  // Stop()
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `job(std::stop_token)` on a new thread and later calls `done(result)` on this
    // thread, unless Stop comes first. `done` may start the next job. Returns false, starting
    // nothing, while an earlier job's result is still to come.
    template <typename Job, typename Done>
    bool Start(Job job, Done done) {
        if (busy_)
            return false;
        Launch([job = std::move(job),
                done = std::move(done)](std::stop_token stop) mutable -> std::function<void()> {
            auto result = job(stop);
            return [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            };
        });
        return true;
    }

    // Asks the running job to stop and waits for its thread to end; a result not yet handed
    // back is dropped. Returns at once when no job runs.
    void Stop();
    // A job was started and its result has been neither handed back nor dropped.
    bool Busy() const { return busy_; }

private:
    // Runs `run` on the job thread; the call it returns is what is handed back.
    using Run = std::function<std::function<void()>(std::stop_token)>;
    void Launch(Run run);

    QObject receiver_;         // results are queued to it; its destruction drops queued ones
    uint64_t generation_ = 0;  // counts Launch and Stop: a result of an older count is dropped
    bool busy_ = false;
    std::jthread thread_;  // last: joined before the members above go
};

}  // namespace camfleet

namespace camfleet {

// Several jobs at once, each on a thread of its own, with a stop token per job. Results are
// handed back on the owner's thread; StopAll (and the destructor) stops and joins every job
// and drops results not yet handed back.
class WorkerPool {
public:
    WorkerPool() = default;
    ~WorkerPool() { StopAll(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    template <typename Job, typename Done>
    void Start(Job job, Done done) {
        Reap();
        auto worker = std::make_unique<Worker>();
        worker->Start(std::move(job), std::move(done));
        workers_.push_back(std::move(worker));
    }
    void StopAll() {
        for (auto& w : workers_)
            w->Stop();
        workers_.clear();
    }
    int Running() const;

private:
    void Reap();
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace camfleet

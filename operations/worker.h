#pragma once
// Background work of the core and its users runs here, and only here: no thread of it is ever
// detached, every job gets a stop token, and whoever owns the work can end it and wait for
// its threads.
//
// WorkerPool runs jobs off the owner's thread, several at once on at most `maxThreads`
// threads. A job is a callable taking a std::stop_token; it may return a result, which is
// handed to a `done` callable on the owner's thread as a queued Qt call. Each job has an id
// that cancels it alone. StopAll (and the destructor) asks every job to stop, drops the jobs
// not yet started and the results not yet handed back, and joins every thread: once it
// returns no job of the pool runs and nothing more is handed back.
//
// Worker is the single-job form of the same pool: one job at a time, the next one refused
// while the previous result is still to come.
//
// RunItems is the blocking form, for work that is itself a job (or a plain call): it runs N
// items on up to W threads, the caller's included, and joins them before it returns.
//
// Threads and lifetimes:
// - Construct, Start, Post, Cancel, StopAll and destroy a pool (or a Worker) on one thread,
//   the owner's. Results (Start) arrive only while that thread runs a Qt event loop; jobs
//   without a result (Post) need no event loop, and WaitIdle waits for them without one.
// - Pool threads start when jobs are queued and none is free, and end as soon as no job is
//   queued; StopAll, WaitIdle and the next Start or Post join the ended ones, so an idle
//   pool holds no running thread.
// - A job must look at its stop token between its blocking steps: Cancel only asks, but
//   StopAll waits for every running job to return. A job never calls its own pool.
// - Whatever a job or its `done` refers to must outlive the job's result: keep the pool (or
//   Worker) as the last member of its owner, so it is stopped before the rest goes.

#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace camfleet {

class WorkerPool {
public:
    using JobId = uint64_t;

    explicit WorkerPool(int maxThreads);  // at least one thread
    ~WorkerPool();                        // StopAll()
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues `job(std::stop_token)`, which returns nothing. The job counts as pending until it
    // has returned or was cancelled.
    template <typename Job>
    JobId Post(Job job) {
        return Queue([job = std::move(job)](std::stop_token stop) mutable -> std::function<void()> {
            job(std::move(stop));
            return {};
        });
    }

    // Queues `job(std::stop_token)` and later calls `done(result)` on the owner's thread,
    // unless the job was cancelled or StopAll came first. The job counts as pending until its
    // result has been handed back or dropped; `done` may start the next job.
    template <typename Job, typename Done>
    JobId Start(Job job, Done done) {
        return Queue([job = std::move(job), done = std::move(done)](
                         std::stop_token stop) mutable -> std::function<void()> {
            auto result = job(std::move(stop));
            return [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            };
        });
    }

    // Job `id` alone: a queued job is dropped, a running one is asked to stop; its result is
    // dropped either way. Does not wait for it. False when the job is no longer pending.
    bool Cancel(JobId id);
    // Asks every job to stop, drops queued jobs and results not yet handed back, and joins
    // every thread of the pool. The pool takes new jobs afterwards.
    void StopAll();
    // Waits until no job is queued or running (results may still be on their way).
    void WaitIdle();

    bool Pending(JobId id) const;
    bool Busy() const;        // some job is pending
    int ThreadCount() const;  // threads started and not yet joined

private:
    // Runs a job; the call it returns is what is handed back (none for a job without result).
    using Run = std::function<std::function<void()>(std::stop_token)>;
    struct Queued {
        JobId id;
        Run run;
    };
    struct Runner {
        std::jthread thread;
        bool ended = false;  // its loop is over; it only has to be joined
    };

    JobId Queue(Run run);
    void Loop(Runner* self);
    // On the owner's thread: calls `call` unless job `id` was cancelled or stopped meanwhile.
    void HandBack(JobId id, const std::function<void()>& call);
    // Takes the runners whose loop is over out of `runners_` (under `mutex_`).
    std::vector<std::unique_ptr<Runner>> TakeEnded();

    const int maxThreads_;
    QObject receiver_;  // results are queued to it; its destruction drops queued ones
    mutable std::mutex mutex_;
    std::condition_variable idle_;  // a job ended
    JobId nextId_ = 1;
    std::deque<Queued> queue_;
    std::map<JobId, std::stop_source> running_;
    std::set<JobId> pending_;  // queued, running, or with a result still to hand back
    int looping_ = 0;          // runners inside their loop
    std::vector<std::unique_ptr<Runner>> runners_;
};

class Worker {
public:
    Worker() = default;
    ~Worker() = default;  // the pool's StopAll
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `job(std::stop_token)` off this thread and later calls `done(result)` on this
    // thread, unless Stop comes first. `done` may start the next job. Returns false, starting
    // nothing, while an earlier job's result is still to come.
    template <typename Job, typename Done>
    bool Start(Job job, Done done) {
        if (pool_.Busy())
            return false;
        pool_.Start(std::move(job), std::move(done));
        return true;
    }

    // Asks the running job to stop and waits for its thread to end; a result not yet handed
    // back is dropped. Returns at once when no job runs.
    void Stop() { pool_.StopAll(); }
    // A job was started and its result has been neither handed back nor dropped.
    bool Busy() const { return pool_.Busy(); }

private:
    WorkerPool pool_{1};
};

// Calls `item(i)` for every i in [0, count) on up to `threads` threads, the calling thread
// being one of them, taking the items in increasing order. Every thread looks at `stop`
// before it takes an item and takes none once a stop is requested. Returns when every thread
// has ended; the others are joined. `item` must be safe to call from several threads at once.
void RunItems(std::size_t count, int threads, const std::stop_token& stop,
              const std::function<void(std::size_t)>& item);

}  // namespace camfleet

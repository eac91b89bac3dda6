#pragma once
// Wakes a thread that waits in poll() from another thread: the waiting thread adds readFd()
// to its poll set (POLLIN); Wake() makes it readable until Drain(). Wakes do not count: many
// Wake() calls before a Drain() are one wake.
//
// POSIX (a non-blocking, close-on-exec pipe). A Windows port replaces this file, for example
// with a connected loopback socket pair that WSAPoll can watch.
//
// Threads: Wake() on any thread; readFd() and Drain() on the waiting thread, or on any
// thread while no thread waits on it.

namespace camfleet {

class WakePipe {
public:
    WakePipe();  // on failure readFd() is -1 and Wake() does nothing
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    int readFd() const { return fds_[0]; }
    void Wake();
    void Drain();  // takes every pending wake back

private:
    int fds_[2] = {-1, -1};
};

}  // namespace camfleet

#pragma once
// The threads of this process as the kernel lists them (/proc/self/task), so a test can tell
// that the threads it saw working have ended.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

namespace camfleet::testing {

inline std::set<pid_t> ThreadIds() {
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
    return ids;
}

inline int ThreadCount() {
    return static_cast<int>(ThreadIds().size());
}

inline pid_t CurrentThreadId() {
    return gettid();
}

// A joined thread can stay listed for a moment while the kernel finishes ending it, so the
// checks that threads are gone wait for the list to catch up (10 s at most) and tell whether
// it did.
inline bool ThreadListReaches(const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

inline bool ThreadCountFallsTo(int count) {
    return ThreadListReaches([count] { return ThreadCount() <= count; });
}

inline bool ThreadsGone(const std::set<pid_t>& ids) {
    return ThreadListReaches([&ids] {
        const std::set<pid_t> listed = ThreadIds();
        for (pid_t id : ids)
            if (listed.count(id) != 0)
                return false;
        return true;
    });
}

}  // namespace camfleet::testing

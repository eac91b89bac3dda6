#pragma once
// The threads of this process as the kernel lists them (/proc/self/task), so a test can tell
// that the threads it saw working have ended.

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

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

}  // namespace camfleet::testing

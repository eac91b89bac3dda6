#include "platform/paths.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include <unistd.h>

namespace camfleet {
namespace {

std::mutex g_dirLock;    // guards g_override
std::string g_override;  // set by SetProgramDirectory

std::string DetectProgramDirectory() {
    std::error_code ec;
#if defined(__linux__)
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path())
        return exe.parent_path().string();
#endif
    auto cwd = std::filesystem::current_path(ec);
    return ec ? std::string(".") : cwd.string();
}

}  // namespace

std::string ProgramDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_dirLock);
        if (!g_override.empty())
            return g_override;
    }
    static const std::string detected = DetectProgramDirectory();
    return detected;
}

void SetProgramDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> lock(g_dirLock);
    g_override = dir;
}

bool IsDirectoryWritable(const std::string& dir) {
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace camfleet

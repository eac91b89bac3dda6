#include "platform/file_times.h"

#include <sys/stat.h>

#if defined(__linux__)
#include <errno.h>
#include <fcntl.h>
#endif
#if defined(_WIN32)
#include <filesystem>
#endif

namespace camfleet {
namespace {

// Plain stat: every POSIX system has it; only BSD-derived systems report a birth time in it.
// On Windows the C runtime's st_ctime is the creation time.
bool ReadWithStat(const std::string& path, FileTimes* times) {
#if defined(_WIN32)
    const std::filesystem::path wide(std::u8string(path.begin(), path.end()));
    struct _stat64 st;
    if (::_wstat64(wide.c_str(), &st) != 0)
        return false;
    times->birth = static_cast<int64_t>(st.st_ctime);
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__)
    times->birth = static_cast<int64_t>(st.st_birthtimespec.tv_sec);
#else
    times->birth.reset();
#endif
#endif
    times->modified = static_cast<int64_t>(st.st_mtime);
    return true;
}

}  // namespace

bool ReadFileTimes(const std::string& path, FileTimes* times) {
#if defined(__linux__) && defined(STATX_BTIME)
    struct statx stx;
    if (::statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_MTIME | STATX_BTIME, &stx) ==
        0) {
        if (stx.stx_mask & STATX_BTIME)
            times->birth = static_cast<int64_t>(stx.stx_btime.tv_sec);
        else
            times->birth.reset();
        times->modified = static_cast<int64_t>(stx.stx_mtime.tv_sec);
        return true;
    }
    // Kernels before 4.11 and some sandboxes refuse the call itself; stat still answers.
    if (errno != ENOSYS && errno != EPERM)
        return false;
#endif
    return ReadWithStat(path, times);
}

std::optional<int64_t> FileCreationSeconds(const std::string& path) {
    FileTimes times;
    if (!ReadFileTimes(path, &times))
        return std::nullopt;
    return CreationSeconds(times);
}

}  // namespace camfleet

// Bulk-data channel benchmark: the same file of N MiB (64 by default, from a temporary file)
// goes (a) through the SDK's bulk upload to a simulated camera on loopback, with the channel's
// encryption and authentication of every record, and (b) over a plain loopback TCP
// socket in frames of the same chunk size with no crypto and no digest, kept in memory at the
// far end as the camera keeps it. Prints the median rate of each over R runs and their ratio
// (target: the bulk channel reaches 0.8 of the plain socket).
//
//   bench_bulk [--mib N] [--runs R]      (other options are ignored)

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device/codes.h"
#include "device/sdk/bulk_transfer.h"
#include "device/sdk/control_frame.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/sdk_engine.h"
#include "device/sdk/socket_util.h"
#include "sim/control_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using camfleet::sdk::kBulkChunk;
using camfleet::sdk::kFrameHeaderSize;
constexpr double kTargetRatio = 0.8;

struct LoginWait {
    std::mutex mutex;
    std::condition_variable cv;
    bool loggedIn = false;
};

int OnStatus(int, int type, const void*, void* user) {
    auto* wait = static_cast<LoginWait*>(user);
    std::lock_guard lock(wait->mutex);
    wait->loggedIn = wait->loggedIn || type == camfleet::kEventLoggedIn;
    wait->cv.notify_all();
    return 0;
}

bool MakeFile(const std::string& path, std::size_t bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    std::mt19937_64 random(20261208);
    std::vector<uint64_t> block(kBulkChunk / 8);
    for (std::size_t written = 0; written < bytes;) {
        for (uint64_t& v : block)
            v = random();
        const std::size_t n = std::min(bytes - written, kBulkChunk);
        std::fwrite(block.data(), 1, n, f);
        written += n;
    }
    return std::fclose(f) == 0;
}

// Seconds of one bulk upload of `path`, or a negative value when it failed.
double BulkRun(int handle, const std::string& path) {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    camfleet::sdk::BulkResult result;
    camfleet::sdk::BulkCallbacks callbacks;
    callbacks.finished = [&](const camfleet::sdk::BulkResult& r) {
        std::lock_guard lock(mutex);
        result = r;
        done = true;
        cv.notify_all();
    };
    uint64_t id = 0;
    const Clock::time_point start = Clock::now();
    if (camfleet::sdk::RunningEngine()->StartUpload(
            handle, {camfleet::sdk::BulkPurpose::kFile, "bench.bin", path}, callbacks, &id) !=
        QV_OK)
        return -1;
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return done; });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.status != camfleet::sdk::BulkStatus::kOk)
        std::printf(" (%s)", camfleet::sdk::BulkStatusName(result.status));
    return result.status == camfleet::sdk::BulkStatus::kOk ? seconds : -1;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Seconds of the same file read chunk by chunk and sent as plain frames to a loopback
// receiver that keeps the payload in memory and answers one byte at the end.
double PlainRun(const std::string& path, std::size_t bytes) {
    std::string error;
    const int listener = camfleet::sdk::Listen("127.0.0.1", 0, &error);
    const uint16_t port = camfleet::sdk::LocalPort(listener);
    std::thread receiver([&] {
        pollfd p{listener, POLLIN, 0};
        poll(&p, 1, 5000);
        const int fd = camfleet::sdk::AcceptOne(listener);
        std::string kept;
        kept.reserve(bytes);
        std::vector<char> buffer(kBulkChunk + kFrameHeaderSize);
        std::size_t frameLeft = 0, headerLeft = kFrameHeaderSize, payload = 0;
        while (payload < bytes) {
            pollfd r{fd, POLLIN, 0};
            poll(&r, 1, 1000);
            const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
            if (n == 0)
                break;
            for (ssize_t at = 0; at < n;) {
                if (headerLeft > 0) {  // headers are skipped; their lengths are known
                    const std::size_t take = std::min<std::size_t>(headerLeft, n - at);
                    headerLeft -= take;
                    at += static_cast<ssize_t>(take);
                    if (headerLeft == 0)
                        frameLeft = std::min(kBulkChunk, bytes - payload);
                    continue;
                }
                const std::size_t take = std::min<std::size_t>(frameLeft, n - at);
                kept.append(buffer.data() + at, take);
                payload += take;
                frameLeft -= take;
                at += static_cast<ssize_t>(take);
                if (frameLeft == 0)
                    headerLeft = kFrameHeaderSize;
            }
        }
        SendAll(fd, "!", 1);
        camfleet::sdk::CloseSocket(fd);
    });
    const Clock::time_point start = Clock::now();
    const int fd = camfleet::sdk::StartConnect("127.0.0.1", port);
    pollfd w{fd, POLLOUT, 0};
    poll(&w, 1, 5000);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string frame;
    frame.reserve(kFrameHeaderSize + kBulkChunk);
    bool ok = f != nullptr;
    for (uint32_t chunk = 0; ok; ++chunk) {
        frame.clear();
        camfleet::sdk::AppendFrameHeader(&frame, camfleet::sdk::FrameKind::kData, 0, 1, chunk, 0,
                                         kBulkChunk);
        frame.resize(kFrameHeaderSize + kBulkChunk);
        const std::size_t n = std::fread(frame.data() + kFrameHeaderSize, 1, kBulkChunk, f);
        if (n == 0)
            break;
        ok = SendAll(fd, frame.data(), kFrameHeaderSize + n);
    }
    char end = 0;
    pollfd r{fd, POLLIN, 0};
    poll(&r, 1, 10000);
    ok = ok && recv(fd, &end, 1, 0) == 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (f != nullptr)
        std::fclose(f);
    receiver.join();
    camfleet::sdk::CloseSocket(fd);
    camfleet::sdk::CloseSocket(listener);
    return ok ? seconds : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int mib = 64;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0)
            mib = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::size_t bytes = static_cast<std::size_t>(mib) * 1048576;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_bulk." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("CAMFLEET_DOCUMENTS_DIR", dir.c_str(), 1);  // the camera's pin stays here
    const std::string path = (dir / "file.bin").string();
    if (!MakeFile(path, bytes)) {
        std::fprintf(stderr, "bench_bulk: cannot write %s\n", path.c_str());
        return 2;
    }

    camfleet::sim::ControlServer server;
    camfleet::sim::ControlLimits limits;
    limits.maxBulkSize = std::max<uint64_t>(limits.maxBulkSize, bytes);
    server.SetLimits(limits);
    camfleet::sim::ControlIdentity identity;
    identity.serialNumber = "BENCHBULK";
    identity.ipAddress = "127.0.0.1";
    identity.sdkPort = 0;
    std::string error;
    const int camera = server.AddCamera(identity, {}, &error);
    if (camera < 0) {
        std::fprintf(stderr, "bench_bulk: %s\n", error.c_str());
        return 2;
    }
    server.Start();
    LoginWait login;
    QV_NETSDK_IPC_Init();
    QV_NETSDK_IPC_SetStatusEventCallBack(&OnStatus, &login);
    const int handle = QV_NETSDK_IPC_Login("127.0.0.1", server.Port(camera), "admin", "730418", 0);
    {
        std::unique_lock lock(login.mutex);
        if (!login.cv.wait_for(lock, std::chrono::seconds(10), [&] { return login.loggedIn; })) {
            std::fprintf(stderr, "bench_bulk: no login\n");
            return 2;
        }
    }

    std::vector<double> bulk, plain;
    std::printf("%d MiB, chunks of %zu bytes, %d runs\n  bulk channel:", mib, kBulkChunk, runs);
    for (int r = 0; r < runs; ++r) {
        bulk.push_back(BulkRun(handle, path));
        std::printf(" %.3f s", bulk.back());
        std::fflush(stdout);
    }
    std::printf("\n  plain socket:");
    for (int r = 0; r < runs; ++r) {
        plain.push_back(PlainRun(path, bytes));
        std::printf(" %.3f s", plain.back());
        std::fflush(stdout);
    }
    QV_NETSDK_IPC_Cleanup();
    server.Stop();
    std::filesystem::remove_all(dir);

    const double bulkSeconds = Median(bulk), plainSeconds = Median(plain);
    const bool ran = *std::min_element(bulk.begin(), bulk.end()) > 0 &&
                     *std::min_element(plain.begin(), plain.end()) > 0;
    const double bulkRate = mib / bulkSeconds, plainRate = mib / plainSeconds;
    const double ratio = bulkRate / plainRate;
    const bool met = ran && ratio >= kTargetRatio;
    std::printf("\n  median bulk %.1f MiB/s, plain %.1f MiB/s, ratio %.2f, target >= %.1f: %s\n",
                bulkRate, plainRate, ratio, kTargetRatio, met ? "met" : "MISSED");
    return met ? 0 : 1;
}

// SDK login benchmark: 1,000 simulated cameras, each on its own loopback address
// (127.0.10.1 upward) and SDK port 8091; the time from the first QV_NETSDK_IPC_Login until
// every camera has reported status event 4 (median of 5 runs; target 5 s).
//
// Built with CAMFLEET_BENCH_SWITCHES (scripts/bench.sh does), every run is followed by the
// same storm with the channel's cryptography switched off (key exchange, signatures and
// records in clear, same messages), and the medians are printed as a ratio: what the secure
// channel costs a login storm.
//
//   bench_sdk_login [--cameras N] [--runs R]      (other options are ignored)

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/sdk/secure_channel.h"
#include "sim/control_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTargetSeconds = 5.0;
constexpr uint16_t kSdkPort = 8091;

struct Counter {
    std::mutex mutex;
    std::condition_variable cv;
    int loggedIn = 0;
    int failed = 0;
};

int OnStatus(int, int type, const void*, void* user) {
    auto* counter = static_cast<Counter*>(user);
    std::lock_guard lock(counter->mutex);
    if (type == camfleet::kEventLoggedIn)
        ++counter->loggedIn;
    else if (type == camfleet::kEventConnectFailed || type == camfleet::kEventAuthFailed ||
             type == camfleet::kEventLoginFailed)
        ++counter->failed;
    counter->cv.notify_all();
    return 0;
}

std::string Address(int i) {
    const int host = 10 * 256 + 1 + i;  // 127.0.10.1, ... 127.0.10.255, 127.0.11.0, ...
    return "127.0." + std::to_string(host / 256) + "." + std::to_string(host % 256);
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Seconds from the first login to the last event 4, or a negative value after 30 s.
double OneRun(int cameras) {
    Counter counter;
    QV_NETSDK_IPC_Init();
    QV_NETSDK_IPC_SetStatusEventCallBack(&OnStatus, &counter);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < cameras; ++i)
        QV_NETSDK_IPC_Login(Address(i).c_str(), kSdkPort, "admin", "730418", 0);
    std::unique_lock lock(counter.mutex);
    const bool done = counter.cv.wait_for(lock, std::chrono::seconds(30),
                                          [&] { return counter.loggedIn >= cameras; });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (counter.failed > 0)
        std::printf(" (%d failed)", counter.failed);
    lock.unlock();
    QV_NETSDK_IPC_Cleanup();
    return done ? seconds : -1.0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Pins of the benchmark's cameras go to a folder of its own, not the user's documents.
void UseScratchDocuments() {
    char folder[] = "/tmp/bench_sdk_login.XXXXXX";
    if (mkdtemp(folder) != nullptr)
        setenv("CAMFLEET_DOCUMENTS_DIR", folder, 1);
}

}  // namespace

int main(int argc, char** argv) {
    int cameras = 1000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cameras") == 0)
            cameras = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    }
    RaiseDescriptorLimit();
    UseScratchDocuments();
    camfleet::sim::ControlServer server;
    for (int i = 0; i < cameras; ++i) {
        camfleet::sim::ControlIdentity identity;
        identity.serialNumber = "BENCH" + std::to_string(i);
        identity.ipAddress = Address(i);
        identity.sdkPort = kSdkPort;
        std::string error;
        if (server.AddCamera(identity, {}, &error) < 0) {
            std::fprintf(stderr, "bench_sdk_login: %s\n", error.c_str());
            return 2;
        }
    }
    server.Start();
    std::printf("SDK login of %d simulated cameras:", cameras);
    std::vector<double> times;
    std::vector<double> plainTimes;
    for (int r = 0; r < runs; ++r) {
        times.push_back(OneRun(cameras));
        std::printf(" %.3f s", times.back());
        std::fflush(stdout);
#ifdef CAMFLEET_BENCH_SWITCHES
        camfleet::sdk::SetChannelCryptoForBenchmark(false);
        plainTimes.push_back(OneRun(cameras));
        camfleet::sdk::SetChannelCryptoForBenchmark(true);
#endif
    }
    const double median = Median(times);
    const bool met = *std::min_element(times.begin(), times.end()) >= 0 && median <= kTargetSeconds;
    std::printf("\n  median %.3f s, target <= %.1f s: %s\n", median, kTargetSeconds,
                met ? "met" : "MISSED");
    if (!plainTimes.empty()) {
        const double plain = Median(plainTimes);
        std::printf(
            "  without the channel's cryptography, same run: median %.3f s; with / without "
            "= %.2f\n",
            plain, plain > 0 ? median / plain : 0.0);
    } else {
        std::printf("  (built without CAMFLEET_BENCH_SWITCHES: no figure without the channel)\n");
    }
    return met ? 0 : 1;
}

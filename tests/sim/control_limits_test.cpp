// A camera under abuse: wrong logins slow down and lock out, handshakes have a deadline,
// unauthenticated connections are capped, a peer that does not read is dropped, and running
// out of descriptors neither spins nor stops the camera serving.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/sdk/control_frame.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/secure_channel.h"
#include "device/sdk/socket_util.h"
#include "sim/control_limits.h"
#include "sim/control_server.h"
#include "tests/sim/raw_client.h"

namespace camfleet::sim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr const char* kPassword = kTestPassword;

// ---- The throttle on its own, with made-up time ---------------------------------------------

TEST(LoginThrottle, DelaysDoubleThenLockOutUntilTheWindowEnds) {
    ControlLimits limits;
    limits.loginDelayFirst = milliseconds(100);
    limits.loginDelayMax = milliseconds(400);
    limits.lockoutFailures = 5;
    limits.lockoutWindow = milliseconds(10000);
    LoginThrottle throttle(limits);
    Clock::time_point t{};
    t += std::chrono::hours(1);

    const milliseconds expected[] = {milliseconds(100), milliseconds(200), milliseconds(400),
                                     milliseconds(400), milliseconds(400)};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(throttle.MayCheck("10.0.0.9", t)) << "failure " << i + 1;
        EXPECT_EQ(throttle.Refused("10.0.0.9", true, t), expected[i]) << "failure " << i + 1;
        EXPECT_FALSE(throttle.MayCheck("10.0.0.9", t)) << "inside the delay of failure " << i + 1;
        t += expected[i];
    }
    // Locked out: nothing is checked, and unchecked refusals do not stretch the lockout.
    EXPECT_TRUE(throttle.LockedOut("10.0.0.9", t));
    EXPECT_FALSE(throttle.MayCheck("10.0.0.9", t + milliseconds(9000)));
    throttle.Refused("10.0.0.9", false, t + milliseconds(9000));
    EXPECT_TRUE(throttle.MayCheck("10.0.0.10", t)) << "another address is not affected";

    const Clock::time_point after = t + limits.lockoutWindow;
    EXPECT_TRUE(throttle.MayCheck("10.0.0.9", after));
    EXPECT_EQ(throttle.Refused("10.0.0.9", true, after), milliseconds(100))
        << "after the window the delays start afresh";
}

TEST(LoginThrottle, TheRightPasswordClearsTheRecordAndOldFailuresAreForgotten) {
    ControlLimits limits;
    limits.loginDelayFirst = milliseconds(100);
    limits.lockoutWindow = milliseconds(1000);
    LoginThrottle throttle(limits);
    Clock::time_point t{};
    t += std::chrono::hours(1);
    throttle.Refused("a", true, t);
    throttle.Refused("a", true, t + milliseconds(100));
    throttle.Succeeded("a");
    EXPECT_EQ(throttle.Refused("a", true, t + milliseconds(300)), milliseconds(100));

    throttle.Refused("b", true, t);
    throttle.Refused("b", true, t + milliseconds(100));
    EXPECT_TRUE(throttle.MayCheck("b", t + milliseconds(1200)));
    EXPECT_EQ(throttle.Refused("b", true, t + milliseconds(1200)), milliseconds(100));
}

// ---- A camera on loopback and a hand-made client ---------------------------------------------

using ControlLimitsTest = LoopbackCameraTest;

TEST_F(ControlLimitsTest, WrongLoginsAreAnsweredLaterEachTimeAndTheWindowEndsTheLockout) {
    ControlLimits limits;
    limits.loginDelayFirst = milliseconds(60);
    limits.loginDelayMax = milliseconds(240);
    limits.lockoutFailures = 4;
    limits.lockoutWindow = milliseconds(600);
    server_.SetLimits(limits);
    const int id = AddCamera();
    const int other = AddCamera();
    server_.Start();

    const milliseconds delays[] = {milliseconds(60), milliseconds(120), milliseconds(240),
                                   milliseconds(240)};
    Clock::time_point lastFailure;
    for (const milliseconds delay : delays) {
        Client client(server_.Port(id));
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(client.Login("wrong"), sdk::kStatusRefused);
        lastFailure = Clock::now();
        EXPECT_GE(lastFailure - start, delay);
    }
    {
        Client locked(server_.Port(id));
        EXPECT_EQ(locked.Login(kPassword), sdk::kStatusRefused) << "the right password, locked";
    }
    {
        Client elsewhere(server_.Port(other));
        EXPECT_EQ(elsewhere.Login(kPassword), sdk::kStatusOk) << "another camera is not locked";
    }
    std::this_thread::sleep_until(lastFailure + limits.lockoutWindow + milliseconds(20));
    Client again(server_.Port(id));
    EXPECT_EQ(again.Login(kPassword), sdk::kStatusOk) << "after the lockout window";
}

TEST_F(ControlLimitsTest, AHandshakeThatTricklesBytesIsClosedAtItsDeadline) {
    ControlLimits limits;
    limits.loginDeadline = milliseconds(300);
    server_.SetLimits(limits);
    const int id = AddCamera();
    server_.Start();

    Client client(server_.Port(id));
    sdk::Frame hello;
    ASSERT_TRUE(client.Next(&hello));
    sdk::Frame login;
    login.code = sdk::kCodeLogin;
    login.sequence = 1;
    login.payload = std::string(200, 'x');
    const std::string bytes = sdk::EncodeFrame(login);
    const Clock::time_point start = Clock::now();
    bool closed = false;
    for (std::size_t i = 0; i < bytes.size() && Clock::now() - start < std::chrono::seconds(4);
         ++i) {
        if (!client.Send(bytes.substr(i, 1))) {
            closed = true;
            break;
        }
        pollfd p{client.fd(), POLLIN, 0};
        if (poll(&p, 1, 50) == 1) {
            closed = client.ClosedByCamera();
            break;
        }
    }
    EXPECT_TRUE(closed);
    EXPECT_GE(Clock::now() - start, milliseconds(250));
    EXPECT_EQ(server_.UnauthenticatedCount(id), 0);
}

TEST_F(ControlLimitsTest, ConnectionsThatNeverLogInAreCappedOldestFirst) {
    ControlLimits limits;
    limits.maxUnauthenticatedPerCamera = 4;
    server_.SetLimits(limits);
    const int id = AddCamera();
    server_.Start();

    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 10; ++i) {
        idle.push_back(std::make_unique<Client>(server_.Port(id)));
        sdk::Frame hello;
        ASSERT_TRUE(idle.back()->Next(&hello)) << "connection " << i;
    }
    EXPECT_LE(server_.UnauthenticatedCount(id), 4);
    EXPECT_TRUE(idle.front()->ClosedByCamera()) << "the oldest made way";
    Client client(server_.Port(id));
    EXPECT_EQ(client.Login(kPassword), sdk::kStatusOk);
    EXPECT_TRUE(Eventually([&] { return server_.SessionCount(id) == 1; }));
}

TEST_F(ControlLimitsTest, APeerThatDoesNotReadIsClosedBeforeItsQueuePassesTheCap) {
    ControlLimits limits;
    limits.maxQueuedBytes = 64 * 1024;
    server_.SetLimits(limits);
    const int id = AddCamera();
    server_.Start();

    Client client(server_.Port(id), 4096);
    ASSERT_EQ(client.Login(kPassword), sdk::kStatusOk);
    // Device-information reads, sent and never read.
    sdk::Frame request;
    request.code = 1020;
    request.param = sdk::RequestParam(sdk::Access::kCommand);
    request.payload = "RESPONSE_PARAM";
    std::string burst;
    for (uint32_t i = 1; i <= 64; ++i) {
        request.sequence = i;
        burst += sdk::EncodeFrame(request);
    }
    bool sendFailed = false;
    for (int round = 0; round < 2000 && !sendFailed && server_.SessionCount(id) == 1; ++round)
        sendFailed = !client.Send(burst);
    EXPECT_TRUE(Eventually([&] { return server_.SessionCount(id) == 0; }));
    EXPECT_LE(server_.LargestQueue(), limits.maxQueuedBytes + sdk::kMaxPayload + 24);
    EXPECT_GT(server_.LargestQueue(), limits.maxQueuedBytes) << "it was the cap that closed it";
}

// ---- Descriptor exhaustion, in a child process with a low descriptor limit -------------------

double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)  // state .. cmajflt
        fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TEST(ControlLimitsExhaustion, OutOfDescriptorsTheCameraRestsShedsAndKeepsServingLogins) {
    int portPipe[2], stopPipe[2];
    ASSERT_EQ(pipe(portPipe), 0);
    ASSERT_EQ(pipe(stopPipe), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(portPipe[0]);
        close(stopPipe[1]);
        int open = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator("/proc/self/fd"))
            ++open;
        // Room for the server's own descriptors and a handful of connections.
        const rlimit low{static_cast<rlim_t>(open + 12), static_cast<rlim_t>(open + 12)};
        setrlimit(RLIMIT_NOFILE, &low);
        ControlLimits limits;
        limits.maxUnauthenticatedPerCamera = 1000;  // only the descriptors run out
        limits.maxUnauthenticatedTotal = 1000;
        limits.acceptPause = milliseconds(100);
        ControlServer server;
        ControlIdentity identity;
        identity.serialNumber = "SN1";
        identity.ipAddress = "127.0.0.1";
        identity.password = kPassword;
        std::string error;
        server.SetLimits(limits);
        if (server.AddCamera(identity, {}, &error) != 0)
            _exit(3);
        server.Start();
        const uint16_t port = server.Port(0);
        if (write(portPipe[1], &port, sizeof port) != sizeof port)
            _exit(4);
        char byte;
        while (read(stopPipe[0], &byte, 1) > 0) {
        }
        const int pauses = server.AcceptPauses();
        server.Stop();
        _exit(pauses > 0 ? 0 : 5);
    }
    close(portPipe[1]);
    close(stopPipe[0]);
    uint16_t port = 0;
    ASSERT_EQ(read(portPipe[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
    close(portPipe[0]);

    std::vector<std::unique_ptr<Client>> flood;
    for (int i = 0; i < 60; ++i)
        flood.push_back(std::make_unique<Client>(port));
    std::this_thread::sleep_for(milliseconds(300));
    const double cpuBefore = CpuSeconds(child);
    const Clock::time_point wallBefore = Clock::now();
    std::this_thread::sleep_for(milliseconds(700));
    const double cpu = CpuSeconds(child) - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    EXPECT_LT(cpu, 0.5 * wall) << "the camera spins while the flood waits";

    int status = -1;
    for (int attempt = 0; attempt < 5 && status != sdk::kStatusOk; ++attempt) {
        Client client(port);
        status = client.Login(kPassword);
    }
    EXPECT_EQ(status, sdk::kStatusOk) << "a login is served once the flood was shed";

    flood.clear();
    close(stopPipe[1]);
    int exit = 0;
    ASSERT_EQ(waitpid(child, &exit, 0), child);
    EXPECT_TRUE(WIFEXITED(exit));
    EXPECT_EQ(WEXITSTATUS(exit), 0) << "3/4: set-up failed, 5: accept never ran out";
}

}  // namespace
}  // namespace camfleet::sim

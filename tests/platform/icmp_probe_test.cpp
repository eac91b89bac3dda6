// The echo request's layout and checksum, the dotted-address parser, and the real probe on
// the test namespace's loopback (answers), towards an address without a route (error) and
// from a process whose descriptors run past 1023.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/icmp_probe.h"
#include "platform/network_params.h"

namespace camfleet {
namespace {

std::mutex logMutex;
std::vector<std::string> logged;

int RecordLog(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard lock(logMutex);
    logged.push_back(text);
    return 0;
}

TEST(EchoRequest, LayoutAndChecksum) {
    unsigned char packet[12];
    BuildEchoRequest(2, 0x01020304, packet);
    EXPECT_EQ(packet[0], 8);
    EXPECT_EQ(packet[1], 0);
    EXPECT_EQ(packet[4] << 8 | packet[5], 2) << "identifier = attempt";
    EXPECT_EQ(packet[6] << 8 | packet[7], 2) << "sequence = attempt";
    EXPECT_EQ(packet[8], 1);
    EXPECT_EQ(packet[11], 4);
    EXPECT_EQ(InternetChecksum(packet, 12), 0) << "a correct checksum sums to zero";
    const unsigned char odd[3] = {0xFF, 0xFF, 0x01};
    EXPECT_EQ(InternetChecksum(odd, 3), static_cast<uint16_t>(~0x0100 & 0xFFFF));
}

TEST(DottedAddress, ParseAndPrint) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"192.168.1.250", true, 0xC0A801FA},
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFF},
        {"256.0.0.1", false, 0},
        {"1.2.3", false, 0},
        {"1.2.3.4.5", false, 0},
        {"1..3.4", false, 0},
        {" 1.2.3.4", false, 0},
        {"1.2.3.4 ", false, 0},
        {"0001.2.3.4", false, 0},
        {"", false, 0},
        {"-1.2.3.4", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t value = 7;
        EXPECT_EQ(ParseDottedAddress(c.text, &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
            EXPECT_EQ(DottedAddress(value), c.text);
        }
    }
}

TEST(IcmpProbe, LoopbackAnswersAndNoRouteIsAnError) {
    IcmpProbe probe(&RecordLog);
    const int loopback = probe.Probe(0x7F000001);
    if (loopback == kProbeError && geteuid() != 0)
        GTEST_SKIP() << "no ICMP socket for this user (net.ipv4.ping_group_range)";
    EXPECT_EQ(loopback, kProbeInUse);
    {
        std::lock_guard lock(logMutex);
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged.back(), "PingTest got replay from ip: 127.0.0.1\n");
    }
    // The test namespace has only the loopback: nothing routes to 10.x.
    EXPECT_EQ(probe.Probe(0x0A090909), kProbeError);
    std::lock_guard lock(logMutex);
    EXPECT_EQ(logged.back(), "PingTest sendto failed.\n");
}

// Holds every descriptor below 1024 (raising the open-file limit where needed), so the next
// socket gets a descriptor a select() set cannot hold; gives it all back on destruction.
class LowDescriptorsTaken {
public:
    LowDescriptorsTaken() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit raised = saved_;
        if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < kWanted)
            raised.rlim_max = kWanted;  // only root may raise the hard limit
        raised.rlim_cur =
            raised.rlim_max == RLIM_INFINITY ? kWanted : std::min<rlim_t>(raised.rlim_max, kWanted);
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
            raised.rlim_max = saved_.rlim_max;
            raised.rlim_cur = std::min<rlim_t>(saved_.rlim_max, kWanted);
            setrlimit(RLIMIT_NOFILE, &raised);
        }
        for (;;) {
            const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                break;
            held_.push_back(fd);
            if (fd >= kSelectLimit - 1)
                break;
        }
    }
    ~LowDescriptorsTaken() {
        for (int fd : held_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    // The descriptor the next socket gets is above 1023.
    bool NextIsHigh() const { return !held_.empty() && held_.back() >= kSelectLimit - 1; }

private:
    static constexpr rlim_t kWanted = 4096;
    static constexpr int kSelectLimit = 1024;  // FD_SETSIZE on Linux
    rlimit saved_{};
    std::vector<int> held_;
};

TEST(IcmpProbe, ProbesFromADescriptorAbove1023) {
    IcmpProbe probe;
    if (probe.Probe(0x7F000001) == kProbeError && geteuid() != 0)
        GTEST_SKIP() << "no ICMP socket for this user (net.ipv4.ping_group_range)";
    LowDescriptorsTaken taken;
    if (!taken.NextIsHigh())
        GTEST_SKIP() << "the open-file limit stays at 1024 or below";
    EXPECT_EQ(probe.Probe(0x7F000001), kProbeInUse);
}

}  // namespace
}  // namespace camfleet

// The echo request's layout and checksum, the dotted-address parser, and the real probe on
// the test namespace's loopback (answers) and towards an address without a route (error).

#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
}  // namespace camfleet

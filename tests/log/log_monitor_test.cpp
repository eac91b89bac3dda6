#include "log_fixture.h"
#include "udp_receiver.h"

#include <regex>

// Each test binds its own loopback address: the tests of this program may run at the same
// time in separate processes.

namespace camfleet {

using LogMonitor = LogTest;

static bool IsBuildLine(const std::string& datagram) {
    static const std::regex build(
        R"(VuVirEvodu: [-0-9]{10} [:0-9]{8}: [0-9a-f]{8}: Build [^\n]+\n)");
    return std::regex_match(datagram, build);
}

TEST_F(LogMonitor, SendsEveryLineTo127001WhenNoMonitorIsSetAndNothingWhenSwitchedOff) {
    UdpReceiver monitor("127.0.0.1", kLogMonitorPort);
    ASSERT_TRUE(monitor.ok());

    InitLog();  // no configuration file: nothing may be sent
    EXPECT_EQ(LogMessage("silent\n"), 0);
    WriteConfig("file=0;network=0;");
    InitLog();
    EXPECT_EQ(LogMessage("still silent\n"), 0);

    WriteConfig("network=1;");
    InitLog();
    EXPECT_EQ(LogMessage("set IPC %s failed. error = %ld\n", "A1", -3L), 0);
    EXPECT_EQ(LogMessage("no line end"), 0);

    // Datagrams from one socket to another on loopback keep their order, so a datagram
    // sent while the sink was off would come first.
    const auto build = monitor.Receive();
    ASSERT_TRUE(build.has_value());
    EXPECT_TRUE(IsBuildLine(*build)) << *build;
    EXPECT_EQ(monitor.Receive(),
              LinePrefix(now_, LogThreadId()) + "set IPC A1 failed. error = -3\n");
    EXPECT_EQ(monitor.Receive(), LinePrefix(now_, LogThreadId()) + "no line end");
    EXPECT_FALSE(monitor.Pending());
    EXPECT_TRUE(FileNames(programDir_).empty());  // the file sink stays off
}

TEST_F(LogMonitor, SendsToTheConfiguredMonitorAddress) {
    UdpReceiver monitor("127.0.0.2", kLogMonitorPort);
    ASSERT_TRUE(monitor.ok());
    WriteConfig("file=1;network=1;monitor_ip=127.0.0.2;");
    InitLog();
    const std::string longest(kLogMessageMax, 'x');
    EXPECT_EQ(LogMessage("%s+", longest.c_str()), 0);

    const auto build = monitor.Receive();
    ASSERT_TRUE(build.has_value());
    EXPECT_TRUE(IsBuildLine(*build)) << *build;
    EXPECT_EQ(monitor.Receive(), LinePrefix(now_, LogThreadId()) + longest);
    // Both sinks carry the same lines.
    EXPECT_EQ(SplitLines(ReadWholeFile(programDir_ / LogName(now_, "090503", 0))).size(), 2u);
}

TEST_F(LogMonitor, UnusableMonitorAddressFailsEveryLineButKeepsTheFile) {
    const char* const addresses[] = {"not-an-address", "127.0.0.256", " 127.0.0.2", "127.1"};
    for (const char* address : addresses) {
        SCOPED_TRACE(address);
        WriteConfig(std::string("file=1;network=1;monitor_ip=") + address + ";");
        InitLog();
        EXPECT_EQ(LogMessage("line for the file\n"), -1);
        EXPECT_EQ(LastLine(programDir_ / LogName(now_, "090503", 0)),
                  LinePrefix(now_, LogThreadId()) + "line for the file");
    }
}

}  // namespace camfleet

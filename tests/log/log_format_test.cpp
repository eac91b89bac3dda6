#include "log_fixture.h"

#include <regex>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace camfleet {

class LogFormat : public LogTest {
protected:
    // Bytes the last call appended to the one log file.
    std::string Appended() {
        const std::string all = ReadWholeFile(programDir_ / LogName(now_, "090503", 0));
        std::string added = all.substr(seen_);
        seen_ = all.size();
        return added;
    }
    std::size_t seen_ = 0;
};

TEST_F(LogFormat, LineIsTagPrefixAndMessageByteForByte) {
    WriteConfig("file=1;");
    InitLog();
    const std::string prefix = LinePrefix(now_, LogThreadId());
    const std::string buildLine = Appended();
    EXPECT_TRUE(std::regex_match(
        buildLine, std::regex(prefix + R"(Build [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [:0-9]{8}\n)")))
        << buildLine;
    EXPECT_EQ(prefix.substr(0, 33), "VuVirEvodu: 2026-03-07 09:05:03: ");
    EXPECT_TRUE(std::regex_match(prefix.substr(33), std::regex("[0-9a-f]{8}: "))) << prefix;

    struct Case {
        const char* name;
        std::string message;  // passed through "%s"
        std::string expected;
    };
    const std::string longest(kLogMessageMax, 'a');
    const Case cases[] = {
        {"message with its own line end", "set IPC 1234 failed. error = -5\n",
         prefix + "set IPC 1234 failed. error = -5\n"},
        {"no line end is added", "part one", prefix + "part one"},
        {"empty message", "", prefix},
        {"percent signs of an argument stay", "100% done\n", prefix + "100% done\n"},
        {"longest message is kept whole", longest, prefix + longest},
        {"longer message is cut to the longest", longest + "bcdef\n", prefix + longest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LogMessage("%s", c.message.c_str()), 0);
        EXPECT_EQ(Appended(), c.expected);
    }

    EXPECT_EQ(LogMessage("RebootIPC %s failed. error = %ld\n", "IPC0042", -7L), 0);
    EXPECT_EQ(Appended(), prefix + "RebootIPC IPC0042 failed. error = -7\n");
}

TEST_F(LogFormat, CarriesTheIdOfTheCallingThread) {
    WriteConfig("file=1;");
    InitLog();
    Appended();
    EXPECT_EQ(LogThreadId(), static_cast<std::uint32_t>(::syscall(SYS_gettid)));

    std::uint32_t otherId = 0;
    std::thread other([&] {
        otherId = LogThreadId();
        LogMessage("from another thread\n");
    });
    other.join();
    EXPECT_NE(otherId, LogThreadId());
    EXPECT_EQ(Appended(), LinePrefix(now_, otherId) + "from another thread\n");
}

}  // namespace camfleet

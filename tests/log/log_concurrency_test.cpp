#include "log_fixture.h"
#include "udp_receiver.h"

#include <atomic>
#include <map>
#include <regex>
#include <set>
#include <thread>

namespace camfleet {

using LogConcurrency = LogTest;

namespace {

// Runs `threads` threads that each log `lines` lines "worker <t> line <i> <padding>\n";
// returns the number of calls that reported a failure.
int LogFromThreads(int threads, int lines) {
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    const std::string padding(200, '.');
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < lines; ++i) {
                if (LogMessage("worker %d line %d %s\n", t, i, padding.c_str()) != 0)
                    ++failures;
            }
        });
    }
    for (auto& w : workers)
        w.join();
    return failures;
}

// Checks that every line is whole and that each (worker, line) appears exactly once.
void ExpectWholeLinesNoneLost(const std::vector<std::string>& lines, int threads, int perThread) {
    const std::regex shape(
        R"(VuVirEvodu: 2026-03-07 09:05:03: [0-9a-f]{8}: worker ([0-9]+) line ([0-9]+) \.{200}\n?)");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : lines) {
        std::smatch m;
        if (line.find("Build ") != std::string::npos)
            continue;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_TRUE(seen.insert({std::stoi(m[1]), std::stoi(m[2])}).second) << line;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * perThread));
}

}  // namespace

TEST_F(LogConcurrency, FilesHoldWholeLinesFromEveryThreadNoneLostAcrossParts) {
    WriteConfig("file=1;");
    InitLog();
    constexpr int kThreads = 8;
    constexpr int kLines = 6000;  // with the build line, parts 0, 1 and 2
    EXPECT_EQ(LogFromThreads(kThreads, kLines), 0);

    std::vector<std::string> all;
    std::vector<std::size_t> partSizes;
    for (int part = 0; part < 3; ++part) {
        const auto lines = SplitLines(ReadWholeFile(programDir_ / LogName(now_, "090503", part)));
        partSizes.push_back(lines.size());
        all.insert(all.end(), lines.begin(), lines.end());
    }
    EXPECT_EQ(FileNames(programDir_).size(), 3u);
    EXPECT_EQ(partSizes, (std::vector<std::size_t>{20000, 20001, 1 + kThreads * kLines - 40001}));
    ExpectWholeLinesNoneLost(all, kThreads, kLines);
}

TEST_F(LogConcurrency, MonitorReceivesOneWholeLinePerDatagramFromEveryThread) {
    UdpReceiver monitor("127.0.0.3", kLogMonitorPort);
    ASSERT_TRUE(monitor.ok());
    WriteConfig("network=1;monitor_ip=127.0.0.3;");
    InitLog();
    constexpr int kThreads = 4;
    constexpr int kLines = 50;

    // Drained while the workers send, so that the socket buffer never fills.
    std::vector<std::string> datagrams;
    std::thread reader([&] {
        for (int n = 0; n < 1 + kThreads * kLines; ++n) {
            auto d = monitor.Receive();
            if (!d)
                break;
            datagrams.push_back(*d);
        }
    });
    EXPECT_EQ(LogFromThreads(kThreads, kLines), 0);
    reader.join();
    EXPECT_EQ(datagrams.size(), 1u + kThreads * kLines);
    ExpectWholeLinesNoneLost(datagrams, kThreads, kLines);
}

}  // namespace camfleet

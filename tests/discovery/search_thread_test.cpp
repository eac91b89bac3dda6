// The search thread against a loopback lab of simulated cameras.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "device/xml_messages.h"
#include "discovery/device_searcher.h"
#include "discovery/lab_helpers.h"
#include "discovery/profile_match.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using sim::Hostility;

class SearchThreadTest : public testing::Test {
protected:
    void StartLab(int cameras) {
        sim::LabOptions options;
        options.cameras = cameras;
        options.port = port;
        options.rebootSilence = std::chrono::milliseconds(0);
        std::string error;
        ASSERT_EQ(lab.Start(options, &error), 0) << error;
    }
    void SetUp() override { table.SetSender(&searcher); }

    const uint16_t port = FreeUdpPort();
    sim::SimLab lab;
    DeviceTable table;
    DeviceSearcher searcher{table, {.labMode = true, .port = port}};
};

TEST_F(SearchThreadTest, FindsEveryCameraWithEveryFieldRight) {
    StartLab(5);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 5; }, SearchTick(searcher)));
    for (int i = 0; i < 5; ++i) {
        const sim::CameraProfile p = lab.Snapshot(i).profile;
        SearchAnswer a;
        ASSERT_EQ(table.GetDeviceAnswer(p.serialNumber.c_str(), &a, sizeof a), 0);
        ExpectAnswerMatchesProfile(a, p);
        EXPECT_EQ(a.streamAccess.ptzPort, 8091 + i);
        EXPECT_GE(a.runningTime, p.initialRunningTime);
        EXPECT_STREQ(a.adapterAddress, "127.0.0.1") << "the receiving socket's address";
    }
}

TEST_F(SearchThreadTest, HostileAnswersAreDroppedOthersKept) {
    const Hostility hostile[] = {Hostility::kNoLanConfig,   Hostility::kNoStreamAccess,
                                 Hostility::kNoUserConfig,  Hostility::kNoBody,
                                 Hostility::kWrongMsgCode,  Hostility::kNoMsgFlag,
                                 Hostility::kNotCameraType, Hostility::kOversize};
    const Hostility tolerated[] = {Hostility::kNone, Hostility::kBothRoots, Hostility::kOddOsd,
                                   Hostility::kInvalidUtf8Osd, Hostility::kOverlongAttributes};
    const int dropped = std::size(hostile), kept = std::size(tolerated);
    StartLab(dropped + kept);
    for (int i = 0; i < dropped; ++i)
        lab.SetHostility(i, hostile[i]);
    for (int i = 0; i < kept; ++i)
        lab.SetHostility(dropped + i, tolerated[i]);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(
        WaitUntil([&] { return table.Count() >= std::size_t(kept); }, SearchTick(searcher)));
    std::set<std::string> expected, found;
    for (int i = dropped; i < dropped + kept; ++i) {
        const std::string serial = lab.Snapshot(i).profile.serialNumber;
        const bool overlong = tolerated[i - dropped] == Hostility::kOverlongAttributes;
        expected.insert(overlong ? (serial + std::string(31, 'x')).substr(0, 31) : serial);
    }
    for (const SearchAnswer& a : table.Snapshot())
        found.insert(a.serialNumber);
    EXPECT_EQ(found, expected);
}

TEST_F(SearchThreadTest, StopRacingSendsLosesNoAcceptedRequest) {
    StartLab(1);
    const std::string body = PrintSerialElement(lab.Snapshot(0).profile.serialNumber.c_str());
    constexpr int kRequests = 300;
    std::atomic<bool> done{false};
    int accepted = 0;
    std::thread sender([&] {
        for (int i = 0; i < kRequests; ++i) {
            if (searcher.SendSearchMessage(kMsgMode, body.c_str(), i) == 0)
                ++accepted;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        done = true;
    });
    // The thread starts and stops over and over while the requests come in: each one is
    // either queued before a Stop (and then sent by it) or sent at once after it.
    while (!done) {
        searcher.StartListening();
        std::this_thread::sleep_for(std::chrono::microseconds(700));
        searcher.StopSearchThread();
    }
    sender.join();
    EXPECT_EQ(accepted, kRequests);
    EXPECT_TRUE(WaitUntil([&] { return ReceivedWithCode(lab, 0, kMsgMode) >= accepted; }));
    EXPECT_EQ(ReceivedWithCode(lab, 0, kMsgMode), accepted);
}

TEST_F(SearchThreadTest, ListeningKeepsTheTableAndANewSearchEmptiesIt) {
    StartLab(2);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; }, SearchTick(searcher)));
    searcher.StopSearchThread();
    ASSERT_EQ(searcher.StartListening(), 1);
    EXPECT_TRUE(searcher.IsListening());
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(searcher.StartListening(), 0) << "already running";
    // A search of the operator's replaces the listening thread and starts from an empty table.
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    EXPECT_FALSE(searcher.IsListening());
    EXPECT_TRUE(searcher.IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; }, SearchTick(searcher)));
    EXPECT_EQ(searcher.StopSearchThread(), 1);
}

TEST_F(SearchThreadTest, AnUnsendableRequestIsReportedAsAFailure) {
    std::string huge(20000, 'x');
    EXPECT_NE(searcher.SendSearchMessage(kMsgMode, huge.c_str(), 0), 0);
    ASSERT_EQ(searcher.StartListening(), 1);
    EXPECT_NE(searcher.SendSearchMessage(kMsgMode, huge.c_str(), 0), 0);
    searcher.StopSearchThread();
}

TEST_F(SearchThreadTest, CommandDatagramsArriveByteExact) {
    StartLab(2);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; }, SearchTick(searcher)));
    const std::string serial = lab.Snapshot(0).profile.serialNumber;
    SearchAnswer block;
    ASSERT_EQ(table.GetDeviceAnswer(serial.c_str(), &block, sizeof block), 0);
    CopyField(block.network.ipAddress, "127.0.10.200");
    ASSERT_EQ(table.RestoreDevice(serial.c_str()), 0);
    ASSERT_EQ(table.SetDeviceMode(serial.c_str(), 6), 0);
    ASSERT_EQ(table.RebootDevice(serial.c_str()), 0);
    ASSERT_EQ(table.SetDeviceNetwork(serial.c_str(), &block, sizeof block), 0);
    ASSERT_TRUE(WaitUntil([&] { return ReceivedWithCode(lab, 0, kMsgSetNetwork) == 1; }));

    const std::string element = PrintSerialElement(serial.c_str());
    std::vector<std::string> expected(
        3, PrintDiscoveryEnvelope(kRootKestravin, kMsgRestore, 0, element.c_str()));
    expected.insert(expected.end(), 3,
                    PrintDiscoveryEnvelope(kRootKestravin, kMsgMode, 6, element.c_str()));
    expected.push_back(PrintDiscoveryEnvelope(kRootKestravin, kMsgReboot, 0, element.c_str()));
    const std::string net = PrintNetworkBody(serial.c_str(), block.network);
    expected.push_back(PrintDiscoveryEnvelope(kRootKestravin, kMsgSetNetwork, 0, net.c_str()));
    std::vector<std::string> commands;
    for (const std::string& text : lab.Snapshot(0).received)
        if (text.find("Msg_code=\"1\"") == std::string::npos)
            commands.push_back(text);
    EXPECT_EQ(commands, expected);

    const sim::CameraSnapshot camera = lab.Snapshot(0);
    EXPECT_EQ(camera.restores, 3);
    EXPECT_EQ(camera.mode, 6);
    EXPECT_EQ(camera.reboots, 1);
    EXPECT_EQ(camera.profile.ipAddress, "127.0.10.200");
    EXPECT_EQ(lab.Snapshot(1).mode, 0) << "commands name one serial number";
    EXPECT_TRUE(WaitUntil(
        [&] {
            SearchAnswer a;
            table.GetDeviceAnswer(serial.c_str(), &a, sizeof a);
            return std::strcmp(a.network.ipAddress, "127.0.10.200") == 0;
        },
        SearchTick(searcher)))
        << "the moved camera answers from its new address";
}

TEST_F(SearchThreadTest, SecondStartChangesNothing) {
    StartLab(3);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 3; }, SearchTick(searcher)));
    EXPECT_EQ(searcher.StartSearchThread(), 0);
    EXPECT_TRUE(searcher.IsRunning());
    EXPECT_EQ(table.Count(), 3u) << "a second start does not clear the table";
}

TEST_F(SearchThreadTest, StopEndsTheThreadAndSendsGoOutAtOnce) {
    StartLab(1);
    EXPECT_EQ(searcher.StopSearchThread(), 0) << "not running yet";
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 1; }, SearchTick(searcher)));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(searcher.StopSearchThread(), 1);
    // Generous bound: catches a hang, not a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_FALSE(searcher.IsRunning());
    EXPECT_EQ(searcher.StopSearchThread(), 0);
    // Without a thread, a command goes out at once through every adapter.
    ASSERT_EQ(table.RebootDevice(lab.Snapshot(0).profile.serialNumber.c_str()), 0);
    EXPECT_TRUE(WaitUntil([&] { return lab.Snapshot(0).reboots == 1; }));
}

TEST_F(SearchThreadTest, StopEndsTheReadWaitAtOnceAndTheSearchRestarts) {
    StartLab(2);
    // A read wait far longer than the test: a Stop that sat it out would take a minute.
    constexpr auto kReadWait = std::chrono::seconds(60);
    DeviceSearcher patient(
        table, {.labMode = true,
                .port = port,
                .readWaitMs = static_cast<int>(std::chrono::milliseconds(kReadWait).count())});
    table.SetSender(&patient);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(patient.StartSearchThread(), 1) << "round " << round;
        // The first request of a start goes out at once; every camera answers it.
        ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; })) << "round " << round;
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(patient.StopSearchThread(), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - before, kReadWait / 2)
            << "round " << round << ": Stop waited for the read wait to time out";
        EXPECT_FALSE(patient.IsRunning());
    }
    table.SetSender(&searcher);
}

TEST_F(SearchThreadTest, QueuedCommandsGoOutWithoutWaitingForTheReadWait) {
    StartLab(2);
    constexpr auto kReadWait = std::chrono::seconds(60);
    DeviceSearcher patient(
        table, {.labMode = true,
                .port = port,
                .readWaitMs = static_cast<int>(std::chrono::milliseconds(kReadWait).count())});
    table.SetSender(&patient);
    ASSERT_EQ(patient.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; }));
    // Five reboots queued at once: one per pass, each pass ended by the queue, not by the
    // 60-second read wait, so all arrive long before a single read wait could end.
    const std::string serial = lab.Snapshot(1).profile.serialNumber;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(table.RebootDevice(serial.c_str()), 0);
    EXPECT_TRUE(WaitUntil([&] { return ReceivedWithCode(lab, 1, kMsgReboot) == 5; }));
    EXPECT_EQ(patient.StopSearchThread(), 1);
    table.SetSender(&searcher);
}

TEST_F(SearchThreadTest, StartClearsTheTable) {
    StartLab(1);
    SearchAnswer stale = EmptySearchAnswer();
    CopyField(stale.serialNumber, "STALE");
    table.StoreDeviceAnswer(stale, "1.2.3.4");
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 1; }, SearchTick(searcher)));
    EXPECT_STRNE(table.Snapshot()[0].serialNumber, "STALE");
}

TEST(SearchWithoutAdapters, RunsAndStopsWithNothingSentOrFound) {
    // Only where no real adapter can be reached: the private namespace has loopback only.
    if (!EnumAdapters(false).empty())
        GTEST_SKIP() << "this namespace has network adapters";
    DeviceTable table;
    DeviceSearcher searcher(table, {.port = FreeUdpPort()});
    table.SetSender(&searcher);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    for (int i = 0; i < 3; ++i)
        searcher.SendSearchMessage(kMsgSearch, nullptr, 0);
    EXPECT_EQ(searcher.StopSearchThread(), 1);
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(searcher.SendSearchMessageOnce("x"), 0) << "no adapter to send on";
}

}  // namespace
}  // namespace camfleet

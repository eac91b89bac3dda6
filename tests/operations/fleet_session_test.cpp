// The fleet session driven tick by tick, without the SDK: the search's automatic stop and
// its clearing rules, the close order with background jobs still running, and the network
// job of the IP assignment followed through the merge's move outcomes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

#include "discovery/recording_sender.h"
#include "operations/fleet_session.h"
#include "operations/ip_assignment.h"
#include "operations/ip_fakes.h"
#include "operations/list_fixture.h"
#include "thread_list.h"

namespace camfleet {
namespace {

using testing::Answer;

FleetOptions ManualTicks(bool autoStop) {
    FleetOptions options;
    options.searcher.labMode = true;
    options.manualTicks = true;
    options.autoStopFirst = autoStop;
    return options;
}

TEST(FleetSession, OnlyTheFirstSearchStopsByItselfOnItsTwentySeventhMergeTick) {
    testing::EnsureCoreApplication();
    FleetSession fleet(ManualTicks(true));
    fleet.StartSearch();
    ASSERT_TRUE(fleet.Searching());
    EXPECT_TRUE(fleet.MergeTimerRunning());
    EXPECT_TRUE(fleet.RequestTimerRunning());
    for (int tick = 1; tick <= 26; ++tick) {
        fleet.MergeTick();
        ASSERT_TRUE(fleet.Searching()) << tick;
    }
    fleet.MergeTick();
    EXPECT_FALSE(fleet.Searching());
    EXPECT_FALSE(fleet.MergeTimerRunning());
    EXPECT_FALSE(fleet.RequestTimerRunning());
    EXPECT_FALSE(fleet.Searcher().IsRunning());

    fleet.StartSearch();
    for (int tick = 0; tick < 60; ++tick)
        fleet.MergeTick();
    EXPECT_TRUE(fleet.Searching()) << "a later search runs until it is stopped";
    fleet.StopSearch();
    EXPECT_FALSE(fleet.Searching());
}

TEST(FleetSession, PrintModeKeepsTheFirstSearchRunning) {
    testing::EnsureCoreApplication();
    FleetSession fleet(ManualTicks(true));
    fleet.Sync().SetPrintMode(true);
    fleet.StartSearch();
    for (int tick = 0; tick < 40; ++tick)
        fleet.MergeTick();
    EXPECT_TRUE(fleet.Searching());
    EXPECT_TRUE(fleet.AutoStopPending());
}

TEST(FleetSession, AFreshSearchEmptiesTheListAndListeningOnKeepsIt) {
    testing::EnsureCoreApplication();
    FleetSession fleet(ManualTicks(false));
    int cleared = 0, merged = 0;
    QObject::connect(&fleet, &FleetSession::ListCleared, [&] { ++cleared; });
    QObject::connect(&fleet, &FleetSession::Merged, [&] { ++merged; });
    fleet.StartSearch();
    EXPECT_EQ(cleared, 1);
    fleet.Table().StoreDeviceAnswer(Answer("S1", "127.0.10.1"), "127.0.0.1");
    fleet.MergeTick();
    ASSERT_EQ(fleet.Model().Count(), 1);
    EXPECT_EQ(fleet.Model().State(0)->login, LoginState::kNone) << "no SDK: listed only";
    EXPECT_EQ(merged, 1);

    fleet.StopSearch();
    fleet.StartSearch(0, SearchStart::kKeepTable);
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(fleet.Model().Count(), 1);
    EXPECT_EQ(fleet.Table().Count(), 1u);
    EXPECT_TRUE(fleet.RequestTimerRunning());

    fleet.StartSearch();  // restarts: stops the running search first
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(fleet.Model().Count(), 0);
    EXPECT_EQ(fleet.Table().Count(), 0u);
}

TEST(FleetSession, ShutdownStopsAndJoinsEveryJobAndIsFinal) {
    testing::EnsureCoreApplication();
    const int before = testing::ThreadCount();
    std::atomic<int> started{0}, stopped{0};
    {
        FleetSession fleet(ManualTicks(false));
        fleet.StartSearch();
        for (int i = 0; i < 3; ++i)
            fleet.Workers().Post([&](std::stop_token stop) {
                ++started;
                while (!stop.stop_requested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                ++stopped;
            });
        ASSERT_TRUE(testing::ThreadListReaches([&] { return started.load() == 3; }));
        const auto start = std::chrono::steady_clock::now();
        fleet.Shutdown();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(stopped.load(), 3);
        EXPECT_FALSE(fleet.Searching());
        EXPECT_FALSE(fleet.Searcher().IsRunning());
        fleet.StartSearch();
        EXPECT_FALSE(fleet.Searching()) << "nothing starts after the close";
        fleet.Shutdown();
    }
    EXPECT_TRUE(testing::ThreadCountFallsTo(before));
}

// The IP assignment's network job, followed through the merge without logins: the session's
// table on a clock the test moves.
class NetworkJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        fleet.Table().SetSender(&sender);
        fleet.Table().SetClock([this] { return now; });
        fleet.Table().StoreDeviceAnswer(Answer("S1", "10.0.0.1"), "");
        fleet.Table().StoreDeviceAnswer(Answer("S2", "10.0.0.2"), "");
        fleet.MergeTick();
        ASSERT_EQ(fleet.Model().Count(), 2);
        ip.Follow(&fleet.Sync(), nullptr);
    }
    const JobState& Job(int row) { return fleet.Model().State(row)->Job(OperationKind::kNetwork); }
    NetworkSettings Static(const char* address) {
        return {false, address, "255.255.255.0", "10.0.0.254", "", ""};
    }

    FleetSession fleet{ManualTicks(false)};
    RecordingSender sender;
    std::chrono::steady_clock::time_point now{};
    PcNetwork pc;
    testing::FakeNetwork network;
    IpAssignment ip{&fleet.Table(), &fleet.Model(), &pc, &network};
};

TEST_F(NetworkJobTest, AJobEndsDoneWhenTheCameraAnswersAtItsNewAddress) {
    ASSERT_EQ(ip.SendNetwork(0, Static("10.0.0.9")), 0);
    EXPECT_EQ(Job(0).phase, JobPhase::kPending);
    EXPECT_EQ(Job(1).phase, JobPhase::kReady);
    EXPECT_FALSE(ip.AllJobsFinished());
    fleet.MergeTick();
    EXPECT_EQ(Job(0).phase, JobPhase::kPending) << "no answer with the new settings yet";

    fleet.Table().StoreDeviceAnswer(Answer("S1", "10.0.0.9"), "");
    fleet.MergeTick();
    EXPECT_EQ(Job(0).phase, JobPhase::kDone);
    EXPECT_TRUE(ip.AllJobsFinished());
    const NetworkJob* job = ip.Job("S1");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->oldIp, "10.0.0.1");
    EXPECT_EQ(job->expectedIp, "10.0.0.9");
}

TEST_F(NetworkJobTest, OldSettingsUntilTheWaitRunsOutFailTheJobAsNotApplied) {
    ASSERT_EQ(ip.SendNetwork(1, Static("10.0.0.8")), 0);
    for (int second = 1; second <= 10; ++second) {
        now += std::chrono::seconds(1);
        fleet.Table().StoreDeviceAnswer(Answer("S2", "10.0.0.2"), "");
        fleet.MergeTick();
    }
    EXPECT_EQ(Job(1).phase, JobPhase::kFailed);
    ASSERT_NE(ip.Job("S2"), nullptr);
    EXPECT_TRUE(ip.Job("S2")->notApplied);
    EXPECT_EQ(fleet.Model().CellText(1, kColumnState), testing::Shown("NETWORK_NOT_APPLIED"));
    EXPECT_EQ(Job(0).phase, JobPhase::kReady) << "the other camera was not touched";
}

TEST_F(NetworkJobTest, ASendThatFailsEndsItsJobAtOnce) {
    fleet.Table().ClearDevices();  // the camera dropped out of the device table
    EXPECT_EQ(ip.SendNetwork(0, Static("10.0.0.9")), kTableUnknownSerial);
    EXPECT_EQ(Job(0).phase, JobPhase::kFailed);
    EXPECT_EQ(ip.Job("S1")->result, kTableUnknownSerial);
    EXPECT_TRUE(ip.AllJobsFinished());
}

}  // namespace
}  // namespace camfleet

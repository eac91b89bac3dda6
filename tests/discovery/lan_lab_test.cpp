// The search on a simulated LAN: veth pairs into a private camera namespace, the true
// 255.255.255.255 broadcast and adapter selection. Needs root inside the test command's
// private namespace; each test then takes a namespace of its own so tests can run side
// by side.

#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "discovery/device_searcher.h"
#include "discovery/lab_helpers.h"
#include "sim/lab_socket.h"
#include "sim/sim_lab.h"
#include "tests/lan_lab_guard.h"

namespace camfleet {
namespace {

using sim::Hostility;

class LanLabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing::LanLabUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(testing::EnterOwnNetworkNamespace());
        sim::LabOptions options;
        options.cameras = 1;
        options.lanSubnets = {"192.168.1.0/24", "192.168.2.0/24"};
        std::string error;
        ASSERT_EQ(lab.Start(options, &error), 0) << error;
        table.SetSender(&searcher);
    }

    std::string Serial(int camera) { return lab.Snapshot(camera).profile.serialNumber; }
    bool Has(int camera) {
        SearchAnswer a;
        return table.GetDeviceAnswer(Serial(camera).c_str(), &a, sizeof a) == 0;
    }

    sim::SimLab lab;
    DeviceTable table;
    DeviceSearcher searcher{table};
};

TEST_F(LanLabTest, AllAdaptersFindEveryCameraWithItsAdapter) {
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return table.Count() == 2; }, SearchTick(searcher)));
    for (int k = 0; k < 2; ++k) {
        SearchAnswer a;
        ASSERT_EQ(table.GetDeviceAnswer(Serial(k).c_str(), &a, sizeof a), 0);
        EXPECT_EQ(a.adapterAddress, lab.PcAddress(k));
        EXPECT_EQ(a.network.ipAddress, lab.Snapshot(k).profile.ipAddress);
    }
}

TEST_F(LanLabTest, SelectedAdapterOnlyWhileOneShotSendUsesAll) {
    searcher.SetNetcardSelection(ParseAddress(lab.PcAddress(0).c_str()));
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Has(0); }, SearchTick(searcher)));
    ASSERT_EQ(searcher.StopSearchThread(), 1);
    EXPECT_EQ(lab.Snapshot(1).received.size(), 0u) << "nothing went out on the other adapter";
    EXPECT_EQ(table.Count(), 1u);

    const std::size_t before = lab.Snapshot(0).received.size();
    searcher.SendSearchMessage(kMsgSearch, nullptr, 0);  // no thread: one-shot send
    EXPECT_TRUE(WaitUntil([&] {
        return lab.Snapshot(1).received.size() == 1 && lab.Snapshot(0).received.size() > before;
    }));
}

TEST_F(LanLabTest, CameraOnTwoAdaptersKeepsTheFirstAdapterAddress) {
    sim::CameraProfile twin = lab.Snapshot(0).profile;
    twin.osdText = "twin on the second LAN";
    lab.SetProfile(1, twin);
    lab.SetHostility(1, Hostility::kSilent);
    ASSERT_EQ(searcher.StartSearchThread(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Has(0); }, SearchTick(searcher)));
    lab.SetHostility(0, Hostility::kSilent);
    lab.SetHostility(1, Hostility::kNone);
    SearchAnswer a;
    ASSERT_TRUE(WaitUntil(
        [&] {
            table.GetDeviceAnswer(Serial(0).c_str(), &a, sizeof a);
            return std::strcmp(a.osdText, "twin on the second LAN") == 0;
        },
        SearchTick(searcher)));
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(a.adapterAddress, lab.PcAddress(0));
}

TEST_F(LanLabTest, RefusesANamespaceWithOtherInterfaces) {
    lab.Stop();
    ASSERT_EQ(sim::RunCommand(
                  {"ip", "link", "add", "stranger0", "type", "veth", "peer", "name", "stranger1"}),
              0);
    sim::LabOptions options;
    options.lanSubnets = {"192.168.5.0/24"};
    std::string error;
    EXPECT_EQ(lab.Start(options, &error), -1);
    EXPECT_NE(error.find("stranger"), std::string::npos) << error;
    EXPECT_EQ(sim::LanNamespace::ForeignInterfaces().size(), 2u) << "nothing was created";
}

}  // namespace
}  // namespace camfleet

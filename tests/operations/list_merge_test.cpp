// The table-to-list merge without cameras: order, keys, the version stand-in and print mode.
// The device SDK is not started, so any login the merge tries fails at once and shows the
// login failure text.

#include <gtest/gtest.h>

#include <chrono>

#include "discovery/device_table.h"
#include "discovery/recording_sender.h"
#include "operations/device_list_sync.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using testing::Answer;

class ListMergeTest : public ::testing::Test {
protected:
    void Store(const char* serial, const char* ip = "10.0.0.1", const char* p2p = "") {
        SearchAnswer a = Answer(serial, ip);
        CopyField(a.p2pId, p2p);
        table_.StoreDeviceAnswer(a, "127.0.0.1");
    }
    QStringList Keys() const {
        QStringList keys;
        for (int row = 0; row < model_.Count(); ++row)
            keys.append(model_.Record(row)->key);
        return keys;
    }

    RecordingSender sender_;
    DeviceTable table_{&sender_};
    DeviceListModel model_;
    DeviceListSync sync_{&table_, &model_};
};

TEST_F(ListMergeTest, NewRowsFollowSerialOrderThenGoToTheEnd) {
    Store("abc");
    Store("ABC");  // differs only in case: a row of its own
    Store("B1");
    sync_.SyncDeviceList();
    EXPECT_EQ(Keys(), (QStringList{"ABC", "B1", "abc"}));
    Store("AAA");  // sorts first in the table, but the list only grows at the end
    Store("abc", "10.0.0.2");
    sync_.SyncDeviceList();
    sync_.SyncDeviceList();
    EXPECT_EQ(Keys(), (QStringList{"ABC", "B1", "abc", "AAA"}));
    EXPECT_EQ(model_.CellText(2, kColumnIp), "10.0.0.2");
    EXPECT_EQ(model_.CellText(1, kColumnSerial), "B1");
    // Logins the SDK refuses (it is not started) show the failure text and keep a handle <= 0.
    for (int row = 0; row < model_.Count(); ++row) {
        EXPECT_EQ(model_.CellText(row, kColumnState), kLoginFailedText);
        EXPECT_LE(model_.Record(row)->loginHandle, 0);
    }
}

TEST_F(ListMergeTest, EmptyAnswerVersionTakesTheFirmwareVersion) {
    Store("S1");
    sync_.SyncDeviceList();
    CopyField(model_.Record(0)->firmwareVersion, "V5.2.1");
    sync_.SyncDeviceList();
    EXPECT_STREQ(model_.Record(0)->answer.version, "V5.2.1");

    SearchAnswer own = Answer("S1", "10.0.0.1");
    CopyField(own.version, "V6");
    table_.StoreDeviceAnswer(own, "127.0.0.1");
    sync_.SyncDeviceList();
    EXPECT_STREQ(model_.Record(0)->answer.version, "V6");
    SearchAnswer stored;
    table_.GetDeviceAnswer("S1", &stored, sizeof stored);
    EXPECT_STREQ(stored.version, "V6");
}

TEST_F(ListMergeTest, ClearDevicesEmptiesTableAndList) {
    Store("S1");
    Store("S2");
    sync_.SyncDeviceList();
    model_.SetChecked(1, true);
    sync_.RefreshDevices();
    EXPECT_EQ(model_.Count(), 0);
    EXPECT_EQ(model_.CheckedCount(), 0);
    EXPECT_EQ(table_.Count(), 0u);
    Store("S2");
    sync_.SyncDeviceList();
    EXPECT_EQ(Keys(), QStringList{"S2"});
}

TEST_F(ListMergeTest, PrintModeSwitchesCamerasWithoutP2pIdToDhcpAndPrintsAndRestoresOthersOnce) {
    sync_.SetPrintMode(true);
    QStringList printed;
    sync_.printCycle = [&](const SearchAnswer& entry, DeviceRecord* record) {
        EXPECT_EQ(record->printDone, 1);
        printed.append(entry.serialNumber);
    };
    Store("NOP2P");
    Store("P2P", "10.0.0.2", "NVSP-1");
    sync_.SyncDeviceList();
    EXPECT_EQ(printed, QStringList{"P2P"});
    // The camera without a P2P id is switched to DHCP; the printed one is restored to its
    // factory settings with three datagrams.
    ASSERT_EQ(sender_.messages.size(), 4u);
    EXPECT_EQ(sender_.messages[0].code, 2);
    EXPECT_NE(sender_.messages[0].body.find("NOP2P"), std::string::npos);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(sender_.messages[i].code, 5);
        EXPECT_NE(sender_.messages[i].body.find("\"P2P\""), std::string::npos);
    }
    SearchAnswer stored;
    table_.GetDeviceAnswer("NOP2P", &stored, sizeof stored);
    EXPECT_EQ(stored.network.dhcp, 1);

    sync_.SyncDeviceList();  // every tick again, now for the printed camera as well
    EXPECT_EQ(printed, QStringList{"P2P"});
    ASSERT_EQ(sender_.messages.size(), 6u);
    EXPECT_EQ(sender_.messages[4].code, 2);
    EXPECT_EQ(sender_.messages[5].code, 2) << "the restore is sent once";

    // Without a print cycle of the label printing, the restore still goes out.
    sync_.printCycle = nullptr;
    Store("P2P2", "10.0.0.3", "NVSP-2");
    sync_.SyncDeviceList();
    int restores = 0;
    for (const auto& m : sender_.messages)
        restores += m.code == 5 && m.body.find("\"P2P2\"") != std::string::npos;
    EXPECT_EQ(restores, 3);
    // New cameras are not logged in while print mode is on.
    EXPECT_EQ(model_.CellText(0, kColumnState), QString());
    EXPECT_EQ(model_.Record(0)->loginHandle, 0);
}

TEST_F(ListMergeTest, AMoveEndsWithTheRealAnswerShownOrALoginAtTheNewAddress) {
    std::chrono::steady_clock::time_point now{};
    table_.SetClock([&] { return now; });
    table_.SetMoveTimeouts({std::chrono::seconds(2), std::chrono::milliseconds(500)});
    Store("LOST", "10.0.0.1");
    Store("GONE", "10.0.0.2");
    sync_.SyncDeviceList();
    const int lost = model_.FindRowByKey("LOST");
    const int gone = model_.FindRowByKey("GONE");
    // As the address commands send: the table gets the new block, the IP column the address.
    auto send = [&](const char* serial, const char* ip) {
        SearchAnswer a = Answer(serial, ip);
        ASSERT_EQ(table_.SetDeviceNetwork(serial, &a, sizeof a), 0);
        model_.SetCellText(model_.FindRowByKey(serial), kColumnIp, ip);
    };
    send("LOST", "10.0.0.91");
    send("GONE", "10.0.0.92");
    now += std::chrono::seconds(1);
    Store("LOST", "10.0.0.1");  // the camera did not take the settings; GONE is silent
    sync_.SyncDeviceList();
    EXPECT_EQ(model_.CellText(lost, kColumnIp), "10.0.0.91") << "still waiting";
    EXPECT_EQ(table_.PendingMoveCount(), 2u);

    now += std::chrono::seconds(1);
    sync_.SyncDeviceList();
    EXPECT_EQ(model_.CellText(lost, kColumnIp), "10.0.0.1");
    EXPECT_EQ(model_.CellText(lost, kColumnState), testing::Shown("NETWORK_NOT_APPLIED"));
    EXPECT_EQ(sync_.MoveOutcome("LOST"), MoveState::kNotApplied);
    // No answer at all: taken as moved, so the login goes to the new address.
    EXPECT_EQ(QString(model_.Record(gone)->answer.network.ipAddress), "10.0.0.92");
    EXPECT_EQ(sync_.MoveOutcome("GONE"), MoveState::kUnconfirmed);
    EXPECT_EQ(table_.PendingMoveCount(), 0u);
}

}  // namespace
}  // namespace camfleet

// Device table: merge rule, operations by serial number and their results.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/xml_messages.h"
#include "discovery/device_table.h"
#include "discovery/recording_sender.h"

namespace camfleet {
namespace {

SearchAnswer Answer(const char* serial, const char* ip = "192.168.1.10") {
    SearchAnswer a = EmptySearchAnswer();
    CopyField(a.serialNumber, serial);
    CopyField(a.network.ipAddress, ip);
    CopyField(a.network.macAddress, "00:1a:2b:00:00:01");
    return a;
}

class DeviceTableTest : public testing::Test {
protected:
    RecordingSender sender;
    DeviceTable table{&sender};
};

TEST_F(DeviceTableTest, SerialsDifferingInCaseAreTwoEntries) {
    table.StoreDeviceAnswer(Answer("abc123"), "10.0.0.1");
    table.StoreDeviceAnswer(Answer("ABC123"), "10.0.0.1");
    EXPECT_EQ(table.Count(), 2u);
}

TEST_F(DeviceTableTest, AdapterAddressMergeRule) {
    const struct {
        const char* name;
        const char* first;   // adapter of the first answer ("" = first stored unset)
        const char* second;  // adapter of the second answer
        const char* kept;
    } cases[] = {
        {"second adapter keeps the first", "10.0.0.1", "10.0.1.1", "10.0.0.1"},
        {"empty stored address takes the new one", "", "10.0.1.1", "10.0.1.1"},
        {"0.0.0.0 stored address takes the new one", "0.0.0.0", "10.0.1.1", "10.0.1.1"},
    };
    for (const auto& c : cases) {
        table.ClearDevices();
        table.StoreDeviceAnswer(Answer("S1", "1.1.1.1"), c.first);
        table.StoreDeviceAnswer(Answer("S1", "2.2.2.2"), c.second);
        SearchAnswer got;
        ASSERT_EQ(table.GetDeviceAnswer("S1", &got, sizeof got), 0);
        EXPECT_STREQ(got.adapterAddress, c.kept) << c.name;
        EXPECT_STREQ(got.network.ipAddress, "2.2.2.2") << c.name << ": newer block replaces";
    }
}

TEST_F(DeviceTableTest, ResultsOfOperationsBySerial) {
    table.StoreDeviceAnswer(Answer("S1"), "10.0.0.1");
    SearchAnswer block = Answer("S1");
    const struct {
        const char* name;
        int result;
        int expected;
    } cases[] = {
        {"get known", table.GetDeviceAnswer("S1", &block, sizeof block), 0},
        {"get unknown", table.GetDeviceAnswer("S2", &block, sizeof block), -1},
        {"get short buffer", table.GetDeviceAnswer("S1", &block, 2959), -2},
        {"get null serial", table.GetDeviceAnswer(nullptr, &block, sizeof block), -1},
        {"network unknown", table.SetDeviceNetwork("S2", &block, sizeof block), -1},
        {"network short", table.SetDeviceNetwork("S1", &block, 100), -2},
        {"restore unknown", table.RestoreDevice("s1"), -1},
        {"mode unknown", table.SetDeviceMode("S9", 1), -1},
        {"reboot unknown", table.RebootDevice(""), -1},
        {"restore", table.RestoreDevice("S1"), 0},
        {"mode", table.SetDeviceMode("S1", 4), 0},
        {"reboot", table.RebootDevice("S1"), 0},
        {"network", table.SetDeviceNetwork("S1", &block, sizeof block), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.name;
}

TEST_F(DeviceTableTest, CommandDatagramsAndRepeats) {
    table.StoreDeviceAnswer(Answer("S1"), "10.0.0.1");
    ASSERT_EQ(table.RestoreDevice("S1"), 0);
    ASSERT_EQ(table.SetDeviceMode("S1", 4), 0);
    ASSERT_EQ(table.RebootDevice("S1"), 0);
    const std::string serial = PrintSerialElement("S1");
    ASSERT_EQ(sender.messages.size(), 7u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sender.messages[i].code, 5);
        EXPECT_EQ(sender.messages[i].body, serial);
        EXPECT_EQ(sender.messages[3 + i].code, 9);
        EXPECT_EQ(sender.messages[3 + i].flag, 4);
    }
    EXPECT_EQ(sender.messages[6].code, 7);
    EXPECT_EQ(sender.messages[6].flag, 0);
}

TEST_F(DeviceTableTest, SetNetworkCopiesThenSendsFromTheStoredBlock) {
    table.StoreDeviceAnswer(Answer("S1"), "10.0.0.1");
    SearchAnswer changed = Answer("S1", "192.168.1.77");
    changed.network.dhcp = 1;
    std::memset(changed.network.gateway, 'g', sizeof changed.network.gateway);  // no zero
    ASSERT_EQ(table.SetDeviceNetwork("S1", &changed, sizeof changed), 0);
    SearchAnswer stored;
    ASSERT_EQ(table.GetDeviceAnswer("S1", &stored, sizeof stored), 0);
    EXPECT_STREQ(stored.network.ipAddress, "192.168.1.77");
    EXPECT_EQ(strnlen(stored.network.gateway, 64), 63u) << "an unterminated field is cut";
    ASSERT_EQ(sender.messages.size(), 1u);
    EXPECT_EQ(sender.messages[0].code, 2);
    EXPECT_EQ(sender.messages[0].body, PrintNetworkBody("S1", stored.network));
}

// The merge's copy must show every change, whichever call made it, and copy nothing else.
TEST_F(DeviceTableTest, CopyForMergeTakesEveryChangeAndOnlyTheChanges) {
    TableCopy copy;
    auto serials = [&copy] {
        std::string all;
        for (const TableCopy::Item& item : copy.items)
            all += std::string(item.answer.serialNumber) + " ";
        return all;
    };
    table.StoreDeviceAnswer(Answer("S2"), "10.0.0.1");
    table.StoreDeviceAnswer(Answer("S1"), "10.0.0.1");
    table.CopyForMerge(&copy);
    EXPECT_EQ(serials(), "S1 S2 ");
    EXPECT_EQ(copy.copied, 2u);
    table.CopyForMerge(&copy);
    EXPECT_EQ(copy.copied, 0u) << "nothing changed";

    table.StoreDeviceAnswer(Answer("S2", "192.168.1.20"), "10.0.0.1");
    table.CopyForMerge(&copy);
    EXPECT_EQ(copy.copied, 1u);
    EXPECT_STREQ(copy.items[1].answer.network.ipAddress, "192.168.1.20");

    table.StoreDeviceAnswer(Answer("S15"), "10.0.0.1");  // sorts between the two
    table.CopyForMerge(&copy);
    EXPECT_EQ(serials(), "S1 S15 S2 ");
    EXPECT_STREQ(copy.items[2].answer.network.ipAddress, "192.168.1.20");

    SearchAnswer sent = Answer("S1", "192.168.1.30");
    ASSERT_EQ(table.SetDeviceNetwork("S1", &sent, sizeof sent), 0);
    table.CopyForMerge(&copy);
    EXPECT_EQ(copy.copied, 1u);
    EXPECT_STREQ(copy.items[0].answer.network.ipAddress, "192.168.1.30");
    EXPECT_EQ(copy.items[0].move, MoveState::kAwaiting);

    // Print mode's DHCP switch changes the stored block, but starts no move and gives out no
    // address; sent again it changes nothing.
    sender.messages.clear();
    ASSERT_EQ(table.SwitchToDhcp("S15"), 0);
    ASSERT_EQ(table.SwitchToDhcp("S15"), 0);
    EXPECT_EQ(table.SwitchToDhcp("S9"), kTableUnknownSerial);
    table.CopyForMerge(&copy);
    EXPECT_EQ(copy.copied, 1u);
    EXPECT_EQ(copy.items[1].answer.network.dhcp, 1);
    EXPECT_EQ(copy.items[1].move, MoveState::kNone);
    ASSERT_EQ(sender.messages.size(), 2u);
    EXPECT_EQ(sender.messages[1].code, 2);
    EXPECT_EQ(sender.messages[1].body, PrintNetworkBody("S15", copy.items[1].answer.network));
    EXPECT_EQ(table.AssignedAddresses().size(), 1u) << "only the address of SetDeviceNetwork";
    EXPECT_EQ(table.PendingMoveCount(), 1u);

    // As many entries as before, but other ones.
    table.ClearDevices();
    for (const char* serial : {"T1", "T2", "T3"})
        table.StoreDeviceAnswer(Answer(serial), "10.0.0.1");
    table.CopyForMerge(&copy);
    EXPECT_EQ(serials(), "T1 T2 T3 ");
    EXPECT_EQ(copy.items[0].move, MoveState::kNone);
}

TEST_F(DeviceTableTest, ClearEmptiesTheTable) {
    table.StoreDeviceAnswer(Answer("S1"), "10.0.0.1");
    table.ClearDevices();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.RebootDevice("S1"), -1);
}

}  // namespace
}  // namespace camfleet

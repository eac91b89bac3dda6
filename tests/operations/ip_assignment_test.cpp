// The address rules with a fake probe, a fake neighbour table and a fake PC network: the free
// address search with its confirmation and its stop, the numbering with its skipped network
// and broadcast addresses, DHCP, the edit dialog's corrections, the dialog's OK rule and the
// sends through the device table.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>

#include "discovery/recording_sender.h"
#include "ip_fakes.h"
#include "list_fixture.h"
#include "operations/ip_assignment.h"
#include "platform/network_params.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::FakeLan;
using testing::FakeNeighbours;
using testing::FakeNetwork;
using testing::FakeProbe;
using testing::Hosts;
using testing::Ip;

class IpAssignmentTest : public ::testing::Test {
protected:
    IpAssignmentTest() { table.SetSender(&sender); }

    // A listed camera that is also in the device table.
    int AddCamera(const char* serial, const char* ip) {
        SearchAnswer a = testing::Answer(serial, ip);
        CopyField(a.network.netmask, "255.255.255.0");
        table.StoreDeviceAnswer(a, "");
        const int row = AddRow(model, serial, 0, false);
        model.Record(row)->answer = a;
        model.FillDeviceRow(row, a);
        return row;
    }
    NetworkBlock Sent(const char* serial) {
        SearchAnswer a;
        EXPECT_EQ(table.GetDeviceAnswer(serial, &a, sizeof a), 0);
        return a.network;
    }
    int SetNetworkCount() const {
        int n = 0;
        for (const auto& m : sender.messages)
            n += m.code == kMsgSetNetwork;
        return n;
    }

    RecordingSender sender;
    DeviceTable table;
    DeviceListModel model;
    PcNetwork pc;
    FakeNetwork network;
    FakeProbe probe;
    FakeNeighbours neighbours;
    IpAssignment ip{&table, &model, &pc, &network};
    ScriptedPrompt prompt;
};

TEST(FreeAddressSearch, LowestFreeHostAfterTheSkipRules) {
    const uint32_t base = Ip("192.168.1.0");
    struct Case {
        const char* name;
        Hosts hosts;
        std::set<uint32_t> taken;
        uint32_t gateway;
        std::optional<uint32_t> expected;
    } cases[] = {
        {"first host is .2", {}, {}, base + 1, base + 2},
        {"the gateway is skipped", {}, {}, base + 2, base + 3},
        {"answering hosts are skipped", {.busy = {base + 2, base + 3}}, {}, base + 1, base + 4},
        {"taken addresses are skipped", {}, {base + 2, base + 3, base + 4}, base + 1, base + 5},
        {"a probe error counts as free",
         {.busy = {base + 2}, .errors = {base + 3}},
         {},
         base + 1,
         base + 3},
        {"an answer too late for the quick probe is caught by the confirmation",
         {.late = {base + 2}},
         {},
         base + 1,
         base + 3},
        {"a neighbour entry is in use", {.neighbours = {base + 2}}, {}, base + 1, base + 3},
        {"the search goes on above a candidate found in use",
         {.busy = {base + 2, base + 5}, .late = {base + 3}, .neighbours = {base + 4}},
         {},
         base + 1,
         base + 6},
    };
    for (const Case& c : cases) {
        for (int workers : {1, 64}) {
            FakeLan lan(c.hosts);
            FreeSearchInput input{base + 100, c.gateway, c.taken};
            EXPECT_EQ(FindFreeAddress(input, lan.probe, lan.neighbours, {}, workers), c.expected)
                << c.name << " with " << workers << " workers";
        }
    }
    // The PC's own address is skipped even when it is the lowest host.
    FakeLan lan({});
    EXPECT_EQ(FindFreeAddress({base + 2, base + 1, {}}, lan.probe, lan.neighbours), base + 3);
}

TEST(FreeAddressSearch, OnlyTheChosenCandidateIsConfirmed) {
    const FreeSearchInput input{Ip("10.0.0.77"), Ip("10.0.0.1"), {}};
    FakeLan answering({.busy = {Ip("10.0.0.2"), Ip("10.0.0.3")}});
    EXPECT_EQ(FindFreeAddress(input, answering.probe, answering.neighbours), Ip("10.0.0.4"));
    EXPECT_EQ(answering.probe.confirmations.load(), 1);

    FakeLan late({.late = {Ip("10.0.0.2"), Ip("10.0.0.3")}});
    EXPECT_EQ(FindFreeAddress(input, late.probe, late.neighbours), Ip("10.0.0.4"));
    EXPECT_EQ(late.probe.confirmations.load(), 3) << ".2 and .3 proved in use, .4 free";
}

TEST(FreeAddressSearch, FullSubnetHasNoAddress) {
    FakeProbe probe;
    FakeNeighbours neighbours;
    for (uint32_t host = 2; host <= 254; ++host)
        probe.busy.insert(Ip("10.0.0.0") + host);
    EXPECT_EQ(FindFreeAddress({Ip("10.0.0.77"), Ip("10.0.0.1"), {}}, probe, neighbours),
              std::nullopt);
    EXPECT_EQ(probe.probes.load(), 252) << "every host but the PC was probed once";
    EXPECT_EQ(probe.confirmations.load(), 0);
}

// Requests a stop from inside its `stopAt`-th probe.
class StoppingProbe : public AddressProbe {
public:
    int Probe(uint32_t) override {
        if (++probes == stopAt)
            source.request_stop();
        return kProbeInUse;
    }
    std::stop_source source;
    int stopAt = 5;
    std::atomic<int> probes{0};
};

TEST(FreeAddressSearch, AStopEndsTheSearchBetweenProbes) {
    FakeNeighbours neighbours;
    StoppingProbe probe;
    const FreeSearchInput input{Ip("10.0.0.77"), Ip("10.0.0.1"), {}};
    EXPECT_EQ(FindFreeAddress(input, probe, neighbours, probe.source.get_token(), 1), std::nullopt);
    EXPECT_EQ(probe.probes.load(), 5) << "no probe after the stop";
    const std::vector<uint32_t> range = NumberedAddresses(Ip("10.0.0.5"), Ip("255.0.0.0"), 50);
    EXPECT_EQ(FindAnsweringAddress(range, probe, neighbours, probe.source.get_token()),
              std::nullopt)
        << "a stopped check finds nothing";
    EXPECT_EQ(probe.probes.load(), 5);
}

TEST(FreeAddressSearch, AnsweringAddressOfARange) {
    const std::vector<uint32_t> range = NumberedAddresses(Ip("10.0.0.5"), Ip("255.255.255.0"), 6);
    struct Case {
        const char* name;
        Hosts hosts;
        std::optional<uint32_t> expected;
    } cases[] = {
        {"the first answering address", {.busy = {Ip("10.0.0.7"), Ip("10.0.0.9")}}, Ip("10.0.0.7")},
        {"an error is no answer", {.errors = {Ip("10.0.0.6")}}, std::nullopt},
        {"an answer too late for the quick probe", {.late = {Ip("10.0.0.8")}}, Ip("10.0.0.8")},
        {"a neighbour entry", {.neighbours = {Ip("10.0.0.10")}}, Ip("10.0.0.10")},
        {"nothing in use", {.neighbours = {Ip("10.0.0.11")}}, std::nullopt},
    };
    for (const Case& c : cases) {
        FakeLan lan(c.hosts);
        EXPECT_EQ(FindAnsweringAddress(range, lan.probe, lan.neighbours), c.expected) << c.name;
    }
}

TEST_F(IpAssignmentTest, NoFreeAddressShowsTheMessageAndSendsNothing) {
    const int row = AddCamera("S1", "10.1.1.9");
    for (uint32_t host = 2; host <= 254; ++host)
        probe.busy.insert(Ip("192.168.1.0") + host);
    EXPECT_NE(ip.AssignFreeAddress(row, probe, neighbours, prompt), 0);
    EXPECT_EQ(prompt.MessageKeys(), QStringList{"NO_FREE_IP"});
    EXPECT_EQ(SetNetworkCount(), 0);
    EXPECT_EQ(model.CellText(row, kColumnIp), "10.1.1.9");
}

TEST_F(IpAssignmentTest, FreeAddressGoesToTheDeviceWithThePcValues) {
    const int row = AddCamera("S1", "10.1.1.9");
    AddCamera("S2", "192.168.1.2");  // in the device table
    probe.busy = {Ip("192.168.1.3")};
    ASSERT_EQ(ip.AssignFreeAddress(row, probe, neighbours, prompt), 0);
    const NetworkBlock n = Sent("S1");
    EXPECT_STREQ(n.ipAddress, "192.168.1.4");
    EXPECT_STREQ(n.netmask, "255.255.255.0");
    EXPECT_STREQ(n.gateway, "192.168.1.1");
    EXPECT_STREQ(n.dns1, "192.168.1.1");
    EXPECT_STREQ(n.dns2, "8.8.4.4");
    EXPECT_EQ(n.dhcp, 0);
    EXPECT_EQ(model.CellText(row, kColumnIp), "192.168.1.4");
    EXPECT_EQ(SetNetworkCount(), 1);

    // The address just given is in the assigned-address table: the next search skips it.
    const int other = AddCamera("S3", "10.1.1.10");
    ASSERT_EQ(ip.AssignFreeAddress(other, probe, neighbours, prompt), 0);
    EXPECT_STREQ(Sent("S3").ipAddress, "192.168.1.5");
}

TEST(Numbering, AddressesSkipNetworkAndBroadcastOfTheMask) {
    struct Case {
        const char* name;
        const char* start;
        const char* mask;
        int count;
        std::vector<const char*> expected;
    } cases[] = {
        {"across the end of a /24",
         "192.168.1.250",
         "255.255.255.0",
         7,
         {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253", "192.168.1.254",
          "192.168.2.1", "192.168.2.2"}},
        {"x.x.x.255 inside a /16 is a host",
         "10.0.1.254",
         "255.255.0.0",
         3,
         {"10.0.1.254", "10.0.1.255", "10.0.2.0"}},
        {"a start on the network address moves on", "10.0.0.0", "255.255.255.0", 1, {"10.0.0.1"}},
        {"a /31 has no network or broadcast address",
         "10.0.0.0",
         "255.255.255.254",
         2,
         {"10.0.0.0", "10.0.0.1"}},
        {"nothing past the last address",
         "255.255.255.253",
         "255.255.255.252",
         3,
         {"255.255.255.253", "255.255.255.254"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (uint32_t a : NumberedAddresses(Ip(c.start), Ip(c.mask), c.count))
            got.push_back(DottedAddress(a));
        EXPECT_EQ(got, std::vector<std::string>(c.expected.begin(), c.expected.end())) << c.name;
    }
}

TEST_F(IpAssignmentTest, NumberingSevenDevicesAndAFailedSend) {
    std::vector<int> rows;
    for (int i = 0; i < 7; ++i) {
        const std::string serial = "N" + std::to_string(i);
        rows.push_back(AddCamera(serial.c_str(), "10.9.9.9"));
    }
    // A row whose camera dropped out of the device table: its send fails with -1 and its
    // address goes to the next device.
    const int gone = AddRow(model, "GONE", 0, false);
    rows.insert(rows.begin() + 2, gone);

    QTemporaryDir dir;
    CSaveParam settings;
    settings.settingsFilePath = dir.filePath("qv_cfg.xml");
    NetworkSettings values{false, "192.168.1.250", "255.255.255.0", "192.168.1.1", "1.1.1.1", ""};
    const std::vector<int> results = ip.NumberDevices(rows, values, &settings);
    EXPECT_EQ(std::count(results.begin(), results.end(), 0), 7);
    EXPECT_EQ(results[2], kTableUnknownSerial);
    const char* expected[] = {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253",
                              "192.168.1.254", "192.168.2.1",   "192.168.2.2"};
    for (int i = 0; i < 7; ++i) {
        const std::string serial = "N" + std::to_string(i);
        EXPECT_STREQ(Sent(serial.c_str()).ipAddress, expected[i]) << serial;
        EXPECT_STREQ(Sent(serial.c_str()).gateway, "192.168.1.1");
    }
    EXPECT_EQ(model.CellText(gone, kColumnIp), "127.0.0.1") << "the failed row is unchanged";
    CSaveParam reread;
    reread.settingsFilePath = settings.settingsFilePath;
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.firstAssignAddress, "192.168.1.250");
}

TEST_F(IpAssignmentTest, NumberingStartValues) {
    CSaveParam settings;
    struct Case {
        const char* name;
        const char* saved;
        const char* gateway;  // the PC's, as read
        std::vector<std::string> dns;
        const char* start;
        const char* expectedGateway;
        const char* dns1;
        const char* dns2;
    } cases[] = {
        {"unset start: network + 160",
         "0.0.0.0",
         "192.168.1.1",
         {"9.9.9.9", "1.1.1.1"},
         "192.168.1.160",
         "192.168.1.1",
         "9.9.9.9",
         "1.1.1.1"},
        {"saved start",
         "192.168.1.20",
         "192.168.1.1",
         {"9.9.9.9"},
         "192.168.1.20",
         "192.168.1.1",
         "9.9.9.9",
         "8.8.8.8"},
        {"broken saved start",
         "hello",
         "192.168.1.1",
         {},
         "192.168.1.160",
         "192.168.1.1",
         "192.168.1.1",
         "8.8.8.8"},
        {"no gateway: network + 1",
         "0.0.0.0",
         "0.0.0.0",
         {"0.0.0.0", "255.255.255.255"},
         "192.168.1.160",
         "192.168.1.1",
         "202.96.134.133",
         "8.8.8.8"},
    };
    for (const Case& c : cases) {
        PcNetwork fresh;
        FakeNetwork net;
        net.local = {{Ip("192.168.1.77"), Ip("255.255.255.0")}};
        net.outgoing.gateways = {Ip(c.gateway)};
        net.dns = c.dns;
        IpAssignment numbering(&table, &model, &fresh, &net);
        settings.firstAssignAddress = c.saved;
        NumberingStart start;
        ASSERT_TRUE(numbering.PrepareNumbering(settings, prompt, &start)) << c.name;
        EXPECT_EQ(start.values.ip, c.start) << c.name;
        EXPECT_EQ(start.values.gateway, c.expectedGateway) << c.name;
        EXPECT_EQ(start.values.dns1, c.dns1) << c.name;
        EXPECT_EQ(start.values.dns2, c.dns2) << c.name;
        EXPECT_FALSE(start.values.dhcp);
    }
    network.local.clear();
    NumberingStart start;
    EXPECT_FALSE(ip.PrepareNumbering(settings, prompt, &start));
    EXPECT_EQ(prompt.MessageKeys(), QStringList{"PLEASE_SET_NETARD_IPV4"});
}

TEST_F(IpAssignmentTest, DhcpGivesAZeroAddressDeviceAFallbackAddress) {
    const int zero = AddCamera("Z", "0.0.0.0");
    const int normal = AddCamera("N", "192.168.5.9");
    EXPECT_EQ(ip.SwitchToDhcp({zero, normal}), (std::vector<int>{0, 0}));
    const NetworkBlock z = Sent("Z");
    EXPECT_EQ(z.dhcp, 1);
    EXPECT_STREQ(z.ipAddress, "192.168.0.123");
    EXPECT_STREQ(z.netmask, "255.255.255.0");
    EXPECT_STREQ(z.gateway, "192.168.0.1");
    const NetworkBlock n = Sent("N");
    EXPECT_EQ(n.dhcp, 1);
    EXPECT_STREQ(n.ipAddress, "192.168.5.9");
    EXPECT_EQ(SetNetworkCount(), 2);
}

TEST(EditDialog, MaskAndGatewayCorrections) {
    struct Case {
        const char* name;
        const char* ip;
        const char* mask;
        const char* gateway;
        const char* shownMask;
        const char* shownGateway;
    } cases[] = {
        {"as it is", "192.168.1.9", "255.255.255.0", "192.168.1.1", "255.255.255.0", "192.168.1.1"},
        {"holes in the mask", "192.168.1.9", "255.0.255.0", "192.168.1.1", "255.255.255.0",
         "192.168.1.1"},
        {"no mask", "192.168.1.9", "", "192.168.1.1", "255.255.255.0", "192.168.1.1"},
        {"gateway in another subnet", "10.0.5.9", "255.255.0.0", "192.168.1.1", "255.255.0.0",
         "10.0.0.1"},
        {"garbage gateway", "10.0.5.9", "255.255.255.0", "x", "255.255.255.0", "10.0.5.1"},
    };
    for (const Case& c : cases) {
        NetworkBlock n{};
        CopyField(n.ipAddress, c.ip);
        CopyField(n.netmask, c.mask);
        CopyField(n.gateway, c.gateway);
        n.dhcp = 1;
        const NetworkSettings v = EditDialogValues(n);
        EXPECT_EQ(v.mask, c.shownMask) << c.name;
        EXPECT_EQ(v.gateway, c.shownGateway) << c.name;
        EXPECT_TRUE(v.dhcp);
    }
}

TEST(EditDialog, OkRule) {
    struct Case {
        const char* name;
        NetworkSettings values;
        bool accepted;
    } cases[] = {
        {"gateway in the subnet",
         {false, "192.168.1.250", "255.255.255.0", "192.168.1.1", "", ""},
         true},
        {"start ending in 255",
         {false, "192.168.1.255", "255.255.255.0", "192.168.1.1", "", ""},
         false},
        {"x.x.x.255 of a /16 is refused too",
         {false, "10.0.1.255", "255.255.0.0", "10.0.0.1", "", ""},
         false},
        {"gateway outside", {false, "192.168.1.9", "255.255.255.0", "192.168.2.1", "", ""}, false},
        {"wide mask lets it in",
         {false, "192.168.1.9", "255.255.0.0", "192.168.2.1", "", ""},
         true},
        {"not an address", {false, "192.168.1", "255.255.255.0", "192.168.1.1", "", ""}, false},
        {"bad DNS", {false, "192.168.1.9", "255.255.255.0", "192.168.1.1", "dns", ""}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogValuesAccepted(c.values), c.accepted) << c.name;
}

TEST_F(IpAssignmentTest, SendFailuresLeaveTheRow) {
    const int gone = AddRow(model, "GONE", 0, false);
    NetworkSettings v{false, "192.168.1.50", "255.255.255.0", "192.168.1.1", "", ""};
    EXPECT_EQ(ip.SendNetwork(gone, v), kTableUnknownSerial);
    EXPECT_EQ(ip.SendNetwork(99, v), kTableUnknownSerial);
    EXPECT_EQ(model.CellText(gone, kColumnIp), "127.0.0.1");
    EXPECT_TRUE(table.AssignedAddresses().empty());
    EXPECT_EQ(SetNetworkCount(), 0);
}

TEST(PcNetworkBlock, ReadsTheSystemOrFallsBack) {
    FakeNetwork net;
    net.outgoing = {{Ip("10.0.0.1")},
                    {{Ip("192.168.7.5"), Ip("255.255.255.0")}, {Ip("10.0.0.9"), Ip("255.0.0.0")}}};
    net.dns = {"10.0.0.53"};
    PcNetwork pc;
    pc.Fill(net);
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kIp), "10.0.0.9") << "the gateway's subnet wins";
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kMask), "255.0.0.0");
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kGateway), "10.0.0.1");
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kDns1), "10.0.0.53");
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kDns2), "");
    EXPECT_EQ(pc.GetNetworkParam(5), "");
    EXPECT_EQ(pc.GetNetworkParam(-1), "");

    net.outgoing.gateways.clear();
    PcNetwork noGateway;
    noGateway.Fill(net);
    EXPECT_EQ(noGateway.GetNetworkParam(PcNetwork::kIp), "192.168.7.5") << "first address";
    EXPECT_EQ(noGateway.GetNetworkParam(PcNetwork::kGateway), "192.168.1.1");

    net.dnsReadable = net.routeReadable = false;
    PcNetwork defaults;
    defaults.Fill(net);
    const std::vector<std::string> expected{"192.168.1.253", "255.255.255.0", "192.168.1.1",
                                            "192.168.1.1", "8.8.8.8"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(defaults.GetNetworkParam(i), expected[i]) << i;

    // Filled once: a second Fill keeps the values; Clear forgets them.
    pc.Fill(net);
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kIp), "10.0.0.9");
    pc.Clear();
    EXPECT_EQ(pc.GetNetworkParam(PcNetwork::kIp), "");
}

TEST(AssignedAddressTable, OneSlotPerAddressAndAFullTable) {
    RecordingSender sender;
    DeviceTable table(&sender);
    SearchAnswer a = testing::Answer("S", "10.0.0.1");
    table.StoreDeviceAnswer(a, "");
    auto send = [&](uint32_t address) {
        CopyField(a.network.ipAddress, DottedAddress(address).c_str());
        ASSERT_EQ(table.SetDeviceNetwork("S", &a, sizeof a), 0);
    };
    send(Ip("10.0.0.5"));
    send(Ip("10.0.0.6"));
    send(Ip("10.0.0.5"));
    EXPECT_EQ(table.AssignedAddresses(), (std::vector<uint32_t>{Ip("10.0.0.5"), Ip("10.0.0.6")}))
        << "sent again: moved to the first free slot";
    for (uint32_t i = 0; i < 300; ++i)
        send(Ip("10.1.0.0") + i);
    EXPECT_EQ(table.AssignedAddresses().size(), DeviceTable::kAssignedSlots);
    EXPECT_EQ(table.AssignedAddresses().back(), Ip("10.1.0.0") + 252) << "then nothing is kept";
    table.ClearDevices();
    EXPECT_TRUE(table.AssignedAddresses().empty());
}

}  // namespace
}  // namespace camfleet

namespace camfleet {
namespace {

// A device table on a clock the test moves, holding camera "S" at 10.0.0.1.
class MoveWait : public ::testing::Test {
protected:
    MoveWait() {
        table.SetClock([this] { return now; });
        table.SetMoveTimeouts({std::chrono::seconds(10), std::chrono::seconds(1)});
        table.StoreDeviceAnswer(old, "");
        moved = old;
        CopyField(moved.network.ipAddress, "10.0.0.9");
    }
    MoveState State() {
        table.CopyForMerge(&copy);
        return copy.items.empty() ? MoveState::kNone : copy.items[0].move;
    }
    std::string EntryIp() {
        SearchAnswer a{};
        table.GetDeviceAnswer("S", &a, sizeof a);
        return a.network.ipAddress;
    }
    void Later(int ms) { now += std::chrono::milliseconds(ms); }

    RecordingSender sender;
    DeviceTable table{&sender};
    TableCopy copy;
    std::chrono::steady_clock::time_point now{};
    SearchAnswer old = testing::Answer("S", "10.0.0.1");
    SearchAnswer moved;
};

TEST_F(MoveWait, EndsOnceWithTheFirstAnswerCarryingTheSentSettings) {
    EXPECT_EQ(State(), MoveState::kNone);
    ASSERT_EQ(table.SetDeviceNetwork("S", &moved, sizeof moved), 0);
    EXPECT_EQ(table.PendingMoveCount(), 1u);
    EXPECT_EQ(State(), MoveState::kAwaiting);
    table.StoreDeviceAnswer(old, "");  // an answer already on its way
    EXPECT_EQ(State(), MoveState::kAwaiting);
    table.StoreDeviceAnswer(moved, "");
    EXPECT_EQ(State(), MoveState::kMoved);
    EXPECT_EQ(State(), MoveState::kNone) << "an end is told once";
    EXPECT_EQ(table.PendingMoveCount(), 0u);

    SearchAnswer dhcp = moved;
    dhcp.network.dhcp = 1;
    ASSERT_EQ(table.SetDeviceNetwork("S", &dhcp, sizeof dhcp), 0);
    table.StoreDeviceAnswer(moved, "");  // still static
    EXPECT_EQ(State(), MoveState::kAwaiting);
    SearchAnswer leased = dhcp;
    CopyField(leased.network.ipAddress, "10.0.0.77");
    table.StoreDeviceAnswer(leased, "");
    EXPECT_EQ(State(), MoveState::kMoved);
}

TEST_F(MoveWait, OldSettingsUntilTheWaitRunsOutMeanNotApplied) {
    ASSERT_EQ(table.SetDeviceNetwork("S", &moved, sizeof moved), 0);
    EXPECT_EQ(EntryIp(), "10.0.0.9");
    for (int second = 1; second <= 9; ++second) {
        Later(1000);
        table.StoreDeviceAnswer(old, "");
        EXPECT_EQ(State(), MoveState::kAwaiting) << second;
    }
    Later(1000);
    EXPECT_EQ(State(), MoveState::kNotApplied);
    EXPECT_EQ(EntryIp(), "10.0.0.1") << "the entry holds the camera's real answer";
    EXPECT_EQ(State(), MoveState::kNone);
    EXPECT_EQ(table.PendingMoveCount(), 0u);
}

TEST_F(MoveWait, NoAnswerAtAllUntilTheWaitRunsOutMeansUnconfirmed) {
    ASSERT_EQ(table.SetDeviceNetwork("S", &moved, sizeof moved), 0);
    Later(500);
    table.StoreDeviceAnswer(old, "");  // within the grace: may have left before the send
    table.StoreDeviceAnswer(moved, "");
    ASSERT_EQ(State(), MoveState::kMoved);
    SearchAnswer again = moved;
    CopyField(again.network.ipAddress, "10.0.0.20");
    ASSERT_EQ(table.SetDeviceNetwork("S", &again, sizeof again), 0);
    Later(9999);
    EXPECT_EQ(State(), MoveState::kAwaiting);
    Later(1);
    EXPECT_EQ(State(), MoveState::kUnconfirmed);
    EXPECT_EQ(EntryIp(), "10.0.0.20") << "the entry keeps the settings sent";
}

TEST_F(MoveWait, AClearedTableForgetsTheWait) {
    ASSERT_EQ(table.SetDeviceNetwork("S", &moved, sizeof moved), 0);
    table.ClearDevices();
    table.StoreDeviceAnswer(old, "");
    EXPECT_EQ(State(), MoveState::kNone);
    EXPECT_EQ(table.PendingMoveCount(), 0u);
}

}  // namespace
}  // namespace camfleet

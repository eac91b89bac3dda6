// Address assignment on a simulated LAN with the real echo probe: veth pairs into a private
// camera namespace, cameras that take the addresses they are sent (and stop answering at the
// old ones), the list merge logging them in again. Needs root inside the test command's
// private namespace; each test takes a namespace of its own.

#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <sys/wait.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "device/sdk/qv_netsdk_ipc.h"
#include "discovery/device_searcher.h"
#include "ip_fakes.h"
#include "list_fixture.h"
#include "operations/device_list_sync.h"
#include "operations/fleet_session.h"
#include "operations/ip_assignment.h"
#include "resources/log.h"
#include "resources/save_param.h"
#include "sim/busy_cores.h"
#include "sim/lab_socket.h"
#include "sim/sim_lab.h"
#include "tests/lan_lab_guard.h"

namespace camfleet {
namespace {

using testing::Ip;

class LanIpTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing::LanLabUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(testing::EnterOwnNetworkNamespace());
        testing::EnsureCoreApplication();
    }

    // Starts the lab, the SDK and the list; every thread is made after the namespace switch.
    void Start(int cameras, const std::string& subnet, bool list = true) {
        sim::LabOptions options;
        options.cameras = cameras;
        options.lanSubnets = {subnet};
        std::string error;
        ASSERT_EQ(lab.Start(options, &error), 0) << error;
        if (!list)
            return;
        fleet = std::make_unique<FleetSession>(FleetOptions{.manualTicks = true});
        ASSERT_TRUE(fleet->StartSdk());
        fleet->StartSearch();
        ASSERT_TRUE(fleet->Searcher().IsRunning());
        ASSERT_TRUE(Drive([&] { return AllListedAndLoggedIn(cameras); }));
    }

    void TearDown() override { fleet.reset(); }

    // Merges every 200 ms and asks every 500 ms, as the window's timers do, until `done`.
    bool Drive(const std::function<bool()>& done) {
        using namespace std::chrono;
        const auto limit = steady_clock::now() + seconds(30);
        auto nextMerge = steady_clock::now();
        auto nextRequest = steady_clock::now();
        while (!done()) {
            if (steady_clock::now() > limit)
                return false;
            if (steady_clock::now() >= nextRequest) {
                fleet->RequestTick();
                nextRequest += milliseconds(500);
            }
            if (steady_clock::now() >= nextMerge) {
                fleet->MergeTick();
                nextMerge += milliseconds(200);
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(milliseconds(2));
        }
        return true;
    }

    bool LoggedInAt(int row, const std::string& ip) {
        const DeviceRecord* r = fleet->Model().Record(row);
        return r != nullptr && r->loggedIn != 0 && r->answer.network.ipAddress == ip &&
               !fleet->Model().CellText(row, kColumnVersion).isEmpty();
    }
    bool AllListedAndLoggedIn(int rows) {
        if (fleet->Model().Count() < rows)
            return false;
        for (int row = 0; row < rows; ++row)
            if (!LoggedInAt(row, fleet->Model().Record(row)->answer.network.ipAddress))
                return false;
        return true;
    }
    int RowOfCamera(int camera) {
        return fleet->Model().FindRowByKey(lab.Snapshot(camera).profile.serialNumber.c_str());
    }
    NetworkSettings Static(const std::string& ip) {
        return {false, ip, "255.255.255.0", "192.168.1.1", "192.168.1.1", ""};
    }

    sim::SimLab lab;                      // destroyed last
    std::unique_ptr<FleetSession> fleet;  // made after the namespace switch
    PcNetwork pc;
    testing::FakeNetwork network;
    IcmpProbe probe{&LogMessage};
    std::unique_ptr<NeighbourTable> neighbours = MakeSystemNeighbourTable();
    ScriptedPrompt prompt;
};

// Makes hosts `first` to `last` of 192.168.1.0/24 (but the camera's own .10) answer pings
// from the camera namespace.
void AnswerPings(sim::SimLab& lab, int first, int last) {
    std::string routes;
    for (int host = first; host <= last; ++host)
        if (host != 10)
            routes +=
                "route add local 192.168.1." + std::to_string(host) + "/32 dev lo table local\n";
    ASSERT_EQ(lab.RunInCameraNamespace({"ip", "-batch", "-"}, routes), 0);
}

TEST_F(LanIpTest, FreeAddressSkipsPingingHostsGatewayDevicesAssignedAndThePc) {
    Start(4, "192.168.1.0/24");
    network.outgoing = {{Ip("192.168.1.4")}, {{Ip("192.168.1.253"), Ip("255.255.255.0")}}};
    network.local = {{Ip("192.168.1.253"), Ip("255.255.255.0")}, {Ip("192.168.1.5"), 0}};
    IpAssignment ip(&fleet->Table(), &fleet->Model(), &pc, &network);
    // Cameras 0 and 1 move to .2 and .3: they answer pings there, and both addresses are in
    // the device table and the assigned-address table.
    ASSERT_EQ(ip.SendNetwork(RowOfCamera(0), Static("192.168.1.2")), 0);
    ASSERT_EQ(ip.SendNetwork(RowOfCamera(1), Static("192.168.1.3")), 0);
    ASSERT_TRUE(Drive([&] {
        return probe.Probe(Ip("192.168.1.2")) == kProbeInUse &&
               probe.Probe(Ip("192.168.1.3")) == kProbeInUse;
    }));
    EXPECT_EQ(probe.Probe(Ip("192.168.1.10")), kProbeUnused) << "the old address is gone";

    FreeSearchInput input = ip.CollectFreeSearchInput();
    EXPECT_EQ(input.pc, Ip("192.168.1.253"));
    EXPECT_EQ(input.gateway, Ip("192.168.1.4"));
    for (const char* taken : {"192.168.1.2", "192.168.1.3", "192.168.1.12", "192.168.1.13",
                              "192.168.1.5", "192.168.1.253"})
        EXPECT_EQ(input.taken.count(Ip(taken)), 1u) << taken;
    EXPECT_EQ(FindFreeAddress(input, probe, *neighbours), Ip("192.168.1.6"));
    // Without the tables, the answering hosts alone keep .2 and .3 from being offered.
    input.taken = {Ip("192.168.1.5")};
    EXPECT_EQ(FindFreeAddress(input, probe, *neighbours), Ip("192.168.1.6"));

    const int row = RowOfCamera(2);
    ASSERT_EQ(ip.AssignFreeAddress(row, probe, *neighbours, prompt), 0);
    EXPECT_TRUE(Drive([&] { return LoggedInAt(row, "192.168.1.6"); }));
    EXPECT_EQ(lab.Snapshot(2).profile.ipAddress, "192.168.1.6");
}

TEST_F(LanIpTest, FullSubnetShowsTheMessageAndSendsNothing) {
    Start(1, "192.168.1.0/24");
    // Every host of the subnet but the PC's is local to the camera namespace, so every
    // probe answers.
    ASSERT_NO_FATAL_FAILURE(AnswerPings(lab, 1, 252));
    ASSERT_NO_FATAL_FAILURE(AnswerPings(lab, 254, 254));
    network.outgoing = {{Ip("192.168.1.1")}, {{Ip("192.168.1.253"), Ip("255.255.255.0")}}};
    IpAssignment ip(&fleet->Table(), &fleet->Model(), &pc, &network);
    const std::size_t before = lab.Snapshot(0).received.size();
    fleet->StopSearch();
    EXPECT_EQ(ip.AssignFreeAddress(0, probe, *neighbours, prompt), kTableUnknownSerial);
    EXPECT_EQ(prompt.MessageKeys(), QStringList{"NO_FREE_IP"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(lab.Snapshot(0).received.size(), before) << "no datagram reached the camera";
    EXPECT_EQ(lab.Snapshot(0).profile.ipAddress, "192.168.1.10");
}

TEST_F(LanIpTest, NeighbourTableHoldsAnsweringHostsOnly) {
    Start(1, "192.168.1.0/24", false);
    ASSERT_NO_FATAL_FAILURE(AnswerPings(lab, 2, 2));
    EXPECT_EQ(probe.Probe(Ip("192.168.1.2")), kProbeInUse);
    EXPECT_EQ(probe.Probe(Ip("192.168.1.200")), kProbeUnused);
    const std::set<uint32_t> resolved = neighbours->ResolvedAddresses();
    EXPECT_EQ(resolved.count(Ip("192.168.1.2")), 1u);
    EXPECT_EQ(resolved.count(Ip("192.168.1.200")), 0u) << "being resolved, or failed";
    EXPECT_FALSE(ConfirmedFree(Ip("192.168.1.2"), probe, *neighbours));
    EXPECT_TRUE(ConfirmedFree(Ip("192.168.1.200"), probe, *neighbours));
}

// With every core oversubscribed, answers to the 64 side-by-side quick probes can come after
// their 100 ms waits: without the confirmation, 7 of 20 searches here handed out an answering
// host (.4 to .84). The confirmation must keep such a host from being handed out.
TEST_F(LanIpTest, FreeAddressUnderLoadIsNeverAnAnsweringHost) {
    Start(1, "192.168.1.0/24", false);
    ASSERT_NO_FATAL_FAILURE(AnswerPings(lab, 2, 128));
    const FreeSearchInput input{Ip("192.168.1.253"), Ip("192.168.1.1"), {}};
    sim::BusyCores busy(4);
    for (int run = 0; run < 5; ++run) {
        ASSERT_EQ(sim::RunCommand({"ip", "neigh", "flush", "all"}), 0);
        EXPECT_EQ(FindFreeAddress(input, probe, *neighbours), Ip("192.168.1.129")) << run;
    }
}

TEST_F(LanIpTest, NumberingSevenCamerasAcrossTheSubnetEnd) {
    // A /22 lab so that 192.168.2.x is on the same link; the PC end is 192.168.0.253.
    Start(7, "192.168.0.0/22");
    std::vector<int> rows;
    for (int row = 0; row < fleet->Model().Count(); ++row)
        rows.push_back(row);
    // A camera that dropped out of the device table: its send fails, its address goes on.
    const int gone = testing::AddRow(fleet->Model(), "GONE", 0, false);
    rows.insert(rows.begin() + 1, gone);
    IpAssignment ip(&fleet->Table(), &fleet->Model(), &pc, &network);
    const std::vector<int> results = ip.NumberDevices(
        rows, {false, "192.168.1.250", "255.255.255.0", "192.168.1.1", "", ""}, nullptr);
    EXPECT_EQ(results[1], kTableUnknownSerial);
    const char* expected[] = {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253",
                              "192.168.1.254", "192.168.2.1",   "192.168.2.2"};
    EXPECT_TRUE(Drive([&] {
        for (int k = 0; k < 7; ++k)
            if (!LoggedInAt(k, expected[k]))
                return false;
        return true;
    }));
    for (int k = 0; k < 7; ++k)
        EXPECT_TRUE(LoggedInAt(k, expected[k]))
            << k << " " << fleet->Model().Record(k)->answer.network.ipAddress;
}

TEST_F(LanIpTest, DhcpCameraTakesAPoolAddressAndComesBack) {
    Start(2, "192.168.1.0/24");
    IpAssignment ip(&fleet->Table(), &fleet->Model(), &pc, &network);
    const int row = RowOfCamera(1);
    ASSERT_EQ(ip.SwitchToDhcp({row}), (std::vector<int>{0}));
    EXPECT_TRUE(Drive([&] { return LoggedInAt(row, "192.168.1.12"); }))
        << fleet->Model().Record(row)->answer.network.ipAddress;
    EXPECT_EQ(fleet->Model().Record(row)->answer.network.dhcp, 1);
}

// Runs camfleet-cli with `args` in this namespace, with `documents` (else a folder of its own)
// as documents folder; returns its output lines and exit status.
std::vector<QJsonObject> RunCli(const std::string& args, int* status, QString documents = {}) {
    QTemporaryDir scratch;
    if (documents.isEmpty())
        documents = scratch.path();
    const std::string command = "CAMFLEET_DOCUMENTS_DIR=" + documents.toStdString() + " " +
                                CAMFLEET_BIN_DIR + "/camfleet-cli " + args;
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<QJsonObject> lines;
    if (pipe == nullptr)
        return lines;
    char line[4096];
    while (fgets(line, sizeof line, pipe) != nullptr)
        lines.push_back(QJsonDocument::fromJson(line).object());
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return lines;
}

TEST_F(LanIpTest, CliNumbersAndFindsAFreeAddress) {
    Start(3, "192.168.1.0/24", false);
    int status = -1;
    QTemporaryDir documents;
    const std::vector<QJsonObject> numbered = RunCli(
        "ip number --from 192.168.1.50 --all --json --seconds 20", &status, documents.path());
    EXPECT_EQ(status, 0);
    ASSERT_EQ(numbered.size(), 3u);
    QStringList addresses;
    for (const QJsonObject& o : numbered) {
        SCOPED_TRACE(QJsonDocument(o).toJson().toStdString());
        EXPECT_EQ(o["RESULT"].toInt(), 0);
        EXPECT_TRUE(o["RELISTED"].toBool());
        EXPECT_TRUE(o["LOGGEDIN"].toBool());
        addresses << o["IP"].toString();
    }
    EXPECT_EQ(addresses, (QStringList{"192.168.1.50", "192.168.1.51", "192.168.1.52"}));
    CSaveParam stored;
    stored.settingsFilePath = QDir(documents.path()).filePath("qv_cfg.xml");
    ASSERT_TRUE(stored.Load()) << "numbering saves its start address, as the window does";
    EXPECT_EQ(stored.firstAssignAddress, "192.168.1.50");

    // The PC's network falls back to 192.168.1.253 with gateway .1 (no default route here);
    // .2 is the first host nothing answers at.
    const std::string serial = lab.Snapshot(0).profile.serialNumber;
    const std::vector<QJsonObject> freed =
        RunCli("ip free " + serial + " --json --seconds 20", &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0]["IP"].toString(), "192.168.1.2");
    EXPECT_TRUE(freed[0]["RELISTED"].toBool());
    EXPECT_EQ(lab.Snapshot(0).profile.ipAddress, "192.168.1.2");
}

}  // namespace
}  // namespace camfleet

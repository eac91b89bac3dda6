// The simulated camera's behaviour, with the time passed in by the test.

#include <gtest/gtest.h>

#include <set>

#include "device/xml_messages.h"
#include "sim/camera_profile.h"
#include "sim/virtual_camera.h"

namespace camfleet::sim {
namespace {

using namespace std::chrono_literals;

const SimClock::time_point t0{};

class VirtualCameraTest : public testing::Test {
protected:
    std::string Request(int code, const std::string& body, int flag = 0) {
        return PrintDiscoveryEnvelope(kRootKestravin, code, flag, body.c_str());
    }
    std::string Command(int code, int flag = 0) {
        return Request(code, PrintSerialElement(camera.profile().serialNumber.c_str()), flag);
    }
    std::string SetNetwork(const char* ip, int dhcp) {
        NetworkBlock net{};
        CopyField(net.ipAddress, ip);
        CopyField(net.netmask, "255.255.255.0");
        net.dhcp = static_cast<int16_t>(dhcp);
        return Request(kMsgSetNetwork,
                       PrintNetworkBody(camera.profile().serialNumber.c_str(), net));
    }
    VirtualCamera::Reaction Send(const std::string& text, SimClock::time_point at = t0) {
        return camera.OnDatagram(text, at, [] { return std::string("10.0.0.100"); });
    }

    VirtualCamera camera{MakeCameraProfile(3, 0, "10.0.0.10", {}, 8091), t0};
    const std::string search = PrintDiscoveryEnvelope(kRootKestravin, kMsgSearch, 0, nullptr);
};

TEST(CameraProfileTest, IdentitiesRepeatWithTheSeedAndFitTheirFields) {
    std::set<std::string> serials;
    for (int i = 0; i < 200; ++i) {
        const CameraProfile p = MakeCameraProfile(9, i, "127.0.10.1", {}, 8091 + i);
        EXPECT_EQ(p.serialNumber, MakeCameraProfile(9, i, "127.0.10.1", {}, 0).serialNumber);
        EXPECT_NE(p.model.find("NVS"), std::string::npos) << p.model;
        EXPECT_LT(p.serialNumber.size(), 32u);
        EXPECT_LT(p.macAddress.size(), 18u);
        serials.insert(p.serialNumber);
    }
    EXPECT_EQ(serials.size(), 200u);
    EXPECT_NE(MakeCameraProfile(9, 0, "", {}, 0).serialNumber,
              MakeCameraProfile(10, 0, "", {}, 0).serialNumber);
}

TEST_F(VirtualCameraTest, AnswersSearchRequestsOnly) {
    const struct {
        const char* name;
        std::string text;
        bool answer;
    } cases[] = {
        {"search request", search, true},
        {"another camera's answer", PrintDiscoveryEnvelope(kRootNorvek, kMsgAnswer, 0, nullptr),
         false},
        {"garbage", "<x/>", false},
        {"reboot", Command(kMsgReboot), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Send(c.text, t0 + 10s).answer, c.answer) << c.name;
}

TEST_F(VirtualCameraTest, RebootIsSilentThenRunningTimeRestarts) {
    camera.SetRebootSilence(30s);
    EXPECT_GT(camera.RunningTime(t0 + 100s), 99);
    Send(Command(kMsgReboot), t0 + 100s);
    EXPECT_EQ(camera.rebootCount(), 1);
    EXPECT_FALSE(Send(search, t0 + 129s).answer) << "silent while it reboots";
    EXPECT_TRUE(Send(search, t0 + 130s).answer);
    EXPECT_EQ(camera.RunningTime(t0 + 135s), 5);
}

TEST_F(VirtualCameraTest, FirmwareInstallIsSilentForItsOwnTimeAndOutlivesARestore) {
    camera.SetRebootSilence(30s);
    camera.InstallFirmware(t0 + 100s, "V9.0.0", 2s);
    EXPECT_EQ(camera.rebootCount(), 1);
    EXPECT_FALSE(Send(search, t0 + 101s).answer) << "silent while it restarts";
    EXPECT_TRUE(Send(search, t0 + 102s).answer) << "the upgrade's time, not the reboot silence";
    EXPECT_NE(camera.Answer(t0 + 102s).find("V9.0.0"), std::string::npos);

    camera.SetReportedModel("ACME-CAM 9");
    EXPECT_NE(camera.Answer(t0 + 102s).find("ACME-CAM 9"), std::string::npos);
    Send(Command(kMsgRestore), t0 + 103s);
    EXPECT_EQ(camera.profile().version, "V9.0.0");
    EXPECT_EQ(camera.profile().model, "ACME-CAM 9");
    camera.Restart(t0 + 104s, true);
    EXPECT_EQ(camera.profile().version, "V9.0.0");
    EXPECT_EQ(camera.profile().model, "ACME-CAM 9");
}

TEST_F(VirtualCameraTest, SetNetworkStaticAndDhcp) {
    EXPECT_TRUE(Send(SetNetwork("10.0.0.55", 0)).addressChanged);
    EXPECT_EQ(camera.profile().ipAddress, "10.0.0.55");
    EXPECT_EQ(camera.profile().netmask, "255.255.255.0");
    EXPECT_TRUE(Send(SetNetwork("", 1)).addressChanged);
    EXPECT_EQ(camera.profile().ipAddress, "10.0.0.100") << "leased from the lab's pool";
    EXPECT_EQ(camera.profile().dhcp, 1);
    Send(Command(kMsgRestore));
    EXPECT_EQ(camera.profile().ipAddress, "10.0.0.10") << "factory restore";
    EXPECT_EQ(camera.restoreCount(), 1);
}

TEST_F(VirtualCameraTest, CommandsForAnotherSerialAreIgnored) {
    const std::string other = PrintSerialElement("SOMEONE-ELSE");
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"reboot", Request(kMsgReboot, other)},
        {"mode", Request(kMsgMode, other, 5)},
        {"restore", Request(kMsgRestore, other)},
    };
    for (const auto& c : cases)
        Send(c.text);
    EXPECT_EQ(camera.rebootCount(), 0);
    EXPECT_EQ(camera.mode(), 0);
    EXPECT_EQ(camera.restoreCount(), 0);
}

TEST_F(VirtualCameraTest, ModeTakesTheFlagAndFhConfigLeavesTheNetwork) {
    Send(Command(kMsgMode, 7));
    EXPECT_EQ(camera.mode(), 7);
    const char fields[7][32] = {"A", "B", "C", "D", "E", "F", "G"};
    const std::string serial = camera.profile().serialNumber;
    EXPECT_FALSE(
        Send(Request(kMsgSetNetwork, PrintFhConfigBody(serial.c_str(), fields))).addressChanged);
    EXPECT_EQ(camera.profile().ipAddress, "10.0.0.10");
}

}  // namespace
}  // namespace camfleet::sim

// The SDK against the cameras of a loopback lab: each serves the camera-control protocol on
// its own address and PTZPort with the account of its discovery answer.

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "device/sdk/socket_util.h"
#include "sdk_fixture.h"
#include "sim/lab_socket.h"
#include "sim/sim_lab.h"
#include "tests/lan_lab_guard.h"

namespace camfleet::testing {
namespace {

class SdkLab : public SdkTest {
protected:
    void SetUp() override {
        SdkTest::SetUp();
        sim::LabOptions options;
        options.cameras = 3;
        options.port = 3201;
        // Tests may run side by side (ctest -j): each lab takes addresses of its own.
        unsigned hash = 0;
        for (const char* c = ::testing::UnitTest::GetInstance()->current_test_info()->name();
             *c != '\0'; ++c)
            hash = hash * 31 + static_cast<unsigned char>(*c);
        options.firstAddress = "127.0." + std::to_string(100 + hash % 100) + ".1";
        options.rebootSilence = std::chrono::milliseconds(100);
        std::string error;
        ASSERT_EQ(lab_.Start(options, &error), 0) << error;
    }
    void TearDown() override {
        SdkTest::TearDown();
        lab_.Stop();
    }
    int LabLogin(int index, const char* password = nullptr) {
        const sim::CameraProfile p = lab_.Snapshot(index).profile;
        return QV_NETSDK_IPC_Login(p.ipAddress.c_str(), p.ptzPort, p.username.c_str(),
                                   password != nullptr ? password : p.password.c_str(), 0);
    }

    sim::SimLab lab_;
};

TEST_F(SdkLab, EveryLabCameraAnswersWithItsOwnIdentity) {
    for (int i = 0; i < 3; ++i) {
        const int handle = LabLogin(i);
        ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN)) << i;
        ASSERT_EQ(QV_NETSDK_IPC_SystemControl(handle, kCtlSerialNumber, nullptr, "RESPONSE_PARAM"),
                  QV_OK);
        AnswerRecord answer;
        ASSERT_TRUE(hooks_.WaitAnswer(handle, kCtlSerialNumber, &answer));
        EXPECT_EQ(answer.text, "<RESPONSE_PARAM SerialNumber=\"" +
                                   lab_.Snapshot(i).profile.serialNumber + "\" />");
    }
}

TEST_F(SdkLab, SdkRebootSilencesTheDiscoverySideAndTheSessionComesBack) {
    const int handle = LabLogin(1);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    ASSERT_EQ(QV_NETSDK_IPC_RebootDVR(handle), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2));
    EXPECT_EQ(lab_.Snapshot(1).reboots, 1);
    EXPECT_EQ(lab_.Snapshot(0).reboots, 0);
}

TEST_F(SdkLab, PasswordChangedOnTheCameraRefusesTheAnswerAccount) {
    lab_.control().SetPassword(2, "changed");
    const int refused = LabLogin(2);
    EXPECT_TRUE(hooks_.WaitEvent(refused, QV_EVENT_AUTH_FAILED));
    const int accepted = LabLogin(2, "changed");
    EXPECT_TRUE(hooks_.WaitEvent(accepted, QV_EVENT_LOGGED_IN));
}

TEST_F(SdkLab, MovedCameraListensOnItsNewAddressOnly) {
    const int old = LabLogin(0);
    ASSERT_TRUE(hooks_.WaitEvent(old, QV_EVENT_LOGGED_IN));
    ASSERT_EQ(QV_NETSDK_IPC_SetAutoReconnect(old, 0), QV_OK);
    lab_.control().MoveCamera(0, "127.0.99.77");
    ASSERT_TRUE(hooks_.WaitEvent(old, QV_EVENT_DISCONNECTED));
    const sim::CameraProfile p = lab_.Snapshot(0).profile;
    const int moved = QV_NETSDK_IPC_Login("127.0.99.77", p.ptzPort, "admin", p.password.c_str(), 0);
    ASSERT_TRUE(hooks_.WaitEvent(moved, QV_EVENT_LOGGED_IN));
    ASSERT_EQ(QV_NETSDK_IPC_GetDVRConfig(moved, kCmdGetNetwork, 0, "", 0, nullptr), QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(moved, kCmdGetNetwork, &answer));
    EXPECT_NE(answer.text.find("IPAddress=\"127.0.99.77\""), std::string::npos) << answer.text;
}

using SdkLabPorts = SdkTest;

TEST_F(SdkLabPorts, CameraWhosePortIsTakenListensOnAFreeOne) {
    std::string error;
    const int taken = sdk::Listen("127.0.20.2", 8092, &error);
    ASSERT_GE(taken, 0) << error;
    sim::SimLab lab;
    sim::LabOptions options;
    options.cameras = 2;
    options.port = 3202;
    options.firstAddress = "127.0.20.1";
    ASSERT_EQ(lab.Start(options, &error), 0) << error;
    const sim::CameraProfile p = lab.Snapshot(1).profile;
    EXPECT_EQ(p.ptzPort, 8092) << "the answer keeps the configured port";
    EXPECT_EQ(lab.control().Port(0), 8091);
    ASSERT_NE(lab.control().Port(1), 8092);
    const int handle = QV_NETSDK_IPC_Login(p.ipAddress.c_str(), lab.control().Port(1), "admin",
                                           p.password.c_str(), 0);
    EXPECT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    sdk::CloseSocket(taken);
}

// A LAN lab: the cameras sit in their own namespace behind veth pairs; the SDK reaches them
// from the PC side. Needs root inside the private namespace of scripts/netns-run.sh.
class SdkLanLab : public SdkTest {
protected:
    void SetUp() override {
        if (const std::string why = testing::LanLabUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(testing::EnterOwnNetworkNamespace());
        SdkTest::SetUp();
        sim::LabOptions options;
        options.cameras = 2;
        options.lanSubnets = {"192.168.1.0/24"};
        options.rebootSilence = std::chrono::milliseconds(100);
        std::string error;
        ASSERT_EQ(lab_.Start(options, &error), 0) << error;
    }
    void TearDown() override {
        SdkTest::TearDown();
        lab_.Stop();
    }
    sim::SimLab lab_;
};

TEST_F(SdkLanLab, LoginAndRebootAcrossTheLink) {
    const sim::CameraProfile p = lab_.Snapshot(1).profile;
    const int handle = QV_NETSDK_IPC_Login(p.ipAddress.c_str(), p.ptzPort, p.username.c_str(),
                                           p.password.c_str(), 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    ASSERT_EQ(QV_NETSDK_IPC_RebootDVR(handle), QV_OK);
    EXPECT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2)) << "listener reopened inside "
                                                                    "the camera namespace";
    EXPECT_EQ(lab_.Snapshot(1).reboots, 1);
}

}  // namespace
}  // namespace camfleet::testing

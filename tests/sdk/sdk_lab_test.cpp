// The SDK against the cameras of a loopback lab: each serves the camera-control protocol on
// its own address and PTZPort with the account of its discovery answer.

#include "sdk_fixture.h"
#include "sim/sim_lab.h"

namespace camfleet::testing {
namespace {

class SdkLab : public SdkTest {
protected:
    void SetUp() override {
        SdkTest::SetUp();
        sim::LabOptions options;
        options.cameras = 3;
        options.port = 3201;
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
        ASSERT_EQ(QV_NETSDK_IPC_SystemControl(handle, 1019, nullptr, "RESPONSE_PARAM"), QV_OK);
        AnswerRecord answer;
        ASSERT_TRUE(hooks_.WaitAnswer(handle, 1019, &answer));
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

}  // namespace
}  // namespace camfleet::testing

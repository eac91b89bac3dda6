// The channel under the control session and its bulk connections: pinned camera keys, and
// what a listener on the wire gets to see.

#include "bulk_outcome.h"
#include "device/codes.h"
#include "device/sdk/sdk_engine.h"
#include "device/sdk/socket_util.h"
#include "recording_relay.h"
#include "resources/known_cameras.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using SdkSecureChannel = SdkTestWithOwnPins;

TEST_F(SdkSecureChannel, ChangedCameraKeyIsRefusedUntilTrusted) {
    QV_NETSDK_IPC_SetAutoReconnect(0, 0);
    const int camera = AddCamera();
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    KnownCameras& known = KnownCameras::Shared();
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));

    server_.SetKeyGeneration(camera, 1);  // a replaced camera with the same serial number
    const int refused = Login(camera);
    ASSERT_GT(refused, 0);
    EXPECT_TRUE(hooks_.WaitEvent(refused, QV_EVENT_KEY_CHANGED));
    EXPECT_EQ(server_.LoginCount(camera), 1);
    EXPECT_NE(known.KeyOf("SN1"), server_.PublicKey(camera));
    QV_NETSDK_IPC_Logout(refused);

    bool wasKnown = false;
    ASSERT_TRUE(known.Trust("SN1", &wasKnown));
    EXPECT_TRUE(wasKnown);
    QV_NETSDK_IPC_Logout(LoggedIn(camera));
    EXPECT_EQ(known.KeyOf("SN1"), server_.PublicKey(camera));
    EXPECT_EQ(server_.LoginCount(camera), 2);
}

TEST_F(SdkSecureChannel, SniffedSessionShowsNoPasswordsOrDocuments) {
    const int camera = AddCamera("FirstSecret-730418");
    RecordingRelay relay(server_.Port(camera));
    const int handle =
        QV_NETSDK_IPC_Login("127.0.0.1", relay.port(), "admin", "FirstSecret-730418", 0);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    const std::string account =
        "<UserConfig><Account Username=\"admin\" Password=\"NextSecret-99\" "
        "Group=\"Administrator\" Status=\"Enable\" /></UserConfig>";
    ASSERT_EQ(QV_NETSDK_IPC_SetDVRConfig(handle, kCmdSetAdminPassword, 0, account.c_str(),
                                         static_cast<int>(account.size())),
              QV_OK);
    AnswerRecord answer;
    ASSERT_TRUE(hooks_.WaitAnswer(handle, kCmdSetAdminPassword, &answer));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(server_.Password(camera), "NextSecret-99");

    // A file goes up over a bulk connection through the same relay.
    const std::string file = FileBytes(1048576 + 99, "BulkMarker-4711;");
    const std::string path = documents_.filePath("marked.cfg").toStdString();
    ASSERT_TRUE(WriteFile(path, file));
    BulkOutcome outcome;
    uint64_t id = 0;
    ASSERT_EQ(
        sdk::RunningEngine()->StartUpload(handle, {sdk::BulkPurpose::kConfig, "marked.cfg", path},
                                          outcome.Callbacks(), &id),
        QV_OK);
    ASSERT_EQ(outcome.Wait().status, sdk::BulkStatus::kOk);
    const auto stored = server_.UploadedFile(camera, sdk::BulkPurpose::kConfig);
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->bytes == file);
    QV_NETSDK_IPC_Logout(handle);

    const std::string wire = relay.Recorded();
    EXPECT_GT(wire.size(), file.size());
    for (const char* secret : {"FirstSecret", "NextSecret", "UserConfig", "LoginResult", "admin",
                               "BulkMarker", "marked.cfg", "Token", "Attach"})
        EXPECT_EQ(wire.find(secret), std::string::npos) << secret;
}

}  // namespace
}  // namespace camfleet::testing

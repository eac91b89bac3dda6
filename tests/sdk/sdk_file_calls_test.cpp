// The file calls of the SDK's C interface against a simulated camera: the configuration file
// that waits for the camera's verdict, the OEM application upload whose verdict comes as an
// event, and the firmware upgrade's start, progress and the failures the SDK itself reports.

#include <functional>
#include <thread>

#include "bulk_outcome.h"
#include "device/sdk/bulk_protocol.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using sdk::BulkPurpose;

class SdkFileCalls : public SdkTestWithOwnPins {
protected:
    std::string Local(const std::string& name, const std::string& bytes) {
        const std::string path = documents_.filePath(QString::fromStdString(name)).toStdString();
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    // Polls `done` for up to 10 s.
    static bool Eventually(const std::function<bool()>& done) {
        for (int i = 0; i < 1000; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string LastEventData(int handle, int type) {
        std::string data;
        for (const StatusRecord& e : hooks_.Events())
            if (e.handle == handle && e.type == type)
                data = e.data;
        return data;
    }
};

TEST_F(SdkFileCalls, ConfigurationFileWaitsForTheCamerasVerdict) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string bytes = FileBytes(600000);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, Local("devicetype.oem", bytes).c_str()), QV_OK);
    const auto stored = server_.UploadedFile(camera, BulkPurpose::kConfig);
    ASSERT_TRUE(stored.has_value()) << "the call returned before the camera had the file";
    EXPECT_EQ(stored->name, "devicetype.oem");
    EXPECT_EQ(stored->digest, Sha256Of(bytes));

    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, "/nonexistent/camera.cfg"), QV_ERR_FILE);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle + 100, Local("a.cfg", "x").c_str()),
              QV_ERR_HANDLE);

    // The camera breaks the transfer off: the call fails, nothing is stored.
    server_.SetBulkFault(camera, {false, 300000});
    EXPECT_NE(QV_NETSDK_IPC_SetConfigFile(handle, Local("big.cfg", bytes).c_str()), QV_OK);
    EXPECT_EQ(server_.UploadedFile(camera, BulkPurpose::kConfig)->name, "devicetype.oem");
}

TEST_F(SdkFileCalls, OemApplicationVerdictArrivesAsAnEventFromWhicheverSideKnowsIt) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    ASSERT_EQ(QV_NETSDK_IPC_UploadOEMAppFile(handle, Local("app.tgz", FileBytes(70000)).c_str()),
              QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_DONE));
    EXPECT_EQ(LastEventData(handle, QV_EVENT_FILE_DONE),
              "<RESPONSE_PARAM LocalFileName=\"app.tgz\" />");

    // Refused at the open (above the camera's size limit): the camera never saw a transfer,
    // so the SDK reports it, once.
    sim::ControlLimits limits;
    limits.maxBulkSize = 1000;
    server_.SetLimits(limits);
    ASSERT_EQ(QV_NETSDK_IPC_UploadOEMAppFile(handle, Local("huge.bin", FileBytes(5000)).c_str()),
              QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_FAILED));
    EXPECT_EQ(LastEventData(handle, QV_EVENT_FILE_FAILED),
              "<RESPONSE_PARAM LocalFileName=\"huge.bin\" />");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(hooks_.CountEvents(handle, QV_EVENT_FILE_FAILED), 1);
    EXPECT_EQ(QV_NETSDK_IPC_UploadOEMAppFile(handle, "/nonexistent/app"), QV_ERR_FILE);
}

TEST_F(SdkFileCalls, UpgradeReportsTransferProgressThenTheCamerasOwn) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle), 0);
    const std::string path = Local("firmware_NVS.bin", FileBytes(3 * 1048576));
    ASSERT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_OK);
    ASSERT_TRUE(Eventually([&] {
        return server_.UploadsAccepted(camera) == 1 &&
               QV_NETSDK_IPC_GetUpgradeProgress(handle) == 50;
    }));
    EXPECT_GE(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_PROGRESS), 2);
    EXPECT_EQ(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_FAILED), 0);

    // The camera writes it: its percentage fills the second half.
    server_.EmitEvent(camera, QV_EVENT_UPGRADE_PROGRESS_2, sdk::PrintUpgradeProgress(40));
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_PROGRESS_2));
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle), 70);
    server_.EmitEvent(camera, QV_EVENT_UPGRADE_PROGRESS_2, "<Upgrade Progress=\"999\" />");
    server_.EmitEvent(camera, QV_EVENT_UPGRADE_DONE, "<Upgrade Version=\"V2\" />");
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_DONE));
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle), 100);

    EXPECT_EQ(QV_NETSDK_IPC_Upgrade(handle, "/nonexistent/firmware.bin"), QV_ERR_FILE);
    EXPECT_EQ(QV_NETSDK_IPC_Upgrade(handle, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle + 100), QV_ERR_HANDLE);
}

TEST_F(SdkFileCalls, AFailedTransferOrALostSessionEndsTheUpgradeWithEventFifteen) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string path = Local("firmware_NVS.bin", FileBytes(2 * 1048576));

    // A stalled camera: a second image for the same handle is refused while the first is on
    // its way; the session's loss ends it.
    server_.SetBulkFault(camera, {true, -1});
    ASSERT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_OK);
    EXPECT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_ERR_BUSY);
    server_.DropSessions(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_FAILED));
    EXPECT_EQ(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_DONE), 0);
    server_.SetBulkFault(camera, {});
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN, 2));

    // The camera breaks the transfer off.
    server_.SetBulkFault(camera, {false, 600000});
    ASSERT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_FAILED, 2));
    server_.SetBulkFault(camera, {});

    // The file arrived whole, then the session went while the camera wrote it: nobody else
    // can tell the outcome any more.
    ASSERT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_OK);
    ASSERT_TRUE(Eventually([&] { return QV_NETSDK_IPC_GetUpgradeProgress(handle) == 50; }));
    server_.DropSessions(camera);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_FAILED, 3));
    EXPECT_EQ(LastEventData(handle, QV_EVENT_UPGRADE_FAILED), "<Upgrade Error=\"session lost\" />");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_FAILED), 3);
}

}  // namespace
}  // namespace camfleet::testing

// The file calls of the SDK's C interface against a simulated camera: the configuration file
// that waits for the camera's verdict, the OEM application upload whose verdict comes as an
// event, and the firmware upgrade's start, progress and the failures the SDK itself reports.

#include <QFile>

#include <functional>
#include <thread>

#include "bulk_outcome.h"
#include "device/config_file.h"
#include "device/sdk/bulk_protocol.h"
#include "sdk_fixture.h"
#include "sim/firmware_image.h"

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
    // A lab firmware image for any model.
    std::string Image(const std::string& name, const std::string& version, uint64_t size) {
        const std::string path = documents_.filePath(QString::fromStdString(name)).toStdString();
        std::string error;
        EXPECT_TRUE(sim::WriteLabFirmwareFile(path, {"*", version, size}, &error)) << error;
        return path;
    }
    std::string LastEventData(int handle, int type) {
        std::string data;
        for (const StatusRecord& e : hooks_.Events())
            if (e.handle == handle && e.type == type)
                data = e.data;
        return data;
    }
};

// A configuration file of about `size` bytes that the camera takes (the filler is a comment).
std::string ConfigBytes(std::size_t size) {
    const std::string head =
        "<NORVEKConfig><RecordConfig/><ServerConfig/><SystemConfig/><NetworkConfig/>"
        "<MediaConfig/><MediaStreamConfig/><AlarmConfig/><!--";
    const std::string tail = "--></NORVEKConfig>";
    return head +
           std::string(size > head.size() + tail.size() ? size - head.size() - tail.size() : 0,
                       'x') +
           tail;
}

TEST_F(SdkFileCalls, ConfigurationFileWaitsForTheCamerasVerdict) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string bytes = ConfigBytes(600000);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, Local("camera.cfg", bytes).c_str()), QV_OK);
    const auto stored = server_.UploadedFile(camera, BulkPurpose::kConfig);
    ASSERT_TRUE(stored.has_value()) << "the call returned before the camera had the file";
    EXPECT_EQ(stored->name, "camera.cfg");
    EXPECT_EQ(stored->digest, Sha256Of(bytes));

    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, "/nonexistent/camera.cfg"), QV_ERR_FILE);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle + 100, Local("a.cfg", "x").c_str()),
              QV_ERR_HANDLE);

    // The camera breaks the transfer off: the call fails, nothing is stored.
    server_.SetBulkFault(camera, {false, 300000});
    EXPECT_NE(QV_NETSDK_IPC_SetConfigFile(handle, Local("big.cfg", bytes).c_str()), QV_OK);
    EXPECT_EQ(server_.UploadedFile(camera, BulkPurpose::kConfig)->name, "camera.cfg");

    // A model file the camera cannot read is refused; a good one is taken.
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, Local("devicetype.oem", "OEM=1\n").c_str()),
              QV_ERR_REFUSED);
    server_.SetBulkFault(camera, {});
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(
                  handle, Local("devicetype.oem", "SET_OEM_DEVTYPE_FLAG=OEM-1").c_str()),
              QV_OK);
    EXPECT_EQ(server_.ReportedModel(camera), "NVS-OEM-1");

    // A file that is not a configuration is refused.
    EXPECT_EQ(QV_NETSDK_IPC_SetConfigFile(handle, Local("junk.xml", FileBytes(5000)).c_str()),
              QV_ERR_REFUSED);
}

// The camera's whole configuration to a local file: event 16 names the file once it is there,
// 17 when it could not be written; no part file is left behind.
TEST_F(SdkFileCalls, ConfigurationDownloadEndsWithAnEventNamingTheFile) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string path = documents_.filePath("config_x.xml").toStdString();
    ASSERT_EQ(QV_NETSDK_IPC_GetConfigFile(handle, path.c_str()), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_DONE));
    EXPECT_EQ(LastEventData(handle, QV_EVENT_FILE_DONE),
              "<RESPONSE_PARAM LocalFileName=\"" + path + "\" />");
    const std::string text = ReadFile(path);
    EXPECT_TRUE(CheckConfigText(text)) << text.substr(0, 400);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path + ".part")));

    const std::string unwritable = "/nonexistent/folder/config_y.xml";
    ASSERT_EQ(QV_NETSDK_IPC_GetConfigFile(handle, unwritable.c_str()), QV_OK);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_FAILED));
    EXPECT_EQ(LastEventData(handle, QV_EVENT_FILE_FAILED),
              "<RESPONSE_PARAM LocalFileName=\"" + unwritable + "\" />");
    EXPECT_EQ(QV_NETSDK_IPC_GetConfigFile(handle, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetConfigFile(handle, ""), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetConfigFile(handle + 100, path.c_str()), QV_ERR_HANDLE);
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
    server_.SetFirmwareTiming(camera, std::chrono::milliseconds(2000),
                              std::chrono::milliseconds(100));
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle), 0);
    EXPECT_EQ(QV_NETSDK_IPC_Upgrade(handle, "/nonexistent/firmware.bin"), QV_ERR_FILE);
    EXPECT_EQ(QV_NETSDK_IPC_Upgrade(handle, nullptr), QV_ERR_PARAM);
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle + 100), QV_ERR_HANDLE);
    const std::string path = Image("firmware_NVS.bin", "V2.0", 3 * 1048576);
    ASSERT_EQ(QV_NETSDK_IPC_Upgrade(handle, path.c_str()), QV_OK);
    // The file's way: the first half.
    ASSERT_TRUE(Eventually([&] {
        return server_.UploadsAccepted(camera) == 1 &&
               QV_NETSDK_IPC_GetUpgradeProgress(handle) >= 50;
    }));
    EXPECT_GE(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_PROGRESS), 2);
    // The camera's write: the second half, from its own events.
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_PROGRESS_2));
    const int writing = QV_NETSDK_IPC_GetUpgradeProgress(handle);
    EXPECT_GT(writing, 50);
    EXPECT_LT(writing, 100);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_UPGRADE_DONE));
    EXPECT_EQ(QV_NETSDK_IPC_GetUpgradeProgress(handle), 100);
    EXPECT_EQ(hooks_.CountEvents(handle, QV_EVENT_UPGRADE_FAILED), 0);
    EXPECT_EQ(server_.FirmwareVersion(camera), "V2.0");
}

TEST_F(SdkFileCalls, AFailedTransferOrALostSessionEndsTheUpgradeWithEventFifteen) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string path = Image("firmware_NVS.bin", "V2.0", 2 * 1048576);
    server_.SetFirmwareTiming(camera, std::chrono::milliseconds(5000),
                              std::chrono::milliseconds(100));

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

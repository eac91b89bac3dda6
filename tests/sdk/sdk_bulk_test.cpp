// Bulk transfers of the SDK against a simulated camera: files up and down in acknowledged
// chunks, the whole-file check, and every way a transfer can fail cleanly.

#include <filesystem>
#include <thread>

#include "bulk_outcome.h"
#include "device/config_file.h"
#include "device/sdk/sdk_engine.h"
#include "recording_relay.h"
#include "sdk_fixture.h"

namespace camfleet::testing {
namespace {

using sdk::BulkPurpose;
using sdk::BulkStatus;

class SdkBulk : public SdkTestWithOwnPins {
protected:
    std::string PathOf(const std::string& name) {
        return documents_.filePath(QString::fromStdString(name)).toStdString();
    }
    // Writes `bytes` to a local file and uploads it to `handle`; the transfer's outcome.
    sdk::BulkResult Upload(int handle, const std::string& bytes, BulkPurpose purpose,
                           const std::string& name, BulkOutcome* outcome) {
        const std::string path = PathOf("upload-" + std::to_string(++files_));
        EXPECT_TRUE(WriteFile(path, bytes));
        uint64_t id = 0;
        EXPECT_EQ(sdk::RunningEngine()->StartUpload(handle, {purpose, name, path},
                                                    outcome->Callbacks(), &id),
                  QV_OK);
        return outcome->Wait();
    }
    sdk::BulkResult Download(int handle, BulkPurpose purpose, const std::string& name,
                             const std::string& path) {
        BulkOutcome outcome;
        uint64_t id = 0;
        EXPECT_EQ(sdk::RunningEngine()->StartDownload(handle, {purpose, name, path},
                                                      outcome.Callbacks(), &id),
                  QV_OK);
        return outcome.Wait();
    }
    int files_ = 0;
};

TEST_F(SdkBulk, SeveralMebibytesGoUpWholeWithSteadyProgressAndTheFileEvent) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string bytes = FileBytes(5 * 1048576 + 12345);
    BulkOutcome outcome;
    const sdk::BulkResult result =
        Upload(handle, bytes, BulkPurpose::kOemApp, "camera.cfg", &outcome);
    ASSERT_EQ(result.status, BulkStatus::kOk) << sdk::BulkStatusName(result.status);
    EXPECT_EQ(result.bytes, bytes.size());

    const auto stored = server_.UploadedFile(camera, BulkPurpose::kOemApp);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->name, "camera.cfg");
    EXPECT_EQ(stored->digest, Sha256Of(bytes));
    EXPECT_TRUE(stored->bytes == bytes);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_DONE));
    EXPECT_EQ(hooks_.Events().back().data, "<RESPONSE_PARAM LocalFileName=\"camera.cfg\" />");

    const auto progress = outcome.Progress();
    ASSERT_GE(progress.size(), 3u);
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_GT(progress[i].first, progress[i - 1].first) << "at report " << i;
    EXPECT_EQ(progress.back().first, bytes.size());
    EXPECT_EQ(progress.back().second, bytes.size());

    // The file is five times the window: the sender never held it whole.
    const std::size_t window = sdk::kBulkWindowChunks * sdk::kBulkChunk;
    ASSERT_GT(bytes.size(), 2 * window);
    EXPECT_LE(result.peakUnacknowledged, window);
    EXPECT_LE(result.peakHeld, 2 * (sdk::kBulkChunk + 4096)) << "one chunk, plain and sealed";
}

TEST_F(SdkBulk, DownloadsTheConfigurationAndANamedFileAfterCheckingThem) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    const std::string config = PathOf("config.xml");
    sdk::BulkResult result = Download(handle, BulkPurpose::kConfig, {}, config);
    ASSERT_EQ(result.status, BulkStatus::kOk) << sdk::BulkStatusName(result.status);
    EXPECT_EQ(ReadFile(config), server_.ConfigExport(camera));
    EXPECT_TRUE(CheckConfigText(ReadFile(config)));

    const std::string clip = FileBytes(3 * 1048576 + 7, "clip");
    server_.PutFile(camera, "clip.bin", clip);
    const std::string path = PathOf("clip.bin");
    result = Download(handle, BulkPurpose::kFile, "clip.bin", path);
    ASSERT_EQ(result.status, BulkStatus::kOk) << sdk::BulkStatusName(result.status);
    EXPECT_TRUE(ReadFile(path) == clip);
    EXPECT_EQ(result.digest, Sha256Of(clip));

    result = Download(handle, BulkPurpose::kFile, "missing.bin", PathOf("missing.bin"));
    EXPECT_EQ(result.status, BulkStatus::kCameraRefused);
    EXPECT_EQ(result.cameraStatus, sdk::kStatusFailed);
    EXPECT_FALSE(std::filesystem::exists(PathOf("missing.bin")));
}

TEST_F(SdkBulk, ABrokenBulkConnectionFailsCleanlyOnBothEnds) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetBulkFault(camera, {false, 1048576});
    BulkOutcome up;
    const sdk::BulkResult result =
        Upload(handle, FileBytes(4 * 1048576), BulkPurpose::kFile, "a.bin", &up);
    EXPECT_EQ(result.status, BulkStatus::kLost) << sdk::BulkStatusName(result.status);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_FAILED));
    EXPECT_FALSE(server_.UploadedFile(camera, BulkPurpose::kFile).has_value());
    EXPECT_EQ(server_.UploadsAccepted(camera), 0);
    EXPECT_EQ(server_.UploadsFailed(camera), 1);
    EXPECT_EQ(up.Results(), 1);

    server_.PutFile(camera, "b.bin", FileBytes(4 * 1048576));
    const std::string path = PathOf("b.bin");
    EXPECT_EQ(Download(handle, BulkPurpose::kFile, "b.bin", path).status, BulkStatus::kLost);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".part")) << "the partial file is removed";
}

TEST_F(SdkBulk, AStalledCameraIsGivenUpAfterTheStallTime) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetBulkFault(camera, {true, -1});
    const auto start = std::chrono::steady_clock::now();
    BulkOutcome outcome;
    const sdk::BulkResult result =
        Upload(handle, FileBytes(8 * 1048576), BulkPurpose::kFile, "a.bin", &outcome);
    EXPECT_EQ(result.status, BulkStatus::kStalled) << sdk::BulkStatusName(result.status);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(FastTiming().bulkStallMs));
    EXPECT_EQ(server_.UploadsAccepted(camera), 0);
}

TEST_F(SdkBulk, LoggingOutEndsTheHandlesTransfers) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetBulkFault(camera, {true, -1});
    const std::string path = PathOf("stuck.bin");
    ASSERT_TRUE(WriteFile(path, FileBytes(8 * 1048576)));
    BulkOutcome outcome;
    uint64_t id = 0;
    ASSERT_EQ(sdk::RunningEngine()->StartUpload(handle, {BulkPurpose::kFile, "stuck.bin", path},
                                                outcome.Callbacks(), &id),
              QV_OK);
    while (outcome.Progress().empty())  // attached: the first report comes at the start
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QV_NETSDK_IPC_Logout(handle);
    EXPECT_EQ(outcome.Wait().status, BulkStatus::kSessionClosed);
    EXPECT_EQ(server_.UploadsAccepted(camera), 0);

    const int other = LoggedIn(camera);
    EXPECT_FALSE(sdk::RunningEngine()->CancelTransfer(id)) << "finished already";
    uint64_t unused = 0;
    EXPECT_EQ(
        sdk::RunningEngine()->StartUpload(handle, {BulkPurpose::kFile, "x", path}, {}, &unused),
        QV_ERR_HANDLE);
    QV_NETSDK_IPC_Logout(other);
}

TEST_F(SdkBulk, AChangedCameraKeyRefusesTheBulkConnection) {
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    server_.SetKeyGeneration(camera, 1);  // replaced while the session runs
    BulkOutcome outcome;
    const sdk::BulkResult result =
        Upload(handle, FileBytes(1000), BulkPurpose::kFile, "a.bin", &outcome);
    EXPECT_EQ(result.status, BulkStatus::kKeyChanged) << sdk::BulkStatusName(result.status);
    EXPECT_EQ(server_.UploadsAccepted(camera), 0);
    EXPECT_EQ(server_.BulkConnections(camera), 0);
}

TEST_F(SdkBulk, ATamperedByteInTheBulkStreamEndsTheUpload) {
    const int camera = AddCamera();
    RecordingRelay relay(server_.Port(camera));
    relay.TamperWith(1, 2 * 1048576);  // the bulk connection, well inside the file
    const int handle = QV_NETSDK_IPC_Login("127.0.0.1", relay.port(), "admin", "730418", 0);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_LOGGED_IN));
    BulkOutcome outcome;
    const sdk::BulkResult result =
        Upload(handle, FileBytes(4 * 1048576), BulkPurpose::kConfig, "a.cfg", &outcome);
    EXPECT_EQ(result.status, BulkStatus::kLost) << sdk::BulkStatusName(result.status);
    ASSERT_TRUE(hooks_.WaitEvent(handle, QV_EVENT_FILE_FAILED));
    EXPECT_EQ(server_.UploadsAccepted(camera), 0);
    EXPECT_FALSE(server_.UploadedFile(camera, BulkPurpose::kConfig).has_value());
}

TEST_F(SdkBulk, TheCamerasCapsRefuseFurtherTransfersAndOversizedFiles) {
    sim::ControlLimits limits;
    limits.maxBulkPerSession = 1;
    limits.maxBulkSize = 1048576;
    server_.SetLimits(limits);
    const int camera = AddCamera();
    const int handle = LoggedIn(camera);
    BulkOutcome big;
    sdk::BulkResult result =
        Upload(handle, FileBytes(1048577), BulkPurpose::kFile, "big.bin", &big);
    EXPECT_EQ(result.status, BulkStatus::kCameraRefused);
    EXPECT_EQ(result.cameraStatus, sdk::kStatusBadDocument);

    server_.SetBulkFault(camera, {true, -1});
    const std::string path = PathOf("first.bin");
    ASSERT_TRUE(WriteFile(path, FileBytes(1000)));
    BulkOutcome first;
    uint64_t id = 0;
    ASSERT_EQ(sdk::RunningEngine()->StartUpload(handle, {BulkPurpose::kFile, "first.bin", path},
                                                first.Callbacks(), &id),
              QV_OK);
    while (first.Progress().empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    BulkOutcome second;
    result = Upload(handle, FileBytes(1000), BulkPurpose::kFile, "second.bin", &second);
    EXPECT_EQ(result.status, BulkStatus::kCameraRefused);
    EXPECT_EQ(result.cameraStatus, sdk::kStatusBusy);
    EXPECT_TRUE(sdk::RunningEngine()->CancelTransfer(id));
    EXPECT_EQ(first.Wait().status, BulkStatus::kCancelled);
}

}  // namespace
}  // namespace camfleet::testing

// The upgrade operation against fake SDK calls: its refusals, the per-device step, progress
// and outcome from the status events, the deadline of a silent camera, the directory choice
// per camera, the clearing of the custom configuration and the custom model with its
// automatic form on event 24. The road through the real SDK and a lab camera is covered by
// lab_upgrade_test.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "device/codes.h"
#include "operations/firmware_upgrade.h"
#include "operations/list_fixture.h"

namespace camfleet {
namespace {

using testing::AddRow;
using testing::Shown;

class FirmwareUpgradeTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureCoreApplication();
        for (int i = 0; i < 3; ++i) {
            const std::string serial = "S" + std::to_string(i);
            rows_.push_back(AddRow(model_, serial.c_str(), kHandle + i, true));
            model_.SetLoginState(rows_.back(), LoginState::kLoggedIn);
            std::strcpy(model_.Record(rows_.back())->firmwareVersion, "V1.0");
        }
        firmware_ = scratch_.filePath("firmware_NVS.bin");
        Write(firmware_, "image");
        UpgradeCalls calls;
        calls.upgrade = [this](int handle, const QString& path) {
            started_[handle] = path;
            return upgradeResult_;
        };
        calls.progress = [this](int) { return percent_; };
        calls.setConfigFile = [this](int handle, const QString& path) {
            QFile file(path);
            uploaded_[handle] = file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable";
            uploadedPaths_.push_back(path);
            return configResult_;
        };
        upgrade_ = std::make_unique<FirmwareUpgrade>(&model_, &router_, &tracker_, &pool_,
                                                     std::move(calls), true);
        upgrade_->SetClock([this] { return now_; });
        upgrade_->SetToolDirectory(scratch_.path());
        upgrade_->SetTemporaryParent(scratch_.path());
    }
    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Event(int type, int row) {
        char data[1360] = {};
        router_.HandleStatus(*MakeStatusMessage(kHandle + row, type, data));
    }
    QString State(int row) const { return model_.CellText(row, kColumnState); }
    const UpgradeJob* JobOf(int row) const { return upgrade_->Job(model_.Record(row)->key); }
    void WaitForUploads() {
        for (int i = 0; i < 1000 && upgrade_->UploadsRunning() > 0; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        ASSERT_EQ(upgrade_->UploadsRunning(), 0);
    }

    static constexpr int kHandle = 20;
    QTemporaryDir scratch_;
    QString firmware_;
    DeviceListModel model_;
    AnswerRouter router_;
    WorkerPool pool_{2};
    SessionTracker tracker_{&model_, &router_, &pool_};
    std::unique_ptr<FirmwareUpgrade> upgrade_;
    ScriptedPrompt prompt_;
    std::vector<int> rows_;
    std::map<int, QString> started_;  // by handle: the file it was asked to upload
    std::map<int, QByteArray> uploaded_;
    std::vector<QString> uploadedPaths_;
    int upgradeResult_ = 0;
    int configResult_ = 0;
    int percent_ = 0;
    int64_t now_ = 1000;
};

TEST_F(FirmwareUpgradeTest, FileUpgradeRunsEachCameraToItsOwnEnd) {
    model_.SetLoginState(rows_[2], LoginState::kLost);  // ticked but not logged in
    ASSERT_TRUE(upgrade_->UpgradeFile(firmware_, rows_, prompt_));
    EXPECT_TRUE(prompt_.Records().empty());
    EXPECT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[kHandle], firmware_);
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP29"));
    EXPECT_EQ(model_.Record(rows_[0])->upgrading, 1);
    EXPECT_EQ(JobOf(rows_[2]), nullptr);
    EXPECT_TRUE(tracker_.UpgradeRunning());
    EXPECT_TRUE(upgrade_->WatchActive());

    percent_ = 7;
    Event(kEventUpgradeProgress, 0);
    EXPECT_EQ(State(rows_[0]), Shown("UPLOAD") + ": 07%");
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kRunning);
    percent_ = 0;  // below 1 changes nothing
    Event(kEventUpgradeProgress2, 0);
    EXPECT_EQ(JobOf(rows_[0])->percent, 7);

    Event(kEventUpgradeDone, 0);
    Event(kEventUpgradeFailed, 1);
    EXPECT_EQ(State(rows_[0]), Shown("MSG_UPGRADE"));
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kDone);
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP7"));
    EXPECT_EQ(JobOf(rows_[1])->phase, JobPhase::kFailed);
    EXPECT_EQ(model_.Record(rows_[1])->upgrading, 0);
    // A late event of an ended job changes nothing.
    Event(kEventUpgradeFailed, 0);
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kDone);

    upgrade_->WatchTick();
    EXPECT_FALSE(tracker_.UpgradeRunning());
    EXPECT_FALSE(upgrade_->WatchActive());
    EXPECT_TRUE(upgrade_->AllFinished());
    EXPECT_FALSE(upgrade_->AllFinished(true, 60000));  // the camera has not come back yet
}

TEST_F(FirmwareUpgradeTest, RefusalsAndTheStepsChecks) {
    EXPECT_FALSE(upgrade_->UpgradeFile(scratch_.filePath("missing.bin"), rows_, prompt_));
    EXPECT_FALSE(upgrade_->UpgradeFile(scratch_.path(), rows_, prompt_));  // a folder
    EXPECT_FALSE(upgrade_->UpgradeFile(firmware_, {}, prompt_));
    EXPECT_FALSE(upgrade_->UpgradeDirectory("  ", rows_, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), (QStringList{"MSGTIP27", "MSGTIP27", "MSGTIP24", "TEXT20"}));
    EXPECT_FALSE(tracker_.UpgradeRunning());

    // A start the SDK refuses, a camera without a handle, one already upgrading.
    upgradeResult_ = -4;
    model_.SetLoginHandle(rows_[1], 0);
    model_.Record(rows_[2])->upgrading = 1;
    ASSERT_TRUE(upgrade_->UpgradeFile(firmware_, rows_, prompt_));
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP30"));
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kFailed);
    EXPECT_EQ(model_.Record(rows_[0])->upgrading, 0);
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP19"));
    EXPECT_EQ(started_.count(kHandle + 2), 0u) << "a second image pushed mid-flash";

    // While the run is on, every upgrade command is refused.
    prompt_ = ScriptedPrompt();
    EXPECT_FALSE(upgrade_->UpgradeFile(firmware_, rows_, prompt_));
    EXPECT_FALSE(upgrade_->UpgradeDirectory(scratch_.path(), rows_, prompt_));
    Write(scratch_.filePath(kCleanCustomFirmware), "clean");
    EXPECT_FALSE(upgrade_->ClearCustomConfiguration(rows_, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), (QStringList{"MSGTIP37", "MSGTIP37", "MSGTIP37"}));
}

TEST_F(FirmwareUpgradeTest, ASilentCameraFailsAtTheDeadlineAndEndsTheRun) {
    upgrade_->SetDeadline(5000);
    ASSERT_TRUE(upgrade_->UpgradeFile(firmware_, {rows_[0], rows_[1]}, prompt_));
    now_ += 3000;
    percent_ = 40;
    Event(kEventUpgradeProgress, 1);  // camera 1 keeps moving
    now_ += 1999;
    upgrade_->WatchTick();
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kPending);
    now_ += 1;
    upgrade_->WatchTick();
    EXPECT_EQ(JobOf(rows_[0])->phase, JobPhase::kFailed);
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP7"));
    EXPECT_EQ(model_.Record(rows_[0])->upgrading, 0);
    EXPECT_EQ(JobOf(rows_[1])->phase, JobPhase::kRunning);
    EXPECT_TRUE(tracker_.UpgradeRunning());
    now_ += 5000;
    upgrade_->WatchTick();
    EXPECT_EQ(JobOf(rows_[1])->phase, JobPhase::kFailed);
    EXPECT_FALSE(tracker_.UpgradeRunning());
    // A new run is possible now.
    prompt_ = ScriptedPrompt();
    EXPECT_TRUE(upgrade_->UpgradeFile(firmware_, {rows_[0]}, prompt_));
    EXPECT_TRUE(prompt_.Records().empty());
}

TEST_F(FirmwareUpgradeTest, DirectoryUpgradeGivesEachCameraItsOwnFile) {
    const QString dir = scratch_.filePath("fw");
    ASSERT_TRUE(QDir().mkpath(dir));
    Write(dir + "/firmware_NVS3516E_V2_5.3.bin", "a");
    Write(dir + "/firmware_NVS8M_AF_1.bin", "b");
    Write(dir + "/firmware_NVS8M_1.bin", "c");
    const char* models[] = {"DIR-OVADU-NVS3516E_V2", "NVS8M_AF", "DIR-OVADU-"};
    for (int i = 0; i < 3; ++i)
        std::strcpy(model_.Record(rows_[i])->answer.deviceType, models[i]);
    const int noVersion = AddRow(model_, "S3", kHandle + 3, true);
    model_.SetLoginState(noVersion, LoginState::kLoggedIn);
    std::strcpy(model_.Record(noVersion)->answer.deviceType, "NVS8M");
    std::vector<int> rows = rows_;
    rows.push_back(noVersion);

    ASSERT_TRUE(upgrade_->UpgradeDirectory(dir, rows, prompt_));
    EXPECT_EQ(started_[kHandle], dir + "/firmware_NVS3516E_V2_5.3.bin");
    EXPECT_EQ(started_[kHandle + 1], dir + "/firmware_NVS8M_AF_1.bin");
    EXPECT_EQ(started_.count(kHandle + 2), 0u) << "an empty model key matches every file";
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP27"));
    EXPECT_EQ(started_.count(kHandle + 3), 0u);
    EXPECT_EQ(State(noVersion), Shown("MSGTIP28"));
}

TEST_F(FirmwareUpgradeTest, ClearingTheCustomConfigurationUsesTheToolsFile) {
    EXPECT_FALSE(upgrade_->ClearCustomConfiguration(rows_, prompt_));  // no file yet
    EXPECT_FALSE(upgrade_->ClearCustomConfiguration({}, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), (QStringList{"MSGTIP27", "MSGTIP13"}));
    Write(scratch_.filePath(kCleanCustomFirmware), "clean");
    ASSERT_TRUE(upgrade_->ClearCustomConfiguration({rows_[0]}, prompt_));
    EXPECT_EQ(started_[kHandle], scratch_.filePath(kCleanCustomFirmware));
    EXPECT_EQ(JobOf(rows_[0])->kind, UpgradeKind::kClearCustom);
    EXPECT_FALSE(tracker_.UpgradeRunning()) << "no upgrade run is flagged for it";
    EXPECT_TRUE(upgrade_->WatchActive()) << "but a silent camera still meets the deadline";
}

TEST_F(FirmwareUpgradeTest, CustomModelFileIsUploadedAndItsFolderGoesAfterwards) {
    EXPECT_FALSE(upgrade_->SetCustomModel("   ", rows_, prompt_));
    EXPECT_FALSE(upgrade_->SetCustomModel("IPC\nX", rows_, prompt_));
    EXPECT_FALSE(upgrade_->RemoveCustomModel({}, prompt_));
    EXPECT_EQ(prompt_.MessageKeys(),
              (QStringList{"BATCH_EMPTY_DEVICETYPE", "BATCH_EMPTY_DEVICETYPE", "MSGTIP13"}));

    model_.SetLoginHandle(rows_[2], 0);
    configResult_ = 0;
    ASSERT_TRUE(upgrade_->SetCustomModel("  OEM-CAM 1 ", {rows_[0], rows_[1], rows_[2]}, prompt_));
    WaitForUploads();
    EXPECT_EQ(uploaded_[kHandle], "SET_OEM_DEVTYPE_FLAG=OEM-CAM 1");
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP32"));
    EXPECT_EQ(State(rows_[2]), Shown("MSGTIP20"));
    ASSERT_FALSE(uploadedPaths_.empty());
    EXPECT_TRUE(uploadedPaths_[0].endsWith("/devicetype.oem"));
    EXPECT_FALSE(QFileInfo::exists(uploadedPaths_[0])) << "the batch's file outlived it";

    configResult_ = -7;
    ASSERT_TRUE(upgrade_->RemoveCustomModel({rows_[1]}, prompt_));
    WaitForUploads();
    EXPECT_EQ(uploaded_[kHandle + 1], "DEL_OEM_DEVTYPE_FLAG=");
    EXPECT_EQ(State(rows_[1]), Shown("MSGTIP31"));
    EXPECT_EQ(JobOf(rows_[1])->phase, JobPhase::kFailed);
}

TEST_F(FirmwareUpgradeTest, EventTwentyFourAppliesTheModelTextToCamerasWithoutIt) {
    QString text;
    upgrade_->SetAutomaticModelSource([&] { return text; });
    std::strcpy(model_.Record(rows_[0])->answer.deviceType, "NVS-IPC-2M");
    std::strcpy(model_.Record(rows_[1])->answer.deviceType, "OEM-X NVS");
    Event(kEventCustomModel, 0);
    WaitForUploads();
    EXPECT_TRUE(uploaded_.empty()) << "no model text: nothing to apply";
    text = "OEM-X";
    Event(kEventCustomModel, 0);
    Event(kEventCustomModel, 1);  // already reports it
    model_.SetLoginState(rows_[2], LoginState::kLost);
    Event(kEventCustomModel, 2);  // not logged in
    WaitForUploads();
    ASSERT_EQ(uploaded_.size(), 1u);
    EXPECT_EQ(uploaded_[kHandle], "SET_OEM_DEVTYPE_FLAG=OEM-X");
    EXPECT_EQ(State(rows_[0]), Shown("MSGTIP32"));
}

}  // namespace
}  // namespace camfleet

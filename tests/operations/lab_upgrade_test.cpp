// Upgrades through the whole road: the upgrade operation, the real SDK and lab cameras that
// check the image, write it, restart and come back with the new version; the custom model on
// the cameras; and `camfleet-cli upgrade --dir` against a separate camfleet-sim.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/codes.h"
#include "operations/firmware_choice.h"
#include "operations/firmware_upgrade.h"
#include "operations/fleet_session.h"
#include "operations/list_fixture.h"
#include "sim/firmware_image.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using namespace std::chrono_literals;
using testing::RunInOwnNamespace;
using testing::RunUntil;
using testing::Shown;

std::string WriteImage(const QString& path, const std::string& model, const std::string& version,
                       uint64_t size) {
    std::string error;
    EXPECT_TRUE(sim::WriteLabFirmwareFile(path.toStdString(), {model, version, size}, &error))
        << error;
    return path.toStdString();
}

class LabUpgrade : public ::testing::Test {
protected:
    void Start(int cameras, uint16_t port, int firstSdkPort) {
        testing::EnsureCoreApplication();
        sim::LabOptions options;
        options.cameras = cameras;
        options.port = port;
        options.firstSdkPort = firstSdkPort;
        std::string error;
        ASSERT_EQ(lab_.Start(options, &error), 0) << error;
        for (int i = 0; i < cameras; ++i)
            lab_.control().SetFirmwareTiming(i, 300ms, 600ms);
        fleet_ = std::make_unique<FleetSession>(
            FleetOptions{.searcher = {.labMode = true, .port = port}});
        ASSERT_TRUE(fleet_->StartSdk());
        fleet_->StartSearch();
        ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(fleet_->Model(), cameras); }, 15));
        fleet_->StopSearch();
        upgrade_ = std::make_unique<FirmwareUpgrade>(&fleet_->Model(), fleet_->Router(),
                                                     fleet_->Tracker(), &fleet_->Workers());
        connect();
    }
    void TearDown() override {
        upgrade_.reset();
        fleet_.reset();
        lab_.Stop();
    }
    // Every state text each row showed, by serial number.
    void connect() {
        QObject::connect(upgrade_.get(), &FirmwareUpgrade::jobChanged, [this](int row) {
            seen_[fleet_->Model().Record(row)->key].insert(
                fleet_->Model().CellText(row, kColumnState));
        });
    }
    int RowOfCamera(int camera) {
        return fleet_->Model().FindRowByKey(lab_.Snapshot(camera).profile.serialNumber.c_str());
    }
    const UpgradeJob* JobOfCamera(int camera) {
        return upgrade_->Job(lab_.Snapshot(camera).profile.serialNumber);
    }
    std::vector<int> AllRows() {
        std::vector<int> rows;
        for (int row = 0; row < fleet_->Model().Count(); ++row)
            rows.push_back(row);
        return rows;
    }

    QTemporaryDir scratch_;
    sim::SimLab lab_;
    std::unique_ptr<FleetSession> fleet_;
    std::unique_ptr<FirmwareUpgrade> upgrade_;
    ScriptedPrompt prompt_;
    std::map<std::string, std::set<QString>> seen_;
};

TEST_F(LabUpgrade, FileUpgradeBringsEveryHealthyCameraBackOnTheNewVersion) {
    Start(5, 3105, 9320);
    lab_.control().SetFirmwareFault(2, {.failAtPercent = 40});
    lab_.control().SetFirmwareFault(3, {.dropAtPercent = 50});
    lab_.control().SetFirmwareFault(4, {.neverFinish = true});
    upgrade_->SetDeadline(2500);
    const QString image = scratch_.filePath("firmware_all.bin");
    WriteImage(image, "*", "V9.9.9", 3 * 1048576 + 17);

    ASSERT_TRUE(upgrade_->UpgradeFile(image, AllRows(), prompt_));
    EXPECT_TRUE(prompt_.Records().empty());
    // A second run while this one is on is refused.
    EXPECT_FALSE(upgrade_->UpgradeFile(image, AllRows(), prompt_));
    EXPECT_EQ(prompt_.MessageKeys(), QStringList{"MSGTIP37"});
    ASSERT_TRUE(RunUntil([&] { return upgrade_->AllFinished(true, 20000); }, 40));
    EXPECT_TRUE(RunUntil([&] { return !upgrade_->WatchActive(); }, 5));
    EXPECT_FALSE(fleet_->Tracker()->UpgradeRunning());

    for (int camera : {0, 1}) {
        SCOPED_TRACE(camera);
        const UpgradeJob* job = JobOfCamera(camera);
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->phase, JobPhase::kDone);
        EXPECT_TRUE(job->returned);
        EXPECT_EQ(job->version, "V9.9.9");
        EXPECT_NE(job->oldVersion, job->version);
        EXPECT_EQ(lab_.control().FirmwareVersion(camera), "V9.9.9");
        EXPECT_EQ(lab_.control().UploadedFile(camera, sdk::BulkPurpose::kFirmware)->size,
                  static_cast<uint64_t>(QFileInfo(image).size()));
        const auto& texts = seen_[lab_.Snapshot(camera).profile.serialNumber];
        EXPECT_TRUE(texts.count(Shown("MSG_UPGRADE")));
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const QString& t) {
            return t.startsWith(Shown("UPLOAD") + ": ");
        }));
    }
    for (int camera : {2, 3, 4}) {
        SCOPED_TRACE(camera);
        const UpgradeJob* job = JobOfCamera(camera);
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->phase, JobPhase::kFailed);
        EXPECT_STREQ(job->failKey, kUpgradeFailedKey);
        EXPECT_NE(lab_.control().FirmwareVersion(camera), "V9.9.9");
        EXPECT_EQ(fleet_->Model().Record(RowOfCamera(camera))->upgrading, 0);
    }
}

TEST_F(LabUpgrade, DirectoryUpgradeGivesEachModelItsImageAndABrokenOneFailsAlone) {
    Start(4, 3106, 9340);
    const QString dir = scratch_.filePath("fw");
    ASSERT_TRUE(QDir().mkpath(dir));
    // A good image for camera 0's model; a damaged one for camera 1's (unless both share it).
    const std::string model0 = lab_.Snapshot(0).profile.model;
    const std::string model1 = lab_.Snapshot(1).profile.model;
    const QString key0 = FirmwareModelKey(QString::fromStdString(model0));
    const QString key1 = FirmwareModelKey(QString::fromStdString(model1));
    WriteImage(dir + "/firmware_" + key0 + "_V7.bin", model0, "V7.0.0", 500000);
    const bool sameModel = key0 == key1;
    if (!sameModel) {
        const std::string broken =
            WriteImage(dir + "/firmware_" + key1 + "_V7.bin", model1, "V7.0.0", 500000);
        QFile file(QString::fromStdString(broken));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(1000);
        file.write("X");
    }
    ASSERT_TRUE(upgrade_->UpgradeDirectory(dir, AllRows(), prompt_));
    ASSERT_TRUE(RunUntil([&] { return upgrade_->AllFinished(true, 20000); }, 40));
    EXPECT_EQ(JobOfCamera(0)->version, "V7.0.0");
    if (!sameModel) {
        EXPECT_EQ(JobOfCamera(1)->phase, JobPhase::kFailed);
        EXPECT_NE(lab_.control().FirmwareVersion(1), "V7.0.0");
    }
    for (int camera = 2; camera < 4; ++camera) {
        const QString key =
            FirmwareModelKey(QString::fromStdString(lab_.Snapshot(camera).profile.model));
        if (key == key0 || key == key1)
            continue;
        EXPECT_EQ(JobOfCamera(camera), nullptr);
        EXPECT_EQ(fleet_->Model().CellText(RowOfCamera(camera), kColumnState), Shown("MSGTIP27"));
    }
}

TEST_F(LabUpgrade, CustomModelSetByHandByEventTwentyFourAndCleared) {
    Start(3, 3107, 9360);
    ASSERT_TRUE(upgrade_->SetCustomModel("OEM-CAM", {RowOfCamera(0), RowOfCamera(1)}, prompt_));
    ASSERT_TRUE(RunUntil([&] { return upgrade_->UploadsRunning() == 0; }, 10));
    EXPECT_EQ(lab_.control().ReportedModel(0), "NVS-OEM-CAM");
    EXPECT_EQ(lab_.control().ReportedModel(1), "NVS-OEM-CAM");
    EXPECT_EQ(JobOfCamera(0)->phase, JobPhase::kDone);
    EXPECT_NE(lab_.control().ReportedModel(2), "NVS-OEM-CAM");

    // Camera 2 asks for its model to be checked: it gets the text of the model edit.
    upgrade_->SetAutomaticModelSource([] { return QString("OEM-AUTO"); });
    lab_.control().EmitEvent(2, kEventCustomModel, std::string(536, '\0'));
    ASSERT_TRUE(RunUntil([&] { return lab_.control().ReportedModel(2) == "NVS-OEM-AUTO"; }, 10));

    ASSERT_TRUE(upgrade_->RemoveCustomModel({RowOfCamera(0)}, prompt_));
    ASSERT_TRUE(RunUntil([&] { return upgrade_->UploadsRunning() == 0; }, 10));
    EXPECT_EQ(lab_.control().ReportedModel(0), lab_.Snapshot(0).profile.model);
    EXPECT_EQ(lab_.control().ReportedModel(1), "NVS-OEM-CAM");
}

TEST(LabUpgradeCli, DirectoryUpgradeOfASeparateSimulatorReportsTheNewVersions) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // One image per lab model, named as the directory upgrade looks for it.
    std::string make;
    for (const char* key : {"NVS-IPC-2M", "NVS3516E_V2", "NVS-F37-4MP_V1.2", "NVS-PTZ_V3",
                            "IPC-NVS-BULLET-5M", "NVS8M"})
        make += std::string(
                    "./camfleet-sim make-firmware --model \"*\" --version V6.0.0 --size "
                    "200000 -o ") +
                dir.path().toStdString() + "/firmware_" + key + "_V6.bin >/dev/null || exit 9; ";
    int status = -1;
    const std::string out = RunInOwnNamespace(
        make +
            "./camfleet-sim --lab 3 --seed 5 --upgrade-write-ms 300 --upgrade-reboot-ms 600 "
            ">/dev/null & sim=$!; sleep 0.3; "
            "./camfleet-cli upgrade --dir " +
            dir.path().toStdString() +
            " --all --loopback --seconds 8 --json; rc=$?; kill $sim; wait $sim; exit $rc",
        &status);
    EXPECT_EQ(status, 0) << out;
    int lines = 0;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty())
            continue;
        ++lines;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(o["RESULT"].toString(), "ok");
        EXPECT_EQ(o["VERSION"].toString(), "V6.0.0");
        EXPECT_FALSE(o["OLDVERSION"].toString().isEmpty());
        EXPECT_GT(o["SECONDS"].toDouble(), 0.0);
    }
    EXPECT_EQ(lines, 3);
}

}  // namespace
}  // namespace camfleet

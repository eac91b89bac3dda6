// Maintenance through the whole road: the operation, the real SDK and lab cameras whose state
// shows each command afterwards; and camfleet-cli's maintenance commands against a separate
// camfleet-sim.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <string>
#include <vector>

#include "device/codes.h"
#include "device/sdk/control_protocol.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "operations/device_maintenance.h"
#include "operations/fleet_session.h"
#include "operations/list_fixture.h"
#include "operations/night_demo.h"
#include "resources/display_strings.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using testing::RunInOwnNamespace;
using testing::RunUntil;

TEST(LabMaintenance, EachCommandShowsInTheCamerasState) {
    testing::EnsureCoreApplication();
    sim::SimLab lab;
    sim::LabOptions options;
    options.cameras = 3;
    options.port = 3108;
    options.firstSdkPort = 9380;
    options.rebootSilence = std::chrono::milliseconds(300);
    std::string error;
    ASSERT_EQ(lab.Start(options, &error), 0) << error;
    {
        FleetSession fleet({.searcher = {.labMode = true, .port = 3108}});
        ASSERT_TRUE(fleet.StartSdk());
        DeviceListModel& model = fleet.Model();
        fleet.StartSearch();
        ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(model, 3); }, 15));
        DeviceMaintenance maintenance(&model, &fleet.Table(), &fleet.Workers(),
                                      SdkMaintenanceCalls(), fleet.Router());
        ScriptedPrompt prompt;
        const auto idle = [&] {
            if (maintenance.Running() > 0)
                return false;
            for (const auto& [key, job] : maintenance.Jobs())
                if (!job.Finished())
                    return false;
            return true;
        };
        const auto cameraOf = [&](int row) {
            for (int i = 0; i < 3; ++i)
                if (lab.Snapshot(i).profile.serialNumber == model.Record(row)->key)
                    return i;
            return -1;
        };
        std::vector<int> all{0, 1, 2};

        ASSERT_TRUE(maintenance.SetLanguage(all, Language::kSimplifiedChinese,
                                            MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(lab.control().Document(i, kCmdSetLanguage).find("zh_cn"), std::string::npos);

        // Factory mode: the command and then the datagram reach each camera; pixel
        // maintenance: the preset command.
        ASSERT_TRUE(maintenance.SetFactoryMode(all, false, MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(lab.control().LastControl(i, kCtlFactoryMode),
                      "<REQUEST_PARAM Mode=\"1\"/>\n");
            EXPECT_TRUE(RunUntil([&] { return lab.Snapshot(i).mode == 1; }, 5)) << i;
        }
        ASSERT_TRUE(maintenance.PixelMaintenance(all, kPixelScanPreset, prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(lab.control().LastControl(i, sdk::kCodePtzPreset).find("Preset=\"200\""),
                      std::string::npos);
        ASSERT_FALSE(prompt.MessageKeys().isEmpty());
        EXPECT_TRUE(prompt.MessageKeys().back().endsWith("3"))
            << prompt.MessageKeys().back().toStdString();

        // The night-mode demonstration: forced night while it runs, the camera's own mode
        // afterwards.
        {
            NightDemo demo(&model, fleet.Router(), &fleet.Workers());
            demo.SetLength(std::chrono::milliseconds(400));
            const auto dayNight = [&](int camera) {
                QV_VIDEO_CAPTURE capture{};
                QV_NETSDK_IPC_Media_getVideoCaptureByXml(
                    lab.control().Document(camera, kCmdGetVideoCapture).c_str(), &capture);
                return capture.dayNightMode;
            };
            const int before = dayNight(0);
            ASSERT_TRUE(demo.Start(all, prompt));
            ASSERT_TRUE(RunUntil([&] { return demo.StateOf(model.Record(0)->key) == 3; }, 5));
            const int camera = cameraOf(0);
            EXPECT_EQ(dayNight(camera), 3);
            EXPECT_NE(lab.control().LastControl(camera, kCtlDayNightMode).find("NightMode"),
                      std::string::npos);
            ASSERT_TRUE(RunUntil([&] { return !demo.Active() && demo.Running() == 0; }, 5));
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(dayNight(i), before) << i;
                EXPECT_NE(lab.control().LastControl(i, kCtlDayNightMode).find("DayMode"),
                          std::string::npos);
                EXPECT_EQ(demo.Jobs().at(model.Record(i)->key).phase, JobPhase::kDone);
            }
        }

        // The PC in two zones: the camera gets the zone of each.
        for (const char* zone : {"Asia/Shanghai", "UTC"}) {
            maintenance.SetClock(
                [zone] { return QDateTime(QDate(2026, 6, 1), QTime(12, 0, 0), QTimeZone(zone)); });
            ASSERT_TRUE(maintenance.SyncTime({0}, prompt));
            ASSERT_TRUE(RunUntil(idle, 10));
            const std::string sent = lab.control().LastControl(cameraOf(0), kCtlSyncTime);
            EXPECT_NE(sent.find(std::string("TimeZone=\"") +
                                (std::string(zone) == "UTC" ? "720" : "1200")),
                      std::string::npos)
                << sent;
        }

        const int rebooted = cameraOf(1);
        ASSERT_TRUE(maintenance.Reboot({1}, MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        EXPECT_EQ(maintenance.Jobs().at(model.Record(1)->key).phase, JobPhase::kDone);
        ASSERT_TRUE(RunUntil([&] { return lab.Snapshot(rebooted).reboots >= 1; }, 10));

        const int restored = cameraOf(2);
        ASSERT_TRUE(maintenance.Restore({2}, MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        ASSERT_TRUE(RunUntil([&] { return lab.Snapshot(restored).restores >= 1; }, 10));
        EXPECT_NE(lab.control().Document(restored, kCmdSetLanguage).find("en_us"),
                  std::string::npos)
            << "the factory language is back";

        // The new password opens the next login.
        const int changed = cameraOf(0);
        ASSERT_TRUE(maintenance.SetPassword({0}, "Fresh-Secret1", "Fresh-Secret1", prompt));
        ASSERT_TRUE(RunUntil(idle, 10));
        EXPECT_EQ(maintenance.Jobs().at(model.Record(0)->key).phase, JobPhase::kDone);
        EXPECT_EQ(lab.control().Password(changed), "Fresh-Secret1");
        fleet.StopSearch();
    }
    lab.Stop();
}

// Snapshots through the SDK: each camera's picture lands in its own folder as a JPEG; a camera
// that names its picture with a path gets nothing fetched and nothing written elsewhere.
TEST(LabSnapshot, PicturesArriveInEachCamerasFolder) {
    testing::EnsureCoreApplication();
    QTemporaryDir dir;
    sim::SimLab lab;
    sim::LabOptions options;
    options.cameras = 2;
    options.port = 3109;
    options.firstSdkPort = 9390;
    std::string error;
    ASSERT_EQ(lab.Start(options, &error), 0) << error;
    {
        FleetSession fleet(
            {.searcher = {.labMode = true, .port = 3109}, .snapshotFolder = dir.filePath("snap")});
        ASSERT_TRUE(fleet.StartSdk());
        DeviceListModel& model = fleet.Model();
        fleet.StartSearch();
        ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(model, 2); }, 15));
        DeviceMaintenance maintenance(&model, &fleet.Table(), &fleet.Workers(),
                                      SdkMaintenanceCalls(), fleet.Router());
        ScriptedPrompt prompt;
        PictureDownloads& pictures = *fleet.Pictures();
        const auto fetched = [&](std::size_t n) {
            return maintenance.Running() == 0 && pictures.Downloads().size() == n &&
                   pictures.Running() == 0;
        };
        ASSERT_TRUE(maintenance.Snapshot({0, 1}, MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil([&] { return fetched(2); }, 10));
        for (const PictureDownloads::Download& d : pictures.Downloads()) {
            EXPECT_EQ(d.state, PictureDownloads::State::kDone);
            QFile file(d.path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << d.path.toStdString();
            const QByteArray bytes = file.readAll();
            EXPECT_TRUE(bytes.startsWith("\xFF\xD8") && bytes.endsWith("\xFF\xD9"));
            EXPECT_TRUE(QFileInfo(d.path).fileName().startsWith("snap_"));
            const int row = model.FindRowByKey(d.key.c_str());
            EXPECT_EQ(QFileInfo(d.path).dir().dirName(),
                      QString::fromLatin1(model.Record(row)->answer.network.ipAddress));
        }
        EXPECT_EQ(lab.control().SnapshotCount(0) + lab.control().SnapshotCount(1), 2);

        int hostile = -1;
        for (int i = 0; i < 2; ++i)
            if (lab.Snapshot(i).profile.serialNumber == model.Record(0)->key)
                hostile = i;
        lab.control().SetSnapshotName(hostile, "../../evil.jpg");
        ASSERT_TRUE(maintenance.Snapshot({0}, MaintenanceForm::kScripted, prompt));
        ASSERT_TRUE(RunUntil(
            [&] {
                return maintenance.Running() == 0 &&
                       model.CellText(0, kColumnState) == GetDisplayString("FILEDOWN_REQFAIL");
            },
            10));
        EXPECT_EQ(pictures.Downloads().size(), 2u);
        EXPECT_FALSE(QFile::exists(dir.filePath("evil.jpg")));
        EXPECT_FALSE(QFile::exists(dir.filePath("snap/evil.jpg")));
        fleet.StopSearch();
    }
    lab.Stop();
}

TEST(LabMaintenanceCli, CommandsOfASeparateSimulatorReportEveryCamera) {
    int status = -1;
    const std::string out = RunInOwnNamespace(
        "./camfleet-sim --lab 2 --seed 3 >/dev/null & sim=$!; trap \"kill $sim\" EXIT; "
        "sleep 0.3; "
        "./camfleet-cli language tw --all --loopback --yes --json || exit 7; "
        "./camfleet-cli time sync --all --loopback --json || exit 8; "
        "./camfleet-cli io 1 --all --loopback --json || exit 9; "
        "./camfleet-cli p2p off --all --loopback --json || exit 11; "
        "./camfleet-cli factory-mode on --all --loopback --yes --json || exit 12; "
        "./camfleet-cli pixel save --all --loopback --json || exit 13; "
        "d=$(mktemp -d); ./camfleet-cli snapshot --all --loopback --out $d --json || exit 14; "
        "echo pictures=$(ls $d/*/snap_*.jpg | wc -l); rm -r $d; "
        "./camfleet-cli night-demo --all --loopback --json || exit 15; "
        "./camfleet-cli video-type H265 --all --loopback --yes --json || exit 10; "
        "./camfleet-cli reboot --all --loopback --json </dev/null; echo refused=$?",
        &status);
    EXPECT_EQ(status, 0) << out;
    int ok = 0;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ok += o["RESULT"].toString() == "ok" ? 1 : 0;
    }
    EXPECT_EQ(ok, 18) << out;
    EXPECT_NE(out.find("pictures=2"), std::string::npos) << out;
    // Without --yes and without a terminal the reboot is refused as a whole.
    EXPECT_NE(out.find("refused=1"), std::string::npos) << out;
}

// The read-change-write switches against a separate simulator: the second run of the same
// switch finds the camera changed by the first and writes nothing.
TEST(LabMaintenanceCli, SwitchesChangeTheCameraOnceAndThenFindItChanged) {
    int status = -1;
    const std::string out = RunInOwnNamespace(
        "./camfleet-sim --lab 2 --seed 5 >/dev/null & sim=$!; trap \"kill $sim\" EXIT; "
        "sleep 0.3; "
        "./camfleet-cli tv-system ntsc --all --loopback --yes --json || exit 7; "
        "./camfleet-cli tv-system ntsc --all --loopback --yes --json || exit 8; "
        "./camfleet-cli protocol hik off --all --loopback --json || exit 9; "
        "./camfleet-cli protocol hik off --all --loopback --json || exit 10; "
        "./camfleet-cli onvif-allnet on --all --loopback --yes --json || exit 11; "
        "./camfleet-cli protocol ftp on --all --loopback; echo bad=$?",
        &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<QString> states;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        EXPECT_EQ(o["RESULT"].toString(), "ok") << line.constData();
        states.push_back(o["STATE"].toString());
    }
    ASSERT_EQ(states.size(), 10u) << out;
    EXPECT_EQ(states[0], GetDisplayString(DisplayKey("SET_OK")));
    EXPECT_EQ(states[2], GetDisplayString(DisplayKey("MSG_SET_TVSYSTEM_NOTCHANGE")));
    EXPECT_EQ(states[4], GetDisplayString(DisplayKey("SET_OK")));
    EXPECT_EQ(states[6], GetDisplayString(DisplayKey("SET_OK")));
    EXPECT_NE(out.find("bad=2"), std::string::npos) << out;
}

}  // namespace
}  // namespace camfleet

// The whole road in one process: a lab of simulated cameras found by the search, merged into
// the list and logged in by the engine; and `camfleet-cli list` run as a program.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <map>
#include <string>

#include "device/sdk/qv_netsdk_ipc.h"
#include "discovery/device_searcher.h"
#include "operations/device_list_sync.h"
#include "operations/job_engine.h"
#include "operations/list_fixture.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using testing::ProcessEventsUntil;
using testing::Shown;

constexpr uint16_t kLabPort = 3104;  // apart from the other tests' labs
constexpr int kCameras = 6;

TEST(LabList, EveryCameraLogsInExceptTheOneWithAChangedPassword) {
    testing::EnsureCoreApplication();
    sim::SimLab lab;
    sim::LabOptions options;
    options.cameras = kCameras;
    options.port = kLabPort;
    options.firstSdkPort = 9300;
    std::string error;
    ASSERT_EQ(lab.Start(options, &error), 0) << error;
    lab.control().SetPassword(2, "changed");
    const std::string changedSerial = lab.Snapshot(2).profile.serialNumber;
    std::map<std::string, std::string> versions;  // serial -> firmware version
    for (int i = 0; i < kCameras; ++i)
        versions[lab.Snapshot(i).profile.serialNumber] = lab.Snapshot(i).profile.version;

    ASSERT_EQ(QV_NETSDK_IPC_Init(), QV_OK);
    QV_NETSDK_IPC_SetAutoReconnect(0, 1);
    {
        DeviceTable table;
        DeviceSearcher searcher(table, {.labMode = true, .port = kLabPort});
        table.SetSender(&searcher);
        DeviceListModel model;
        JobEngine engine(&model);
        DeviceListSync sync(&table, &model);
        searcher.StartSearch();
        QTimer merge;
        QObject::connect(&merge, &QTimer::timeout, [&] { sync.SyncDeviceList(); });
        merge.start(200);
        const bool settled = ProcessEventsUntil([&] { return AllLoginsSettled(model, kCameras); });
        searcher.StopSearchThread();
        ASSERT_TRUE(settled);
        ASSERT_EQ(model.Count(), kCameras);
        for (int row = 0; row < model.Count(); ++row) {
            const DeviceRecord& d = *model.Record(row);
            SCOPED_TRACE(d.key);
            if (d.key == changedSerial) {
                EXPECT_EQ(model.CellText(row, kColumnState), Shown("MSGTIP3"));
                EXPECT_EQ(d.loggedIn, 0);
            } else {
                EXPECT_EQ(model.CellText(row, kColumnState), Shown("MSGTIP1"));
                EXPECT_EQ(d.loggedIn, 1);
                EXPECT_EQ(model.CellText(row, kColumnVersion).toStdString(), versions[d.key]);
                EXPECT_NE(d.firmwareVersion[0], '\0');
            }
        }
    }
    QV_NETSDK_IPC_Cleanup();
    lab.Stop();
}

TEST(LabList, CliListShowsEveryLabCameraLoggedInWithItsVersion) {
    // In a network namespace of its own: the CLI's lab answers on discovery port 3001, which
    // other tests running at the same time use too.
    const std::string command = std::string("unshare ") + (getuid() == 0 ? "-n" : "-r -n") +
                                " -- sh -c 'ip link set lo up && exec " + CAMFLEET_BIN_DIR +
                                "/camfleet-cli list --lab 20 --seconds 8 --json'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QJsonArray cameras = QJsonDocument::fromJson(QByteArray::fromStdString(out)).array();
    ASSERT_EQ(cameras.size(), 20);
    for (const QJsonValue& v : cameras) {
        const QJsonObject o = v.toObject();
        SCOPED_TRACE(o["SN"].toString().toStdString());
        EXPECT_TRUE(o["LOGGEDIN"].toBool());
        EXPECT_EQ(o["STATE"].toString(), Shown("MSGTIP1"));
        EXPECT_FALSE(o["VERSION"].toString().isEmpty());
        EXPECT_FALSE(o["IPADDR"].toString().isEmpty());
    }
}

}  // namespace
}  // namespace camfleet

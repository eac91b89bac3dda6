// The whole road in one process: a lab of simulated cameras found by the search, merged into
// the list and logged in by the fleet session; and `camfleet-cli list` run as a program.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <string>

#include "device/sdk/qv_netsdk_ipc.h"
#include "discovery/device_searcher.h"
#include "operations/device_list_sync.h"
#include "operations/fleet_session.h"
#include "operations/list_fixture.h"
#include "resources/program_version.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using testing::ProcessEventsUntil;
using testing::RunInOwnNamespace;
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

    {
        FleetSession fleet({.searcher = {.labMode = true, .port = kLabPort}});
        ASSERT_TRUE(fleet.StartSdk());
        DeviceListModel& model = fleet.Model();
        fleet.StartSearch();
        const bool settled = ProcessEventsUntil([&] { return AllLoginsSettled(model, kCameras); });
        fleet.StopSearch();
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
    lab.Stop();
}

TEST(LabList, CliListOfASeparateSimulatorShowsTheCameraWithAChangedPassword) {
    int status = -1;
    const std::string out = RunInOwnNamespace(
        "./camfleet-sim --lab 3 --seed 7 --password 2=secret >/dev/null & sim=$!; sleep 0.3; "
        "./camfleet-cli list --loopback --seconds 6 --json; rc=$?; kill $sim; wait $sim; "
        "exit $rc",
        &status);
    EXPECT_EQ(status, 0);
    const QJsonArray cameras = QJsonDocument::fromJson(QByteArray::fromStdString(out)).array();
    ASSERT_EQ(cameras.size(), 3);
    int refused = 0;
    for (const QJsonValue& v : cameras) {
        const QJsonObject o = v.toObject();
        const bool second = o["IPADDR"].toString() == "127.0.10.2";
        SCOPED_TRACE(o["IPADDR"].toString().toStdString());
        EXPECT_EQ(o["LOGGEDIN"].toBool(), !second);
        EXPECT_EQ(o["STATE"].toString(), Shown(second ? "MSGTIP3" : "MSGTIP1"));
        refused += second ? 1 : 0;
    }
    EXPECT_EQ(refused, 1);
}

TEST(LabList, CliListShowsEveryLabCameraLoggedInWithItsVersion) {
    int status = -1;
    const std::string out =
        RunInOwnNamespace("exec ./camfleet-cli list --lab 20 --seconds 8 --json", &status);
    EXPECT_EQ(status, 0);
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

TEST(LabList, CliRefusesAReplacedCameraUntilTrusted) {
    QTemporaryDir documents;
    ASSERT_TRUE(documents.isValid());
    const std::string env = "CAMFLEET_DOCUMENTS_DIR=" + documents.path().toStdString() + " ";
    int status = -1;
    const QJsonArray first =
        QJsonDocument::fromJson(QByteArray::fromStdString(RunInOwnNamespace(
                                    env + "exec ./camfleet-cli list --lab 2 --json", &status)))
            .array();
    ASSERT_EQ(first.size(), 2);
    const QString serial = first[0].toObject()["SN"].toString();
    // Another key pinned for the first camera: to the tool it now looks replaced.
    QFile pins(QDir(documents.path()).filePath("camfleet_known_cameras.txt"));
    ASSERT_TRUE(pins.open(QIODevice::WriteOnly));
    pins.write(serial.toUtf8() + ' ' + QByteArray(64, 'a') + '\n');
    pins.close();

    const QJsonArray refused =
        QJsonDocument::fromJson(QByteArray::fromStdString(RunInOwnNamespace(
                                    env + "exec ./camfleet-cli list --lab 2 --json", &status)))
            .array();
    ASSERT_EQ(refused.size(), 2);
    for (const QJsonValue& v : refused) {
        const QJsonObject o = v.toObject();
        const bool replaced = o["SN"].toString() == serial;
        EXPECT_EQ(o["LOGGEDIN"].toBool(), !replaced);
    }

    const QJsonObject trusted =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(RunInOwnNamespace(
                env + "exec ./camfleet-cli trust " + serial.toStdString() + " --lab 2 --json",
                &status)))
            .object();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(trusted["WASPINNED"].toBool());
    EXPECT_TRUE(trusted["LOGGEDIN"].toBool());
    EXPECT_NE(trusted["KEY"].toString(), QString(64, 'a'));

    RunInOwnNamespace(env + "exec ./camfleet-cli trust NO-SUCH-CAMERA --lab 2 --seconds 2",
                      &status);
    EXPECT_EQ(status, 1);
}

// The IPADDR of every object of a JSON array printed by camfleet-cli.
QStringList Addresses(const std::string& out) {
    QStringList addresses;
    for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(out)).array())
        addresses << v.toObject()["IPADDR"].toString();
    return addresses;
}

TEST(LabList, CliListReadsTheSettingsButWritesNoFile) {
    QTemporaryDir documents;
    ASSERT_TRUE(documents.isValid());
    int status = -1;
    const std::string out =
        RunInOwnNamespace("CAMFLEET_DOCUMENTS_DIR=" + documents.path().toStdString() +
                              " exec ./camfleet-cli list --lab 2 --json",
                          &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Addresses(out).size(), 2);
    // Only the keys pinned at the cameras' first contact are kept.
    EXPECT_EQ(QDir(documents.path())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                  .join(' ')
                  .toStdString(),
              "camfleet_known_cameras.txt");
}

TEST(LabList, CliSortsAsAHeaderClickWouldOnlyWhenAsked) {
    int status = -1;
    const std::string out = RunInOwnNamespace(
        "./camfleet-cli list --lab 5 --seconds 8 --sort IP:desc --json && echo @@ && "
        "./camfleet-cli search --lab 5 --seconds 2 --sort ipaddr --json",
        &status);
    ASSERT_EQ(status, 0);
    const std::size_t split = out.find("@@");
    ASSERT_NE(split, std::string::npos);
    EXPECT_EQ(Addresses(out.substr(0, split)),
              (QStringList{"127.0.10.5", "127.0.10.4", "127.0.10.3", "127.0.10.2", "127.0.10.1"}));
    EXPECT_EQ(Addresses(out.substr(split + 2)),
              (QStringList{"127.0.10.1", "127.0.10.2", "127.0.10.3", "127.0.10.4", "127.0.10.5"}));

    for (const char* bad : {"bogus", "16", "IP:down", ""}) {
        RunInOwnNamespace(std::string("./camfleet-cli list --lab 1 --sort \"") + bad + "\"",
                          &status);
        EXPECT_EQ(status, 2) << bad;
    }
}

TEST(LabList, CliIpSetOnACameraThatIgnoresTheSettingsSaysTheyWereNotApplied) {
    int status = -1;
    const std::string out = RunInOwnNamespace(
        "./camfleet-sim --lab 2 --seed 3 --ignore-network 1 >/dev/null & sim=$!; sleep 0.3; "
        "S=$(./camfleet-cli search --loopback --seconds 2 --sort IP --json | grep SN | head -n 1 "
        "| cut -d\\\" -f4); ./camfleet-cli ip set $S --ip 127.0.10.77 --loopback --json; "
        "rc=$?; kill $sim; wait $sim; exit $rc",
        &status);
    EXPECT_EQ(status, 1) << out;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    EXPECT_EQ(o["RESULT"].toInt(), 0) << out;
    EXPECT_EQ(o["OLDIP"].toString(), "127.0.10.1");
    EXPECT_FALSE(o["APPLIED"].toBool());
    EXPECT_FALSE(o["RELISTED"].toBool());
    EXPECT_TRUE(o["LOGGEDIN"].toBool()) << "still logged in at its old address";
}

TEST(LabList, CliVersionIsTheWindowsVersionText) {
    int status = -1;
    const std::string out = RunInOwnNamespace("./camfleet-cli version", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "camfleet-cli " + VersionText().toStdString() + "\n");
    EXPECT_EQ(VersionText(), QStringLiteral("V" CAMFLEET_VERSION));
}

}  // namespace
}  // namespace camfleet

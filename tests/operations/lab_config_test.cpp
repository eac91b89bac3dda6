// Configuration files and the device list through the whole road: the operation, the real SDK
// and lab cameras whose state shows each transfer; and camfleet-cli's config, export and import
// commands against a separate camfleet-sim, the workbook read back by openpyxl.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstring>
#include <string>
#include <vector>

#include "device/codes.h"
#include "device/config_file.h"
#include "devicelist/device_list_file.h"
#include "operations/config_transfer.h"
#include "operations/fleet_session.h"
#include "operations/list_fixture.h"
#include "sim/sim_lab.h"

namespace camfleet {
namespace {

using testing::RunInOwnNamespace;
using testing::RunUntil;

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(LabConfig, FilesChangeCamerasAndTheDefaultReachesTheCamerasItShould) {
    testing::EnsureCoreApplication();
    QTemporaryDir dir;
    sim::SimLab lab;
    sim::LabOptions options;
    options.cameras = 4;
    options.seed = 7;
    options.port = 3112;
    options.firstSdkPort = 9400;
    std::string error;
    ASSERT_EQ(lab.Start(options, &error), 0) << error;
    FleetSession fleet(
        {.searcher = {.labMode = true, .port = 3112}, .configFolder = dir.filePath("config")});
    ASSERT_TRUE(fleet.StartSdk());
    DeviceListModel& model = fleet.Model();
    fleet.StartSearch();
    ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(model, 4); }, 15));
    fleet.StopSearch();
    ConfigTransfer& configs = *fleet.Configs();
    const auto idle = [&] { return configs.Running() == 0; };
    const auto cameraOf = [&](int row) {
        for (int i = 0; i < 4; ++i)
            if (lab.Snapshot(i).profile.serialNumber == model.Record(row)->key)
                return i;
        return -1;
    };
    std::vector<int> rows{0, 1, 2, 3};

    // Download: each camera's whole configuration, printed again by the tool.
    configs.Download(rows);
    ASSERT_TRUE(RunUntil(idle, 10));
    for (const ConfigTransfer::Job& job : configs.Jobs()) {
        ASSERT_EQ(job.state, ConfigTransfer::State::kDone) << qPrintable(job.path);
        const QByteArray text = Read(job.path);
        EXPECT_TRUE(CheckConfigText(text.toStdString()));
        EXPECT_TRUE(text.contains("\n\t<")) << text.left(300).constData();
    }

    // Upload: a changed brightness reaches every camera; a file that is not a configuration
    // is refused and changes nothing.
    QByteArray changed = Read(configs.Jobs()[0].path);
    const qsizetype at = changed.indexOf("Brightness=\"");
    ASSERT_GE(at, 0);
    const qsizetype end = changed.indexOf('"', at + 12);
    changed.replace(at, end - at + 1, "Brightness=\"77\"");
    const QString upload = dir.filePath("changed.xml");
    ASSERT_TRUE(Write(upload, changed));
    EXPECT_EQ(configs.Upload(rows, upload), 4);
    ASSERT_TRUE(RunUntil(idle, 10));
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(lab.control().Document(i, kCmdGetVideoCapture).find("Brightness=\"77\""),
                  std::string::npos);
    const QString junk = dir.filePath("junk.xml");
    ASSERT_TRUE(Write(junk, "<NORVEKConfig><RecordConfig/></NORVEKConfig>"));
    configs.Upload({0}, junk);
    ASSERT_TRUE(RunUntil(idle, 10));
    EXPECT_EQ(configs.Jobs().back().state, ConfigTransfer::State::kFailed);
    // The call's verdict and the camera's event 17 race for the state column.
    const QString shown = model.CellText(0, kColumnState);
    EXPECT_TRUE(shown == GetDisplayString("MSGTIP31") || shown == GetDisplayString("MSGTIP8"))
        << qPrintable(shown);

    // The default configuration: chosen, it goes to every camera; one camera never confirms.
    int ovadu = -1;
    int other = -1;
    for (int row : rows)
        (std::strstr(model.Record(row)->answer.deviceType, "DIR-OVADU") ? ovadu : other) = row;
    ASSERT_GE(ovadu, 0) << "the lab's seed gives no DIR-OVADU camera";
    ASSERT_GE(other, 0);
    int silent = -1;
    for (int row : rows)
        if (row != ovadu && std::strstr(model.Record(row)->answer.deviceType, "DIR-OVADU"))
            silent = row;
    if (silent < 0)
        silent = ovadu;  // only one: it confirms nothing, the others confirm
    lab.control().SetConfirmDefaultConfig(cameraOf(silent), false);
    ASSERT_TRUE(configs.ChooseDefault(upload));
    ASSERT_TRUE(RunUntil(
        [&] {
            if (!idle())
                return false;
            for (int row : rows)
                if (row != silent && configs.DefaultState(model.Record(row)->key) !=
                                         ConfigTransfer::kDefaultConfirmed)
                    return false;
            return true;
        },
        10));
    EXPECT_EQ(configs.DefaultState(model.Record(silent)->key), ConfigTransfer::kDefaultSent);
    for (int row : rows) {
        EXPECT_EQ(lab.control().DefaultConfigsApplied(cameraOf(row)), 1);
        EXPECT_EQ(lab.control().LastDefaultConfig(cameraOf(row)), kDefaultConfigFileName);
    }

    // A new login: only a DIR-OVADU camera that did not confirm gets it again.
    for (int row : rows)
        ASSERT_TRUE(fleet.Sync().LogInAgain(row));
    ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(model, 4); }, 15));
    const bool silentIsOvadu = std::strstr(model.Record(silent)->answer.deviceType, "DIR-OVADU");
    ASSERT_TRUE(RunUntil(
        [&] {
            return idle() &&
                   lab.control().DefaultConfigsApplied(cameraOf(silent)) == (silentIsOvadu ? 2 : 1);
        },
        10));
    for (int row : rows) {
        if (row != silent) {
            EXPECT_EQ(lab.control().DefaultConfigsApplied(cameraOf(row)), 1) << row;
        }
    }

    // The list goes out and comes back: the same cameras, logged in again.
    std::vector<const DeviceRecord*> records;
    for (int row : rows)
        records.push_back(model.Record(row));
    const QString list = dir.filePath("list.xml");
    QString saveError;
    ASSERT_TRUE(SaveDeviceListXml(list, records, &saveError)) << qPrintable(saveError);
    std::vector<std::string> serials;
    for (const DeviceRecord* r : records)
        serials.push_back(r->key);
    std::vector<SearchAnswer> answers;
    ASSERT_TRUE(LoadDeviceListXml(list, &answers, &saveError));
    EXPECT_FALSE(fleet.ImportDevices(answers));  // no search ran
    ASSERT_EQ(model.Count(), 4);
    ASSERT_TRUE(RunUntil([&] { return AllLoginsSettled(model, 4); }, 15));
    for (int row : rows) {
        EXPECT_EQ(model.Record(row)->key, serials[static_cast<std::size_t>(row)]);
        EXPECT_TRUE(model.State(row)->LoggedIn()) << row;
        EXPECT_STREQ(model.Record(row)->answer.adapterAddress, "0.0.0.0");
    }
    fleet.Shutdown();
}

TEST(LabConfigCli, ConfigurationExportAndImportCommandsOfASeparateSimulator) {
    QTemporaryDir documents;
    const std::string d = documents.path().toStdString();
    int status = -1;
    // The script goes into a file: the namespace runner quotes its command line.
    const QString script = documents.filePath("run.sh");
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(R"(d="$1"; export CAMFLEET_DOCUMENTS_DIR="$d"
./camfleet-sim --lab 3 --seed 5 --no-default-confirm 2 >/dev/null & sim=$!
trap "kill $sim" EXIT
sleep 0.3
./camfleet-cli config download --all --loopback --out "$d/cfg" --json || exit 7
echo downloaded=$(ls "$d"/cfg/config_*.xml | wc -l)
f=$(ls "$d"/cfg/config_*.xml | head -n 1)
sed 's/Brightness="[0-9]*"/Brightness="91"/' "$f" > "$d/up.xml"
./camfleet-cli config upload "$d/up.xml" --all --loopback --json || exit 8
./camfleet-cli config download --all --loopback --out "$d/again" >/dev/null || exit 9
echo changed=$(grep -l 'Brightness="91"' "$d"/again/*.xml | wc -l)
./camfleet-cli config default "$d/up.xml" --loopback --json || exit 10
./camfleet-cli config default "$d/nothing.xml" --loopback; echo missing=$?
./camfleet-cli export --xml "$d/list.xml" --all --loopback || exit 11
./camfleet-cli export --xlsx "$d/list.xlsx" --all --loopback || exit 12
/usr/bin/python3 -c '
import openpyxl, sys
s = openpyxl.load_workbook(sys.argv[1])["EXPORT"]
print("sheet", [c.value for c in s[1]], s.max_row, type(s.cell(2, 3).value).__name__)
' "$d/list.xlsx"
./camfleet-cli import "$d/list.xml" --loopback --json > "$d/imported.json" || exit 13
echo imported=$(grep -c '"LOGGEDIN": true' "$d/imported.json")
echo '<root><ipcamera' > "$d/bad.xml"
./camfleet-cli import "$d/bad.xml" --loopback; echo bad=$?
)"));
    }
    const std::string out = RunInOwnNamespace("sh " + script.toStdString() + " " + d, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("downloaded=3"), std::string::npos) << out;
    EXPECT_NE(out.find("changed=3"), std::string::npos) << out;
    int ok = 0;
    int confirmed = 0;
    int unconfirmed = 0;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ok += o["RESULT"].toString() == "ok" ? 1 : 0;
        confirmed += o["STATE"].toString() == "confirmed" ? 1 : 0;
        unconfirmed += o["STATE"].toString() == "sent, not confirmed" ? 1 : 0;
    }
    EXPECT_EQ(ok, 9) << out;  // 3 downloads, 3 uploads, 3 defaults
    EXPECT_EQ(confirmed, 2) << out;
    EXPECT_EQ(unconfirmed, 1) << out;
    EXPECT_NE(out.find("missing=2"), std::string::npos) << out;
    EXPECT_NE(out.find("sheet ['IPADDR', 'NETMASK', 'COMPORT', 'HTTPPORT', 'RTSPPORT', 'MAC', "
                       "'TITLE', 'VERSION', 'SN', 'P2PID'] 4 int"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("imported=3"), std::string::npos) << out;
    EXPECT_NE(out.find("bad=1"), std::string::npos) << out;
}

}  // namespace
}  // namespace camfleet

// The window's maintenance controls over a listed lab: language from the batch menu after its
// question, the context item's reboot of the selected camera and the password dialog's texts
// reaching the cameras, each visible in the lab camera's state.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/maintenance_commands.h"
#include "device/codes.h"
#include "device/records.h"
#include "device/sdk/qv_netsdk_ipc.h"
#include "device/xml_messages.h"
#include "dialogs/dialog_pwd.h"
#include "operations/picture_downloads.h"
#include "resources/display_strings.h"
#include "tests/app/window_fixture.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

namespace {

class YesPrompt : public RecordingPrompt {
public:
    bool AskYesNo(const QString& text, const QString& caption) override {
        RecordingPrompt::AskYesNo(text, caption);
        return true;
    }
};

}  // namespace

class WindowMaintenanceTest : public QObject {
    Q_OBJECT

private:
    YesPrompt prompt_;

    bool Idle(CRoRudAzovorErarDlg& window) {
        DeviceMaintenance* op = window.Maintenance()->Operation();
        if (op->Running() > 0)
            return false;
        for (const auto& [key, job] : op->Jobs())
            if (!job.Finished())
                return false;
        return true;
    }
    int CameraOfRow(sim::SimLab& lab, CRoRudAzovorErarDlg& window, int row) {
        for (int i = 0; i < lab.CameraCount(); ++i)
            if (lab.Snapshot(i).profile.serialNumber == window.Model().Record(row)->key)
                return i;
        return -1;
    }

private slots:
    void languagePasswordAndReboot() {
        uint16_t port = 0;
        auto lab = StartLab(2, &port);
        auto window = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port, &prompt_));
        window->show();
        StartUsersSearch(*window);
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 2); }));
        window->Model().SetAllChecked(true);

        QAction* traditional = window->Controls().FindMenuItem(kIdBatchLanguageTw);
        QVERIFY(traditional != nullptr);
        traditional->trigger();
        QCOMPARE(prompt_.messages.back().text, GetDisplayString("MSG_BATCH_SET_LANGUAGE"));
        QVERIFY(DriveSearch(*window, [&] { return Idle(*window); }));
        for (int i = 0; i < 2; ++i)
            QVERIFY(lab->control().Document(i, kCmdSetLanguage).find("zh_tw") != std::string::npos);
        QCOMPARE(window->Model().CellText(0, kColumnState), GetDisplayString("SET_OK"));

        // The context item reboots the selected camera only, without a question.
        const std::size_t asked = prompt_.messages.size();
        window->List()->selectRow(1);
        const int camera = CameraOfRow(*lab, *window, 1);
        window->Controls().FindMenuItem(kIdRebootDevice)->trigger();
        QVERIFY(DriveSearch(*window, [&] { return Idle(*window); }));
        QCOMPARE(prompt_.messages.size(), asked);
        // (the state column may show the session's loss already)
        const JobState& job =
            window->Maintenance()->Operation()->Jobs().at(window->Model().Record(1)->key);
        QCOMPARE(job.phase, JobPhase::kDone);
        QCOMPARE(QString(job.key), QString("RESTARTING"));
        QVERIFY(DriveSearch(*window, [&] { return lab->control().RestartCount(camera) == 1; }));
        QCOMPARE(lab->control().RestartCount(1 - camera), 0);
        QVERIFY(DriveSearch(*window, [&] {
            return lab->control().SessionCount(camera) == 1 && AllListedAndLoggedIn(*window, 2);
        }));
        // Different texts are refused; equal ones change the password.
        window->Maintenance()->SetDialogRunner([](CDialogPwd& dialog) {
            dialog.PasswordEdit()->setText("first");
            dialog.RepeatEdit()->setText("second");
            return true;
        });
        qobject_cast<QPushButton*>(window->Controls().Find(kIdBatchSetPwd))->click();
        QCOMPARE(prompt_.messages.back().text, GetDisplayString("MSGTIP51"));
        QString opened;
        window->Maintenance()->SetDialogRunner([&opened](CDialogPwd& dialog) {
            opened = dialog.PasswordEdit()->text();
            dialog.PasswordEdit()->setText("n3w<&>");
            dialog.RepeatEdit()->setText("n3w<&>");
            return true;
        });
        qobject_cast<QPushButton*>(window->Controls().Find(kIdBatchSetPwd))->click();
        QCOMPARE(opened, QString("730418"));
        QVERIFY(DriveSearch(*window, [&] { return Idle(*window); }));
        QCOMPARE(lab->control().Password(0), std::string("n3w<&>"));
        QCOMPARE(lab->control().Password(1), std::string("n3w<&>"));

        window->close();
    }

    // The TV system menu asks first and changes the ticked cameras; a protocol service's
    // context item acts on the selected camera when none is ticked (after the box); each
    // change shows in the lab camera's documents.
    void featureSwitches() {
        uint16_t port = 0;
        auto lab = StartLab(2, &port);
        auto window = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port, &prompt_));
        window->show();
        StartUsersSearch(*window);
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 2); }));
        FeatureSwitches* switches = window->Maintenance()->Switches();
        QVERIFY(switches != nullptr);
        const auto idle = [&] {
            if (switches->Running() > 0)
                return false;
            for (const auto& [key, job] : switches->Jobs())
                if (!job.Finished())
                    return false;
            return true;
        };
        window->Model().SetAllChecked(true);
        QAction* ntsc = window->Controls().FindMenuItem(kIdTvSystemNtsc);
        QVERIFY(ntsc != nullptr);
        ntsc->trigger();
        QCOMPARE(prompt_.messages.back().text, GetDisplayString("MSG_BATCH_SET_TVSYSTEM"));
        QVERIFY(DriveSearch(*window, idle));
        for (int i = 0; i < 2; ++i) {
            QV_VIDEO_CAPTURE capture{};
            QCOMPARE(QV_NETSDK_IPC_Media_getVideoCaptureByXml(
                         lab->control().Document(i, kCmdGetVideoCapture).c_str(), &capture),
                     0);
            QCOMPARE(capture.tvSystem, 0);
        }
        ntsc->trigger();  // already NTSC: no write
        QVERIFY(DriveSearch(*window, idle));
        QCOMPARE(window->Model().CellText(0, kColumnState),
                 GetDisplayString("MSG_SET_TVSYSTEM_NOTCHANGE"));

        window->Model().SetAllChecked(false);
        window->List()->selectRow(1);
        const int camera = CameraOfRow(*lab, *window, 1);
        QAction* hikOff = window->Controls().FindMenuItem(kIdHikDisable);
        QVERIFY(hikOff != nullptr);
        hikOff->trigger();
        QCOMPARE(prompt_.messages.back().text, GetDisplayString("MSGTIP13"));
        QVERIFY(DriveSearch(*window, idle));
        StreamAccessRecord access;
        QCOMPARE(ParseStreamAccessDocument(lab->control().Document(camera, kCmdGetStreamAccess),
                                           &access),
                 0);
        QCOMPARE(access.enableHik, 0);
        QCOMPARE(ParseStreamAccessDocument(lab->control().Document(1 - camera, kCmdGetStreamAccess),
                                           &access),
                 0);
        QCOMPARE(access.enableHik, 1);
        window->close();
    }

    // The context item takes a picture on the selected camera and the picture lands in the
    // snapshot folder under the camera's address; the folder item opens that folder.
    void snapshotOfTheSelectedCamera() {
        uint16_t port = 0;
        auto lab = StartLab(2, &port);
        WindowOptions options = LabWindowOptions(port, &prompt_);
        QDir(options.snapshotFolder).removeRecursively();
        auto window = std::make_unique<CRoRudAzovorErarDlg>(options);
        window->show();
        StartUsersSearch(*window);
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 2); }));
        window->List()->selectRow(1);
        window->Controls().FindMenuItem(kIdSnapshot)->trigger();
        PictureDownloads* pictures = window->Fleet().Pictures();
        QVERIFY(DriveSearch(*window, [&] {
            return pictures->Downloads().size() == 1 && pictures->Running() == 0;
        }));
        const PictureDownloads::Download& d = pictures->Downloads()[0];
        QCOMPARE(d.state, PictureDownloads::State::kDone);
        QCOMPARE(QString::fromLatin1(d.key.c_str()),
                 QString::fromLatin1(window->Model().Record(1)->key));
        QVERIFY(QFileInfo(d.path).size() > 1000);
        QCOMPARE(QFileInfo(d.path).dir().dirName(),
                 QString::fromLatin1(window->Model().Record(1)->answer.network.ipAddress));
        QCOMPARE(window->Model().CellText(1, kColumnState), GetDisplayString("MSGTIP9"));

        QUrl opened;
        window->Maintenance()->SetUrlOpener([&opened](const QUrl& url) { opened = url; });
        window->Controls().FindMenuItem(kIdOpenSnapFolder)->trigger();
        QCOMPARE(opened, QUrl::fromLocalFile(options.snapshotFolder));
        QDir(options.snapshotFolder).removeRecursively();
        window->close();
    }
};

}  // namespace camfleet

QObject* NewWindowMaintenanceTest() {
    return new camfleet::WindowMaintenanceTest;
}

#include "window_maintenance_test.moc"

// The window's maintenance controls over a listed lab: language from the batch menu after its
// question, the context item's reboot of the selected camera and the password dialog's texts
// reaching the cameras, each visible in the lab camera's state.

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/maintenance_commands.h"
#include "device/codes.h"
#include "dialogs/dialog_pwd.h"
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
};

}  // namespace camfleet

QObject* NewWindowMaintenanceTest() {
    return new camfleet::WindowMaintenanceTest;
}

#include "window_maintenance_test.moc"

// The window's upgrade controls over a listed lab: which of them show, the browse buttons
// filling the path edits, the refusals as message boxes, and a file upgrade of the ticked
// cameras clicked in the window, followed until they run the new version. Last, the custom
// model's check button and a custom model set from the window.

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/path_controls.h"
#include "app/upgrade_commands.h"
#include "device/codes.h"
#include "resources/display_strings.h"
#include "sim/firmware_image.h"
#include "tests/app/window_fixture.h"

namespace camfleet {

namespace {

// Answers file and folder choices from what the test put there.
class ChoosingPrompt : public RecordingPrompt {
public:
    QString ChooseFile(const QString& caption, const QString& filter, bool save,
                       const QString& = {}) override {
        fileFilter = filter;
        fileCaption = caption;
        (void)save;
        return file;
    }
    QString ChooseFolder(const QString& caption) override {
        folderCaption = caption;
        return folder;
    }
    QString file, folder;
    QString fileFilter, fileCaption, folderCaption;
};

}  // namespace

class WindowUpgradeTest : public QObject {
    Q_OBJECT

private:
    ChoosingPrompt prompt_;
    QTemporaryDir scratch_;

    QPushButton* Button(CRoRudAzovorErarDlg& window, int id) {
        return qobject_cast<QPushButton*>(window.Controls().Find(id));
    }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const auto& m : prompt_.messages)
            texts << m.text;
        return texts;
    }

private slots:
    void controlsAndRefusals() {
        auto window =
            std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(FreeUdpPort(), &prompt_));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Shown by default, and hidden until a display switch shows them.
        for (int id : {kIdBtnUpgrade, kIdBtnBrowser, kIdBtnUpgradeDir, kIdBtnBrowser2})
            QVERIFY2(window->Controls().Find(id)->isVisible(), qPrintable(QString::number(id)));
        for (int id : {kIdBtnBatchModifyCustDevType, kIdBtnBatchClearCustDevType,
                       kIdBtnCustomModelFirmware, kIdEditDevCustType, kIdBtnClearAllCust})
            QVERIFY2(window->Controls().Find(id)->isHidden(), qPrintable(QString::number(id)));
        QCOMPARE(Button(*window, kIdBtnUpgrade)->text(), GetDisplayString("BTNTEXT14"));

        prompt_.file = scratch_.filePath("chosen.bin");
        prompt_.folder = scratch_.path();
        Button(*window, kIdBtnBrowser)->click();
        Button(*window, kIdBtnBrowser2)->click();
        QCOMPARE(window->Paths()->FirmwareFile()->text(), prompt_.file);
        QCOMPARE(window->Paths()->UpgradeDirectory()->text(), prompt_.folder);
        QVERIFY(prompt_.fileFilter.contains("*.bin"));
        QCOMPARE(prompt_.folderCaption, GetDisplayString("TEXT22"));

        // No file there; no folder given; nothing ticked.
        prompt_.messages.clear();
        Button(*window, kIdBtnUpgrade)->click();
        window->Paths()->UpgradeDirectory()->clear();
        Button(*window, kIdBtnUpgradeDir)->click();
        QFile file(prompt_.file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Button(*window, kIdBtnUpgrade)->click();
        Button(*window, kIdBtnCustomModelFirmware)->click();
        QCOMPARE(MessageTexts(),
                 (QStringList{GetDisplayString("MSGTIP27"), GetDisplayString("TEXT20"),
                              GetDisplayString("MSGTIP24"),
                              GetDisplayString("BATCH_EMPTY_DEVICETYPE")}));
        window->Upgrades()->ModelText()->setText("OEM");
        Button(*window, kIdBtnCustomModelFirmware)->click();
        QCOMPARE(prompt_.messages.size(), std::size_t{4});
    }

    void fileUpgradeOfTheTickedCameras() {
        uint16_t port = 0;
        auto lab = StartLab(3, &port);
        for (int i = 0; i < 3; ++i)
            lab->control().SetFirmwareTiming(i, std::chrono::milliseconds(200),
                                             std::chrono::milliseconds(400));
        auto window = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port, &prompt_));
        window->show();
        StartUsersSearch(*window);
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 3); }));
        const QString image = scratch_.filePath("firmware_lab.bin");
        std::string error;
        QVERIFY(sim::WriteLabFirmwareFile(image.toStdString(), {"*", "V8.1.0", 400000}, &error));
        window->Paths()->FirmwareFile()->setText(image);
        DeviceListModel& model = window->Model();
        model.SetChecked(0, true);
        model.SetChecked(2, true);
        const std::string skipped = model.Record(1)->key;
        prompt_.messages.clear();
        Button(*window, kIdBtnUpgrade)->click();
        QVERIFY(prompt_.messages.empty());
        FirmwareUpgrade* upgrade = window->Upgrades()->Operation();
        QVERIFY(upgrade != nullptr);
        QVERIFY(DriveSearch(*window, [&] { return upgrade->AllFinished(true, 20000); }));
        for (int row : {0, 2}) {
            const UpgradeJob* job = upgrade->Job(model.Record(row)->key);
            QVERIFY(job != nullptr);
            QCOMPARE(job->version, QString("V8.1.0"));
            QCOMPARE(model.CellText(row, kColumnVersion), QString("V8.1.0"));
        }
        QVERIFY(upgrade->Job(skipped) == nullptr);
        QVERIFY(DriveSearch(*window, [&] { return !window->Fleet().Tracker()->UpgradeRunning(); }));
        // The run is over: a new one starts without a box.
        window->Upgrades()->ModelText()->setText("OEM-WINDOW");
        Button(*window, kIdBtnBatchModifyCustDevType)->click();
        QVERIFY(DriveSearch(*window, [&] { return upgrade->UploadsRunning() == 0; }));
        for (int camera = 0; camera < 3; ++camera) {
            const bool ticked = lab->Snapshot(camera).profile.serialNumber != skipped;
            QCOMPARE(lab->control().ReportedModel(camera) == "NVS-OEM-WINDOW", ticked);
        }
        QVERIFY(prompt_.messages.empty());
        window->close();
    }
};

}  // namespace camfleet

QObject* NewWindowUpgradeTest() {
    return new camfleet::WindowUpgradeTest;
}

#include "window_upgrade_test.moc"

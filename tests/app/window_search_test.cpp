// The window's search against a lab: the cameras listed with every column and logged in,
// Start/Stop and its caption, the automatic stop of the first search, a netcard change.

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "devicelist/device_list_model.h"
#include "resources/display_strings.h"
#include "tests/app/window_fixture.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

class WindowSearchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<sim::SimLab> lab_;
    uint16_t port_ = 0;
    RecordingPrompt prompt_;
    static constexpr int kCameras = 12;

    sim::CameraProfile ProfileOf(const char* serial) const {
        for (int i = 0; i < lab_->CameraCount(); ++i) {
            const sim::CameraProfile profile = lab_->Snapshot(i).profile;
            if (profile.serialNumber == serial)
                return profile;
        }
        return {};
    }

private slots:
    void initTestCase() { lab_ = StartLab(kCameras, &port_); }

    void cleanupTestCase() { lab_.reset(); }

    void listsEveryCameraWithItsColumnsAndLogsIn() {
        CRoRudAzovorErarDlg window(LabWindowOptions(port_, &prompt_));
        StartUsersSearch(window);
        QVERIFY(DriveSearch(window, [&] { return AllListedAndLoggedIn(window, kCameras); }));
        DeviceListModel& model = window.Model();
        for (int row = 0; row < kCameras; ++row) {
            const sim::CameraProfile p = ProfileOf(model.Record(row)->key);
            QVERIFY2(!p.serialNumber.empty(), model.Record(row)->key);
            const auto cell = [&](int column) { return model.CellText(row, column); };
            QString modelText = QString::fromStdString(p.model).remove("DIR-OVADU-");
            modelText.truncate(modelText.indexOf("_V") < 0 ? modelText.size()
                                                           : modelText.indexOf("_V"));
            QCOMPARE(cell(kColumnIp), QString::fromStdString(p.ipAddress));
            QCOMPARE(cell(kColumnHttpPort), QString::number(p.webPort));
            QCOMPARE(cell(kColumnModel), modelText);
            QCOMPARE(cell(kColumnTitle), QString::fromStdString(p.osdText));
            QCOMPARE(cell(kColumnVersion), QString::fromStdString(p.version));
            QCOMPARE(cell(kColumnState), GetDisplayString("MSGTIP1"));
            QCOMPARE(cell(kColumnAllNet),
                     GetDisplayString(p.allNet >= 1 ? "ENABLE" : "STRING_CLOSE"));
            QCOMPARE(cell(kColumnSerial), QString::fromStdString(p.serialNumber).toUpper());
            QCOMPARE(cell(kColumnNetmask), QString::fromStdString(p.netmask));
            QCOMPARE(cell(kColumnMac), QString::fromStdString(p.macAddress));
            QCOMPARE(cell(kColumnP2pId), QString::fromStdString(p.p2pId));
            QCOMPARE(cell(kColumnRunningTime).isEmpty(), p.initialRunningTime < 1);
            QCOMPARE(cell(kColumnNetcard), QString("127.0.0.1"));
            QCOMPARE(cell(kColumnCloud),
                     GetDisplayString(p.p2pStatus >= 1 ? "IDS_STR_ONLINE" : "IDS_STR_OFFLINE"));
            QCOMPARE(cell(kColumnUuid), QString::fromStdString(p.uuid));
        }
        QVERIFY(window.StatusLine()->text().contains(QString(":%1 ").arg(kCameras)));
    }

    void startStopSwitchesStateCaptionAndTimers() {
        CRoRudAzovorErarDlg window(LabWindowOptions(port_, &prompt_));
        SearchControls* search = window.Search();
        QPushButton* button = search->StartStopButton();
        // Start-up starts the first search.
        QVERIFY(search->IsSearching());
        QCOMPARE(button->text(), GetDisplayString("STOPSEARCH"));
        QVERIFY(search->IsSyncTimerRunning() && search->IsRequestTimerRunning());
        QVERIFY(DriveSearch(window, [&] { return window.Model().Count() > 0; }));

        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!search->IsSearching());
        QCOMPARE(button->text(), GetDisplayString("STARTSEARCH"));
        QVERIFY(!search->IsSyncTimerRunning() && !search->IsRequestTimerRunning());
        QVERIFY2(window.Model().Count() > 0, "found cameras stay listed after Stop");
        QVERIFY(!window.StatusLine()->text().contains(
            GetDisplayString("CStorePlayBack_tip_searching")));

        window.CheckAll()->setChecked(true);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(search->IsSearching());
        QCOMPARE(button->text(), GetDisplayString("STOPSEARCH"));
        QCOMPARE(window.Model().Count(), 0);
        QVERIFY2(!window.CheckAll()->isChecked(), "Start clears the select-all box");
        QVERIFY(window.StatusLine()->text().startsWith(
            GetDisplayString("CStorePlayBack_tip_searching")));
    }

    void automaticStop_data() {
        QTest::addColumn<bool>("usersSearch");
        QTest::addColumn<bool>("printMode");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<bool>("searching");
        QTest::newRow("first search after 26 ticks") << false << false << 26 << true;
        QTest::newRow("first search stops on the 27th tick") << false << false << 27 << false;
        QTest::newRow("print mode never stops") << false << true << 60 << true;
        QTest::newRow("a user's search never stops") << true << false << 60 << true;
    }

    void automaticStop() {
        QFETCH(bool, usersSearch);
        QFETCH(bool, printMode);
        QFETCH(int, ticks);
        QFETCH(bool, searching);
        CRoRudAzovorErarDlg window(LabWindowOptions(port_, &prompt_));
        if (usersSearch)
            StartUsersSearch(window);
        window.Sync().SetPrintMode(printMode);
        for (int tick = 0; tick < ticks; ++tick)
            window.Search()->OnSyncTick();
        QCOMPARE(window.Search()->IsSearching(), searching);
        QCOMPARE(window.Search()->IsSyncTimerRunning(), searching);
        QCOMPARE(window.Search()->StartStopButton()->text(),
                 GetDisplayString(searching ? "STOPSEARCH" : "STARTSEARCH"));
    }

    void netcardChangeRestartsTheSearch() {
        CRoRudAzovorErarDlg window(LabWindowOptions(port_, &prompt_));
        QComboBox* box = window.Search()->NetcardBox();
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), GetDisplayString("ALLNETCARDS"));
        QVERIFY2(box->itemText(1).startsWith("[127.0.0.1]\t["), qPrintable(box->itemText(1)));
        StartUsersSearch(window);
        QVERIFY(DriveSearch(window, [&] { return window.Model().Count() == kCameras; }));

        box->setCurrentIndex(1);
        emit box->activated(1);
        QVERIFY(window.Search()->IsSearching());
        QCOMPARE(window.Model().Count(), 0);
        QVERIFY(DriveSearch(window, [&] { return window.Model().Count() == kCameras; }));

        window.Search()->Stop();
        box->setCurrentIndex(0);
        emit box->activated(0);
        QVERIFY2(window.Search()->IsSearching(), "a change while stopped starts a search");
    }
};

}  // namespace camfleet

QObject* NewWindowSearchTest() {
    return new camfleet::WindowSearchTest;
}

#include "window_search_test.moc"

// The device list view of the window over a listed lab: sorting by header click, new rows
// while sorted, ticking and the status line, the context menu's copy and web commands and
// the hover buttons.

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHostAddress>
#include <QItemSelectionModel>
#include <QTest>
#include <QToolButton>

#include "app/list_commands.h"
#include "device/codes.h"
#include "devicelist/device_list_model.h"
#include "resources/display_strings.h"
#include "tests/app/window_fixture.h"
#include "widgets/dialog_preview.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

class WindowListTest : public QObject {
    Q_OBJECT

private:
    static constexpr int kCameras = 12;
    std::unique_ptr<sim::SimLab> lab_;
    uint16_t port_ = 0;
    RecordingPrompt prompt_;
    std::unique_ptr<CRoRudAzovorErarDlg> window_;
    std::vector<QUrl> opened_;

    CReportCtrl* List() { return window_->List(); }
    // Texts of `column` in the order the view shows the rows.
    QStringList ShownColumn(int column) {
        QStringList texts;
        for (int row = 0; row < List()->model()->rowCount(); ++row)
            texts << List()->model()->index(row, column).data().toString();
        return texts;
    }
    void SelectViewRow(int viewRow) {
        List()->clearSelection();
        if (viewRow >= 0)
            List()->selectRow(viewRow);
    }

private slots:
    void initTestCase() {
        lab_ = StartLab(kCameras, &port_);
        window_ = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port_, &prompt_));
        window_->ListCommands()->SetUrlOpener([this](const QUrl& url) { opened_.push_back(url); });
        window_->resize(1366, 768);
        window_->show();
        StartUsersSearch(*window_);
        QVERIFY(DriveSearch(*window_, [&] { return AllListedAndLoggedIn(*window_, kCameras); }));
        window_->Search()->Stop();
    }

    void cleanupTestCase() {
        window_.reset();
        lab_.reset();
    }

    void headerClickSorts_data() {
        QTest::addColumn<int>("column");
        QTest::newRow("serial number by hexadecimal value") << int(kColumnSerial);
        QTest::newRow("IP address by address value") << int(kColumnIp);
    }

    void headerClickSorts() {
        QFETCH(int, column);
        const auto value = [column](const QString& text) -> quint64 {
            if (column == kColumnIp)
                return QHostAddress(text).toIPv4Address();
            return text.toULongLong(nullptr, 16);
        };
        List()->horizontalHeader()->sectionClicked(column);
        QStringList shown = ShownColumn(column);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(value(shown[i - 1]) <= value(shown[i]), qPrintable(shown.join(' ')));
        QCOMPARE(List()->SortOrder(), Qt::AscendingOrder);

        List()->horizontalHeader()->sectionClicked(column);
        shown = ShownColumn(column);
        QCOMPARE(List()->SortOrder(), Qt::DescendingOrder);
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(value(shown[i - 1]) >= value(shown[i]), qPrintable(shown.join(' ')));

        List()->horizontalHeader()->sectionClicked(column);
        QCOMPARE(List()->SortOrder(), Qt::AscendingOrder);
    }

    void columnsGrowToTheTextsOfNewRows() {
        QTest::qWait(0);  // the fit runs once the event loop turns
        const QFontMetrics metrics = List()->fontMetrics();
        for (int column :
             {int(kColumnSerial), int(kColumnP2pId), int(kColumnRunningTime), int(kColumnModel)}) {
            for (const QString& text : ShownColumn(column))
                QVERIFY2(metrics.horizontalAdvance(text) < List()->columnWidth(column),
                         qPrintable(text));
        }
    }

    void addressesSortAsNumbersNotAsTexts() {
        List()->horizontalHeader()->sectionClicked(kColumnModel);
        const int64_t reads = LocaleDateTimeReads();
        List()->horizontalHeader()->sectionClicked(kColumnIp);
        const QStringList shown = ShownColumn(kColumnIp);
        QVERIFY(shown.indexOf("127.0.60.9") < shown.indexOf("127.0.60.10"));
        // Each address is tried as a date-time once per sort, not in every comparison.
        QVERIFY2(LocaleDateTimeReads() - reads <= kCameras,
                 qPrintable(QString::number(LocaleDateTimeReads() - reads)));
    }

    void newRowWhileSortedIsAppendedAtTheEnd() {
        List()->horizontalHeader()->sectionClicked(kColumnSerial);
        auto record = std::make_unique<DeviceRecord>();
        std::strcpy(record->key, "0");
        std::strcpy(record->answer.serialNumber, "0");
        std::strcpy(record->answer.network.ipAddress, "127.0.60.200");
        DeviceListModel& model = window_->Model();
        model.AppendRow(std::move(record));
        QCOMPARE(ShownColumn(kColumnIp).last(), QString("127.0.60.200"));
        model.Clear();
        QCOMPARE(List()->SortColumn(), -1);  // an emptied list is no longer sorted
        QVERIFY(DriveSearch(*window_, [&] { return model.Count() == kCameras; }));
    }

    void statusLineCountsTickedRowsNotSelectedOnes() {
        DeviceListModel& model = window_->Model();
        const auto statusIs = [&](int ticked) {
            return window_->StatusLine()->text() ==
                   GetDisplayString("STR_TOTAL") + QString(":%1 ").arg(kCameras) +
                       GetDisplayString("STR_SELECTED") + QString(":%1 ").arg(ticked);
        };
        QTest::mouseClick(window_->CheckAll(), Qt::LeftButton);
        QVERIFY(window_->CheckAll()->isChecked());
        QCOMPARE(model.CheckedCount(), kCameras);
        QVERIFY2(statusIs(kCameras), qPrintable(window_->StatusLine()->text()));

        model.setData(model.index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY2(statusIs(kCameras - 1), qPrintable(window_->StatusLine()->text()));

        QTest::mouseClick(window_->CheckAll(), Qt::LeftButton);
        QCOMPARE(model.CheckedCount(), 0);
        List()->selectAll();
        QVERIFY2(statusIs(0), "selected rows are not counted");
        List()->clearSelection();
    }

    void copyCommandsActOnTheFirstSelectedRow() {
        DeviceListCommands* commands = window_->ListCommands();
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setText("untouched");
        SelectViewRow(-1);
        commands->CopySerialNumber();
        commands->CopyUuid();
        commands->OpenWebPage();
        QCOMPARE(clipboard->text(), QString("untouched"));
        QVERIFY(opened_.empty());

        SelectViewRow(2);
        const int row = List()->FirstSelectedRow();
        const DeviceRecord* record = window_->Model().Record(row);
        commands->CopySerialNumber();
        QCOMPARE(clipboard->text(), QString(record->answer.serialNumber));
        commands->CopyUuid();
        QCOMPARE(clipboard->text(), QString(record->answer.uuid));
        commands->OpenWebPage();
        QCOMPARE(opened_.size(), size_t(1));
        QCOMPARE(opened_.back(),
                 QUrl(QString("http://%1:80").arg(record->answer.network.ipAddress)));
    }

    void contextMenuOffersTheListItems() {
        QList<int> ids;
        for (QAction* action : window_->ListCommands()->ContextMenu()->actions()) {
            if (!action->isSeparator())
                ids << action->data().toInt();
        }
        QCOMPARE(ids, (QList<int>{
                          kIdCopySerial,     kIdCopyUuid,     kIdOpenWeb,      kIdDefaultUserDialog,
                          kIdEditIp,         kIdFreeIp,       kIdRebootDevice, kIdRestoreDefault,
                          kIdP2pEnable,      kIdP2pDisable,   kIdHikEnable,    kIdHikDisable,
                          kIdOnvifEnable,    kIdOnvifDisable, kIdDhEnable,     kIdDhDisable,
                          kIdTstEnable,      kIdTstDisable,   kIdSnapshot,     kIdOpenSnapFolder,
                          kIdTrustCameraKey, kIdExportXml,    kIdImportXml}));
    }

    void hoverButtonsFollowTheRowAndOpenItsPage() {
        CDialogPreview* preview = window_->Preview();
        const QRect rect = List()->visualRect(List()->model()->index(1, 0));
        QTest::mouseMove(List()->viewport(), rect.center());
        const int row = List()->SourceRowAt(1);
        QTRY_COMPARE(preview->Row(), row);
        QVERIFY(preview->isVisible());
        opened_.clear();
        QTest::mouseClick(preview->WebButton(), Qt::LeftButton);
        QCOMPARE(opened_.size(), size_t(1));
        QCOMPARE(opened_.back().toString(), window_->ListCommands()->WebAddress(row));
        preview->ShowForRow(-1);
        QVERIFY(!preview->isVisible());
    }
};

}  // namespace camfleet

QObject* NewWindowListTest() {
    return new camfleet::WindowListTest;
}

#include "window_list_test.moc"

// The window's configuration and list-file controls over a listed lab: the boxes for nothing
// ticked, the configuration download into the documents folder, the default configuration's
// edit, the XML and Excel exports with their proposed names, and the import that replaces the
// list only when its file reads.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/account_controls.h"
#include "app/config_commands.h"
#include "app/path_controls.h"
#include "device/codes.h"
#include "device/config_file.h"
#include "operations/config_transfer.h"
#include "resources/display_strings.h"
#include "resources/save_param.h"
#include "tests/app/window_fixture.h"

namespace camfleet {

class WindowConfigTest : public QObject {
    Q_OBJECT

private:
    RecordingPrompt prompt_;

    QString LastMessage() const {
        return prompt_.messages.empty() ? QString() : prompt_.messages.back().text;
    }
    static void Click(CRoRudAzovorErarDlg& window, int id) {
        auto* button = qobject_cast<QPushButton*>(window.Controls().Find(id));
        QVERIFY(button != nullptr);
        button->click();
    }
    static void Trigger(CRoRudAzovorErarDlg& window, int id) {
        QAction* item = window.Controls().FindMenuItem(id);
        QVERIFY(item != nullptr);
        item->trigger();
    }

private slots:
    void transfersExportsAndImports() {
        QTemporaryDir scratch;
        uint16_t port = 0;
        auto lab = StartLab(2, &port);
        auto window = std::make_unique<CRoRudAzovorErarDlg>(LabWindowOptions(port, &prompt_));
        window->show();
        StartUsersSearch(*window);
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 2); }));
        window->Search()->Stop();
        DeviceListModel& model = window->Model();

        // Nothing ticked: the upload's own box, the export's.
        Click(*window, kIdBtnUploadCfg);
        QCOMPARE(LastMessage(), GetDisplayString("MSGTIP25"));
        Trigger(*window, kIdExportXml);
        QCOMPARE(LastMessage(), GetDisplayString("MSGTIP13"));

        // Download into the documents folder, printed again in the tool's form.
        model.SetAllChecked(true);
        Click(*window, kIdBatchDownloadCfg);
        ConfigTransfer* configs = window->Fleet().Configs();
        QVERIFY(DriveSearch(*window, [&] { return configs->Running() == 0; }));
        for (int row = 0; row < 2; ++row) {
            const DeviceRecord* record = model.Record(row);
            const QString path = QDir(CommonDocumentsFolder())
                                     .filePath(QStringLiteral("camfleet/config/") +
                                               ConfigFileName(record->answer.serialNumber,
                                                              record->answer.network.ipAddress));
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            const QByteArray text = file.readAll();
            QVERIFY(CheckConfigText(text.toStdString()));
            QVERIFY(text.contains("\n\t<"));
        }

        // The default configuration: a file that fails the check leaves the edit empty.
        const QString broken = scratch.filePath("config_broken.xml");
        {
            QFile file(broken);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<NORVEKConfig/>");
        }
        prompt_.files.push_back(broken);
        window->Configs()->ChooseDefault();
        QCOMPARE(LastMessage(), GetDisplayString("STR_XML_ERROR"));
        QVERIFY(window->Paths()->DefaultConfigFile()->text().isEmpty());
        const QString good = configs->Jobs().front().path;
        prompt_.files.push_back(good);
        window->Configs()->ChooseDefault();
        QCOMPARE(window->Paths()->DefaultConfigFile()->text(), good);
        QVERIFY(DriveSearch(*window, [&] { return configs->Running() == 0; }));
        for (int row = 0; row < 2; ++row)
            QCOMPARE(configs->DefaultState(model.Record(row)->answer.serialNumber),
                     ConfigTransfer::kDefaultConfirmed);

        // Exports, with the names they propose.
        const QString xml = scratch.filePath("list.xml");
        prompt_.files.push_back(xml);
        Trigger(*window, kIdExportXml);
        QCOMPARE(LastMessage(), GetDisplayString("EXPORT_OK"));
        QVERIFY(QRegularExpression("^IPC EXPORT \\d{8}-\\d{6}\\.xml$")
                    .match(prompt_.lastProposedName)
                    .hasMatch());
        const QString xlsx = scratch.filePath("list.xlsx");
        prompt_.files.push_back(xlsx);
        Click(*window, kIdExportExcel);
        QCOMPARE(prompt_.lastProposedName, QString("IPC EXPORT.xlsx"));
        QCOMPARE(LastMessage(), GetDisplayString("EXPORT_OK"));
        QVERIFY(QFile::exists(xlsx));
        prompt_.files.push_back(scratch.filePath("no/such/folder/list.xlsx"));
        Click(*window, kIdExportExcel);
        QVERIFY(LastMessage().startsWith(GetDisplayString("EXPORT_FAILED") + "\r\n"));

        // A broken import changes nothing.
        const QString bad = scratch.filePath("bad.xml");
        {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<root><ipcamera SN=\"X1\"");
        }
        prompt_.files.push_back(bad);
        Trigger(*window, kIdImportXml);
        QCOMPARE(LastMessage(), GetDisplayString("STR_XML_ERROR"));
        QCOMPARE(model.Count(), 2);
        QVERIFY(model.Record(0)->loggedIn);

        // The export comes back: the same cameras, logged in again with the default account
        // (the file carries none), nothing ticked.
        const QString firstSerial = model.Record(0)->key;
        window->Account()->User()->setText(model.Record(0)->answer.account.username);
        window->Account()->Password()->setText(model.Record(0)->answer.account.password);
        prompt_.files.push_back(xml);
        Trigger(*window, kIdImportXml);
        QVERIFY(!window->CheckAll()->isChecked());
        QVERIFY(DriveSearch(*window, [&] { return AllListedAndLoggedIn(*window, 2); }));
        QCOMPARE(QString(model.Record(0)->key), firstSerial);
        QCOMPARE(QString(model.Record(0)->answer.adapterAddress), QString("0.0.0.0"));
        QCOMPARE(model.CheckedCount(), 0);

        window->close();
    }
};

}  // namespace camfleet

QObject* NewWindowConfigTest() {
    return new camfleet::WindowConfigTest;
}

#include "window_config_test.moc"
